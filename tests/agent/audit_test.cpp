// The audit on the simulated chip, the findings that no run of the agent can
// cause: key 5 is programmed and confirmed, then the chip file is changed by
// hand (through a second mapping of it). The other findings (unowned, users,
// tracker) are the audit golden file's and the model check's.
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
  const char* finding;
};

TEST(Audit, FindsDriftThatOnlyTheChipCanMake) {
  const Row rows[] = {
      {"missing", [](auto& c) { c.slotClear(5); c.usersIs(5, 0); }, "missing key=5 table=nexthop=70,group=1"},
      {"differs", [](auto& c) { c.valueIs(5, 2, 71); }, "differs key=5 chip=nexthop=71,group=2 table=nexthop=70,group=1"},
  };
  const VelarTest::TempDir dir(true);
  for (const auto& row : rows) {
    CapturedOutput out;
    Agent agent(AgentOptions{.chip = dir.file(row.name), .chipEntries = 16}, out);
    Parser parser;
    for (const char* text : {"nexthop A index=70 state=success", "commit 5 nh=A group=1", "confirm all"}) {
      agent.run(std::get<Command>(parser.parseLine(text, row.name, 1)));
    }
    row.byHand(*SimChip::Chip::open(dir.file(row.name)));
    std::vector<std::string> found;
    for (const auto& finding : agent.audit().findings) found.push_back(auditLine(finding));
    EXPECT_EQ(found, std::vector<std::string>{std::string("audit ") + row.finding}) << row.name;
  }
}

}  // namespace
}  // namespace DvpAgent
