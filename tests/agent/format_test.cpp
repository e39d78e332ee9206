// The lines dvp-agent prints, and how `expect` reads them.
#include <gtest/gtest.h>

#include "tools/dvp-agent/Format.h"

namespace DvpAgent {
namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFF;

TEST(Lines, ObjectsPrintTheirFieldsInOrderAndNoIndexAsNone) {
  EXPECT_EQ(hwLine(5, {SimChip::SlotState::valid, 70, 3}), "hw 5 nexthop=70 group=3");
  EXPECT_EQ(hwLine(5, {SimChip::SlotState::valid, kNone, 3}), "hw 5 nexthop=none group=3");
  EXPECT_EQ(hwLine(5, {SimChip::SlotState::writtenEmpty, 0, 0}), "hw 5 empty");
  EXPECT_EQ(hwLine(5, {static_cast<SimChip::SlotState>(7), 0, 0}), "hw 5 state=7");
  EXPECT_EQ(entryLine(7, std::string("gw"), 70, 2), "entry 7 nh=gw nexthop=70 group=2");
  EXPECT_EQ(entryLine(7, std::nullopt, 0, 0), "entry 7 nh=none nexthop=0 group=0");
  EXPECT_EQ(handleLine({9, Type::inDeletion, State::state3, State::success, kNone, 1, 2}),
            "handle 9 type=inDeletion state=3 resolved=success hwIndex=none pending=1 uses=2");
  EXPECT_EQ(nextHopLine("gw", kNone, State::failedNeededEntry, {}),
            "nexthop gw index=none state=failedNeededEntry suggested=none");
  EXPECT_EQ(nextHopLine("gw", 4, State::indexReconciled, {71, 3}),
            "nexthop gw index=4 state=indexReconciled suggested=3,71");
  Asic::SwTable::Statistics stats;
  stats.counts = {1, 2, 3, 4};
  EXPECT_EQ(statsLine(stats), "stats matched=1 differ=2 new=3 deleted=4");
  EXPECT_EQ(trackerLine(12, 1), "tracker 12 users=1");
  EXPECT_EQ(absentLine(Query{Object::handle, 5, std::nullopt}), "no handle 5");
  EXPECT_EQ(confirmLine(5), "chip confirm key=5");
}

TEST(Lines, TrackerFaultsNameTheCallAndItsProblem) {
  SimChip::Fault report{SimChip::Fault::Kind::tracker, "tracker", 5, 2, "delete of an index with no user"};
  EXPECT_EQ(trackerFaultLine(report), "tracker-fault 5 tracker op=2: delete of an index with no user");
  SimChip::Fault write{SimChip::Fault::Kind::tracker, "write", 6, SimChip::Fault::kNoOp,
                       "write to an index with no user"};
  EXPECT_EQ(trackerFaultLine(write), "tracker-fault 6 write: write to an index with no user");
}

SimChip::Call call(std::string operation, std::uint32_t key, std::string detail, bool hasKey = true) {
  return SimChip::Call{std::move(operation), hasKey, key, std::move(detail)};
}

TEST(AdaptorLines, EveryKindOfCallInTheAgentsWords) {
  EXPECT_EQ(adaptorLine(call("tracker", 5, "op=0")), "adaptor tracker key=5 op=0");
  EXPECT_EQ(adaptorLine(call("write", 5, "group=3 nextHop=70")), "adaptor write key=5 nexthop=70 group=3");
  EXPECT_EQ(adaptorLine(call("write", 5, "group=3 nextHop=4294967295")),
            "adaptor write key=5 nexthop=none group=3");
  EXPECT_EQ(adaptorLine(call("write", 5, "absent")), "adaptor write key=5 absent");
  EXPECT_EQ(adaptorLine(call("delete", 5, "")), "adaptor delete key=5");
  EXPECT_EQ(adaptorLine(call("compare", 5, "-> match")), "adaptor compare key=5 match");
  EXPECT_EQ(adaptorLine(call("compare", 5, "-> mismatch")), "adaptor compare key=5 differ");
  EXPECT_EQ(adaptorLine(call("sync", 0, "-> 3 entries", false)), "adaptor sync entries=3");
}

TEST(AdaptorLines, ACallTheChipRefusedKeepsTheChipsNote) {
  EXPECT_EQ(adaptorLine(call("tracker", 5, "op=2 -> fault: delete of an index with no user")),
            "adaptor tracker key=5 op=2 -> fault: delete of an index with no user");
  EXPECT_EQ(adaptorLine(call("write", 99999, "group=1 nextHop=2 -> error: key outside [0, 1023]")),
            "adaptor write key=99999 nexthop=2 group=1 -> error: key outside [0, 1023]");
  EXPECT_EQ(adaptorLine(call("delete", 9, "-> fault: delete of an index that still has 1 user(s)")),
            "adaptor delete key=9 -> fault: delete of an index that still has 1 user(s)");
  EXPECT_EQ(adaptorLine(call("sync", 0, "-> error: no table", false)), "adaptor sync -> error: no table");
}

TEST(Expectations, FieldsMatchWholeWords) {
  const std::string line = "handle 5 type=committed state=success resolved=success hwIndex=5 pending=0 uses=1";
  EXPECT_TRUE(lineHolds(line, {}));
  EXPECT_TRUE(lineHolds(line, {{"state", "success"}, {"uses", "1"}}));
  EXPECT_FALSE(lineHolds(line, {{"state", "succ"}}));
  EXPECT_FALSE(lineHolds(line, {{"uses", "10"}}));
  EXPECT_FALSE(lineHolds(line, {{"state", "success"}, {"pending", "1"}}));
  EXPECT_FALSE(lineHolds("hw 5 nexthop=70 group=30", {{"group", "3"}}));
  EXPECT_TRUE(lineHolds("hw 5 empty", {{"empty", std::nullopt}}));
  EXPECT_FALSE(lineHolds("hw 5 nexthop=70 group=3", {{"empty", std::nullopt}}));
}

}  // namespace
}  // namespace DvpAgent
