// Watching needed entries: callbacks arrive only from the activity loop,
// after the change, and a failed needed entry keeps being watched.
#include <gtest/gtest.h>

#include "platform/Activity/Activity.h"
#include "platform/Asic/NeededEntryTable.h"
#include "platform/Asic/UnresolvedEntry.h"

namespace {

using State = Asic::SwTableBase::EntryState;

class Waiting : public Asic::SwTableUnresolvedEntry {
 public:
  void doResolve() override { ++resolved; }
  void markFailedNeededEntry() override { ++failed; }
  int resolved = 0;
  int failed = 0;

 private:
  ~Waiting() override { nodeFlagSet(kFlagLive, false); }
};

class NeededEntryWatch : public ::testing::Test {
 protected:
  ~NeededEntryWatch() override { Activity::discardPending(); }
  Quill::Ptr<Asic::NeededEntryTable> nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nh");
  Quill::Ptr<Asic::NeededEntryTable::Handle> handle = nextHops->handleIs(1);
  Quill::Ptr<Waiting> waiting{new Waiting()};
};

TEST_F(NeededEntryWatch, ResolvesOnceUsableAfterTheChangingOperationReturns) {
  waiting->neededEntryHandleSmIs(handle);
  EXPECT_EQ(waiting->neededEntryHandleSms(), 1u);
  nextHops->readyIs(1, 40);
  EXPECT_EQ(waiting->resolved, 0);  // not from inside the change
  EXPECT_EQ(Activity::runPending(), 1u);  // index and state changes coalesce
  EXPECT_EQ(waiting->resolved, 1);
  EXPECT_EQ(waiting->neededEntryHandleSms(), 0u);  // removed before the callback
  EXPECT_EQ(handle->watchers(), 0u);
}

TEST_F(NeededEntryWatch, AFailureIsReportedOnceAndARecoveryStillResolves) {
  waiting->neededEntryHandleSmIs(handle);
  nextHops->failedIs(1);
  Activity::runPending();
  handle->hwIndexIs(3);  // still failed: no second report
  Activity::runPending();
  EXPECT_EQ(waiting->failed, 1);
  EXPECT_EQ(waiting->neededEntryHandleSms(), 1u);
  nextHops->readyIs(1, 3);
  Activity::runPending();
  EXPECT_EQ(waiting->resolved, 1);
}

TEST_F(NeededEntryWatch, UsableMeansAnIndexInSuccessOrReconciledWithout) {
  waiting->neededEntryHandleSmIs(handle);
  handle->entryStateIs(State::success);  // no index yet
  Activity::runPending();
  EXPECT_EQ(waiting->resolved, 0);
  handle->entryStateIs(State::indexReconciled);
  Activity::runPending();
  EXPECT_EQ(waiting->resolved, 1);
}

TEST_F(NeededEntryWatch, AWatcherGoneBeforeTheCallbackIsNotCalled) {
  waiting->neededEntryHandleSmIs(handle);
  nextHops->readyIs(1, 5);
  waiting->neededEntryHandleSmDelAll();
  Activity::runPending();
  EXPECT_EQ(waiting->resolved, 0);
  waiting->neededEntryHandleSmIs(handle);
  waiting = nullptr;  // destroying the waiting entry withdraws its watcher
  EXPECT_EQ(handle->watchers(), 0u);
}

TEST_F(NeededEntryWatch, SuggestionsAreKeptAndHandled) {
  Asic::SwTableBase::suggestIndicesToNeededEntryHandle(handle, {12});
  ASSERT_EQ(handle->indexSuggestions().size(), 1u);
  EXPECT_EQ(*handle->indexSuggestions()[0].begin(), 12u);
  EXPECT_EQ(handle->suggestionRuns(), 1u);
}

}  // namespace
