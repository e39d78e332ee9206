// The agent in-process: its start and stop against a chip file, the order of
// what it prints, confirmations, expectations and the show lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/Trace/TraceConfig.h"
#include "tools/dvp-agent/Agent.h"
#include "tools/dvp-agent/Tour.h"

namespace DvpAgent {
namespace {

using Lines = std::vector<std::string>;
using VelarL3Vfi::LocalDvpTable;

class AgentTest : public ::testing::Test {
 protected:
  AgentTest() { std::filesystem::remove(chipFile); }
  ~AgentTest() override {
    std::filesystem::remove(chipFile);
    LocalDvpTable::traceHandle().maskIs(0);
  }

  void TearDown() override {
    agent.reset();
    EXPECT_EQ(LocalDvpTable::EntryHandle::memAllocationTracker_.live(), handlesBefore_)
        << "entry handles outlived the agent";
    EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), tablesBefore_) << "a table outlived the agent";
  }

  void start(AgentOptions options = {}) {
    options.chip = chipFile;
    options.chipEntries = 256;
    parser = Parser();
    agent = std::make_unique<Agent>(options, out);
  }

  // Runs scenario lines; true when every expectation held.
  bool run(const std::string& text) {
    auto result = parser.parseText(text, "t.dvp");
    for (const auto& error : result.errors) ADD_FAILURE() << error.text();
    bool ok = true;
    for (const auto& command : result.commands) ok = agent->run(command) && ok;
    return ok;
  }

  Lines take() { return std::exchange(out.lines, {}); }

  std::string chipFile = (std::filesystem::temp_directory_path() /
                          ("agent-" + std::to_string(::getpid()) + "-" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".chip"))
                             .string();
  CapturedOutput out;
  Parser parser;
  std::unique_ptr<Agent> agent;

 private:
  std::size_t handlesBefore_ = LocalDvpTable::EntryHandle::memAllocationTracker_.live();
  std::size_t tablesBefore_ = LocalDvpTable::memAllocationTracker_.live();
};

AgentOptions logging(bool autoConfirm = false) {
  AgentOptions options;
  options.adaptorLog = true;
  options.autoConfirm = autoConfirm;
  return options;
}

const char* kTwoEntries =
    "nexthop A index=70 state=success\n"
    "commit 1 nh=A group=1\n"
    "commit 2 nh=A group=2\n"
    "confirm all\n"
    "init-complete\n";

TEST_F(AgentTest, AStopLeavesTheChipAsItIsAndTheNextStartReadsItBack) {
  start();
  ASSERT_TRUE(run(kTwoEntries));
  // A dependent holds entry 2 through its removal: a running agent would
  // start the delete dance when the dependent lets go, a stopping one not.
  ASSERT_TRUE(run("hold 2\nremove 2\nlog adaptor on\n"));
  take();
  agent.reset();
  EXPECT_EQ(take(), Lines{});

  start(logging());
  EXPECT_EQ(take(), Lines{"adaptor sync entries=2"});
  EXPECT_TRUE(run("expect hw 2 nexthop=70 group=2\nexpect tracker 2 users=1\nexpect no handle 2\n"));
}

TEST_F(AgentTest, ARestartDropsTheDependentsReferencesWithoutTouchingTheChip) {
  start(logging());
  ASSERT_TRUE(run(kTwoEntries));
  ASSERT_TRUE(run("hold 2\nremove 2\n"));
  take();
  ASSERT_TRUE(run("restart\n"));
  EXPECT_EQ(take(), Lines{"adaptor sync entries=2"});
  EXPECT_TRUE(run("expect no handle 2\nexpect hw 2 nexthop=70 group=2\nexpect stats matched=0 differ=0 new=0 deleted=0\n"));
}

