// The audit on the simulated chip, one finding of each kind: key 5 is
// programmed and confirmed, then the chip file is changed by hand (a second
// mapping of it) and the rest of the row's scenario runs.
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
  std::vector<std::string> audit;
};

TEST(Audit, FindsEachKindAndLeavesWritesInFlightOut) {
  const Row rows[] = {
      {"unowned", [](auto& c) { c.valueIs(9, 1, 70); c.usersIs(9, 1); }, {},
       {"audit unowned key=9 chip=nexthop=70,group=1", "audit checked=2 inflight=0 findings=1"}},
      {"missing", [](auto& c) { c.slotClear(5); c.usersIs(5, 0); }, {},
       {"audit missing key=5 table=nexthop=70,group=1", "audit checked=1 inflight=0 findings=1"}},
      {"differs", [](auto& c) { c.valueIs(5, 2, 71); }, {},
       {"audit differs key=5 chip=nexthop=71,group=2 table=nexthop=70,group=1", "audit checked=1 inflight=0 findings=1"}},
      {"users", [](auto& c) { c.usersIs(5, 0); }, {},
       {"audit users key=5 chip=users=0 expected=users=1", "audit checked=1 inflight=0 findings=1"}},
      {"tracker", [](auto& c) { c.usersIs(6, 1); }, {"commit 6 nh=A group=1", "confirm all"},
       {"audit tracker key=6 chip=refused=1", "audit checked=2 inflight=0 findings=1"}},
      {"inflight", [](auto&) {}, {"commit 5 nh=A group=3"}, {"audit checked=0 inflight=1 findings=0"}},
  };
  const VelarTest::TempDir dir(true);
  for (const auto& row : rows) {
    CapturedOutput out;
    Agent agent(AgentOptions{.chip = dir.file(row.name), .chipEntries = 16}, out);
    Parser parser;
    int line = 0;
    auto run = [&](const char* text) { agent.run(std::get<Command>(parser.parseLine(text, row.name, ++line))); };
    for (const char* text : {"nexthop A index=70 state=success", "commit 5 nh=A group=1", "confirm all"}) run(text);
    row.byHand(*SimChip::Chip::open(dir.file(row.name)));
    for (const char* text : row.then) run(text);
    out.lines.clear();
    run("audit");
    EXPECT_EQ(out.lines, row.audit) << row.name;
  }
}

}  // namespace
}  // namespace DvpAgent
