// Watching needed entries: callbacks arrive only from the activity loop,
// after the change, and a failed needed entry keeps being watched.
#include <gtest/gtest.h>

#include <vector>

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

// Many entries on one handle: watchers leaving in any order, and entries
// withdrawn by a sibling's callback, never skip or repeat a callback.
class Withdrawing : public Asic::SwTableUnresolvedEntry {
 public:
  void doResolve() override {
    ++resolved;
    if (victim) victim->neededEntryHandleSmDelAll();
  }
  void markFailedNeededEntry() override {}
  int resolved = 0;
  Withdrawing* victim = nullptr;

 private:
  ~Withdrawing() override { nodeFlagSet(kFlagLive, false); }
};

TEST_F(NeededEntryWatch, ManyWatchersLeaveInAnyOrderAndEachResolvesOnce) {
  constexpr int kCount = 1000;
  std::vector<Quill::Ptr<Withdrawing>> entries;
  for (int i = 0; i < kCount; ++i) {
    entries.emplace_back(new Withdrawing());
    entries.back()->neededEntryHandleSmIs(handle);
  }
  // Every third entry gives up before the handle is ready (the slots left
  // behind are squeezed out), and each entry at i % 3 == 1 withdraws the
  // next one from inside its own callback.
  for (int i = 0; i < kCount; i += 3) entries[i]->neededEntryHandleSmDelAll();
  for (int i = 1; i + 1 < kCount; i += 3) entries[i]->victim = entries[i + 1].get();
  EXPECT_EQ(handle->watchers(), static_cast<std::size_t>(kCount - (kCount + 2) / 3));
  nextHops->readyIs(1, 9);
  Activity::runPending();
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(entries[i]->resolved, i % 3 == 1 ? 1 : 0) << "entry " << i;
  }
  EXPECT_EQ(handle->watchers(), 0u);
  // A new watcher after all that still sees the next change.
  entries[0]->neededEntryHandleSmIs(handle);
  handle->hwIndexIs(10);
  Activity::runPending();
  EXPECT_EQ(entries[0]->resolved, 1);
}