TEST_F(AgentTest, TraceLinesAndAdaptorLinesComeOutInTheOrderTheyHappen) {
  start(logging());
  ASSERT_TRUE(run("init-complete\nnexthop A index=70 state=success\ncommit 5 nh=A group=3\nconfirm 5\n"));
  take();
  ASSERT_TRUE(run("trace VelarL3Vfi::LocalDvpTable/8\nremove 5\nconfirm 5\n"));
  const std::string t = "VelarL3Vfi::LocalDvpTable : ";
  EXPECT_EQ(take(), (Lines{t + "handleEntry key: 5, configReplayComplete: 1",
                           t + "programHwEntry key: 5, entryState:inProgress",
                           t + "traceHwIndex Acquired hwIndex : 5",
                           t + "hwTableEntryIs : key: 5",
                           "adaptor tracker key=5 op=3",
                           "adaptor write key=5 absent",
                           "chip confirm key=5",
                           t + "handleEntry key: 5, configReplayComplete: 1",
                           t + "traceHwIndex Acquired hwIndex : 5",
                           t + "hwTableEntryDel: Deleting entry at key:5",
                           "adaptor tracker key=5 op=4",
                           "adaptor delete key=5"}));
}

TEST_F(AgentTest, AnAdaptorCallPrintsBeforeTheTraceLinesThatFollowIt) {
  start(logging());
  ASSERT_TRUE(run("nexthop A index=70 state=success\ncommit 5 nh=A group=3\nconfirm 5\ninit-complete\n"
                  "restart\ninit-complete\n"));
  take();
  ASSERT_TRUE(run("trace VelarL3Vfi::LocalDvpTable/8\npurge\n"));
  const std::string t = "VelarL3Vfi::LocalDvpTable : ";
  EXPECT_EQ(take(), (Lines{t + "syncedEntryRemoveAll", t + "hwTableEntryDel: Deleting entry at key:5",
                           "adaptor tracker key=5 op=2", "adaptor delete key=5",
                           t + "handleStaleEntries: Deleting stale hwEntry for key:5"}));
}

TEST_F(AgentTest, WithAutoConfirmTheChipAnswersUntilNothingIsPending) {
  start(logging(true));
  take();
  ASSERT_TRUE(run("init-complete\nnexthop A index=70 state=success\ncommit 5 nh=A group=3\n"));
  EXPECT_EQ(take(), (Lines{"adaptor tracker key=5 op=0", "adaptor write key=5 nexthop=70 group=3",
                           "chip confirm key=5"}));
  // The confirmation of the absent write causes the delete, in the same command.
  ASSERT_TRUE(run("remove 5\n"));
  EXPECT_EQ(take(), (Lines{"adaptor tracker key=5 op=3", "adaptor write key=5 absent", "chip confirm key=5",
                           "adaptor tracker key=5 op=4", "adaptor delete key=5"}));
  EXPECT_TRUE(run("expect no handle 5\nexpect no hw 5\n"));
}

TEST_F(AgentTest, ConfirmAllGoesKeyByKeyOldestFirst) {
  start(logging());
  ASSERT_TRUE(run("init-complete\nnexthop A index=70 state=success\n"
                  "commit 6 nh=A group=1\ncommit 5 nh=A group=1\ncommit 6 nh=A group=2\n"));
  take();
  ASSERT_TRUE(run("confirm 9\nconfirm all\n"));
  EXPECT_EQ(take(), (Lines{"chip confirm key=6", "chip confirm key=6", "chip confirm key=5"}));
  EXPECT_TRUE(run("expect handle 6 state=success pending=0\nexpect handle 5 state=success\n"));
}

TEST_F(AgentTest, AFailedExpectationSaysWhatItWantedAndWhatItGot) {
  start();
  ASSERT_TRUE(run(kTwoEntries));
  EXPECT_FALSE(run("expect hw 1 nexthop=70 group=9\n"));
  EXPECT_FALSE(run("expect no hw 2\n"));
  EXPECT_FALSE(run("expect handle 3 uses=1\n"));
  EXPECT_FALSE(run("expect stats new=0\n"));
  EXPECT_EQ(out.errors, (Lines{"t.dvp:1: expect failed: wanted hw 1 nexthop=70 group=9, got hw 1 nexthop=70 group=1",
                               "t.dvp:1: expect failed: wanted no hw 2, got hw 2 nexthop=70 group=2",
                               "t.dvp:1: expect failed: wanted handle 3 uses=1, got no handle 3",
                               "t.dvp:1: expect failed: wanted stats new=0, got stats matched=0 differ=0 new=2 deleted=0"}));
  EXPECT_TRUE(run("expect hw 1 group=1\nexpect no hw 3\nexpect no entry 3\n"));
}

