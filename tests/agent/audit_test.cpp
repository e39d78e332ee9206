// The audit on the simulated chip, one finding of each kind: key 5 is
// programmed and confirmed, the chip file is changed by hand (through a
// second mapping of it), then the rest of the row's scenario runs.
#include <gtest/gtest.h>

#include <functional>

#include "plugins/simchip/Chip.h"
#include "tests/support/Support.h"
#include "tools/dvp-agent/Agent.h"
#include "tools/dvp-agent/Format.h"

namespace DvpAgent {
namespace {

struct Row {
  const char* name;
  std::function<void(SimChip::Chip&)> byHand;
  std::vector<const char*> then;
  const char* finding;
};

TEST(Audit, FindsEachKindOfDriftOnTheSimulatedChip) {
  const Row rows[] = {
      {"unowned", [](auto& c) { c.valueIs(9, 1, 70); c.usersIs(9, 1); }, {}, "unowned key=9 chip=nexthop=70,group=1"},
      {"missing", [](auto& c) { c.slotClear(5); c.usersIs(5, 0); }, {}, "missing key=5 table=nexthop=70,group=1"},
      {"differs", [](auto& c) { c.valueIs(5, 2, 71); }, {}, "differs key=5 chip=nexthop=71,group=2 table=nexthop=70,group=1"},
      {"users", [](auto& c) { c.usersIs(5, 0); }, {}, "users key=5 chip=users=0 expected=users=1"},
      {"tracker", [](auto& c) { c.usersIs(6, 1); }, {"commit 6 nh=A group=1", "confirm all"}, "tracker key=6 chip=refused=1"},
  };
  const VelarTest::TempDir dir(true);
  for (const auto& row : rows) {
    CapturedOutput out;
    Agent agent(AgentOptions{.chip = dir.file(row.name), .chipEntries = 16}, out);
    Parser parser;
    auto run = [&](const char* text) { agent.run(std::get<Command>(parser.parseLine(text, row.name, 1))); };
    for (const char* text : {"nexthop A index=70 state=success", "commit 5 nh=A group=1", "confirm all"}) run(text);
    row.byHand(*SimChip::Chip::open(dir.file(row.name)));
    for (const char* text : row.then) run(text);
    std::vector<std::string> found;
    for (const auto& finding : agent.audit().findings) found.push_back(auditLine(finding));
    EXPECT_EQ(found, std::vector<std::string>{std::string("audit ") + row.finding}) << row.name;
  }
}

}  // namespace
}  // namespace DvpAgent
