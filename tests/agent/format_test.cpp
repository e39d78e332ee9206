// The lines dvp-agent prints, and how `expect` reads them.
#include <gtest/gtest.h>

#include "tools/dvp-agent/Format.h"

namespace DvpAgent {
namespace {

TEST(Lines, TrackerFaultsNameTheCallAndItsProblem) {
  SimChip::Fault report{SimChip::Fault::Kind::tracker, "tracker", 5, 2, "delete of an index with no user"};
  EXPECT_EQ(trackerFaultLine(report), "tracker-fault 5 tracker op=2: delete of an index with no user");
  SimChip::Fault write{SimChip::Fault::Kind::tracker, "write", 6, SimChip::Fault::kNoOp,
                       "write to an index with no user"};
  EXPECT_EQ(trackerFaultLine(write), "tracker-fault 6 write: write to an index with no user");
}

TEST(Expectations, FieldsMatchWholeWords) {
  const std::string line = "handle 5 type=committed state=success resolved=success hwIndex=5 pending=0 uses=1";
  EXPECT_TRUE(lineHolds(line, {}));
  EXPECT_TRUE(lineHolds(line, {{"state", "success"}, {"uses", "1"}}));
  EXPECT_FALSE(lineHolds(line, {{"state", "succ"}}));
  EXPECT_FALSE(lineHolds(line, {{"uses", "10"}}));
  EXPECT_FALSE(lineHolds(line, {{"state", "success"}, {"pending", "1"}}));
  EXPECT_TRUE(lineHolds("hw 5 empty", {{"empty", std::nullopt}}));
  EXPECT_FALSE(lineHolds("hw 5 nexthop=70 group=3", {{"empty", std::nullopt}}));
}

}  // namespace
}  // namespace DvpAgent