TEST_F(AgentTest, ShowListsObjectsByKeyAndSaysWhenOneIsMissing) {
  start();
  ASSERT_TRUE(run("nexthop B\nnexthop A index=70 state=success\ncommit 200 nh=A\ncommit 3 nh=B group=4\ncommit 17\n"
                  "hold 17\nhold 17\n"));
  take();
  ASSERT_TRUE(run("show handles\nshow entries\nshow hw 9\nshow nexthop\nshow entry 4\n"));
  EXPECT_EQ(take(), (Lines{"handle 3 type=committed state=unresolved resolved=unresolved hwIndex=none pending=0 uses=1",
                           "handle 17 type=committed state=inProgress resolved=inProgress hwIndex=none pending=0 uses=3",
                           "handle 200 type=committed state=inProgress resolved=inProgress hwIndex=none pending=0 uses=1",
                           "entry 3 nh=B nexthop=0 group=4", "entry 17 nh=none nexthop=0 group=0",
                           "entry 200 nh=A nexthop=70 group=0", "no hw 9",
                           "nexthop A index=70 state=success suggested=none",
                           "nexthop B index=none state=unresolved suggested=none", "no entry 4"}));
}

TEST_F(AgentTest, TrackerShowsIndexUsersAndEveryFaultOfTheChip) {
  start();
  ASSERT_TRUE(run("init-complete\ncommit 4 group=1\ncommit 1000 group=2\n"));  // the chip has 256 slots
  take();
  ASSERT_TRUE(run("show tracker\nshow tracker 1000\nshow tracker 5\n"));
  EXPECT_EQ(take(), (Lines{"tracker 4 users=1", "tracker-fault 1000 tracker: key outside [0, 255]",
                           "tracker-fault 1000 write: key outside [0, 255]", "tracker 1000 users=0",
                           "tracker-fault 1000 tracker: key outside [0, 255]",
                           "tracker-fault 1000 write: key outside [0, 255]", "tracker 5 users=0"}));
}

TEST_F(AgentTest, HandlesLearnTheirIndexAtTheWriteWhenTheFrameworkPublishesIt) {
  AgentOptions published;
  published.hwIndexInHandle = true;
  start(published);
  EXPECT_TRUE(run("init-complete\ncommit 7 group=1\nexpect handle 7 state=inProgress hwIndex=7\n"));
  agent.reset();
  std::filesystem::remove(chipFile);
  start();
  EXPECT_TRUE(run("init-complete\ncommit 7 group=1\nexpect handle 7 state=inProgress hwIndex=none\n"));
}

TEST_F(AgentTest, CallsMadeWhileTheLogIsOffAreNotPrintedLater) {
  start();
  ASSERT_TRUE(run("commit 1 group=1\nlog adaptor on\ncommit 2 group=2\nlog adaptor off\ncommit 3 group=3\n"));
  EXPECT_EQ(take(), (Lines{"adaptor tracker key=2 op=0", "adaptor write key=2 nexthop=0 group=2"}));
}

TEST_F(AgentTest, AChipFileOfAnotherKindIsRefusedAndLeftAlone) {
  {
    std::ofstream junk(chipFile, std::ios::binary);
    junk << std::string(200, 'x');
  }
  EXPECT_THROW(
      {
        try {
          start();
        } catch (const StartError& e) {
          EXPECT_NE(std::string(e.what()).find("wrong magic: not a simulated chip file"), std::string::npos);
          throw;
        }
      },
      StartError);
  std::ifstream in(chipFile, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(200, 'x'));
}

TEST(Tour, TheBuiltInTourIsScenariosTourDvpAndParses) {
  std::ifstream in(std::string(DVP_SCENARIOS) + "/tour.dvp", std::ios::binary);
  ASSERT_TRUE(in);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), tourScenario());
  auto result = Parser().parseText(tourScenario(), std::string(kTourName));
  EXPECT_TRUE(result.errors.empty());
  EXPECT_GT(result.commands.size(), 50u);
}

}  // namespace
}  // namespace DvpAgent
