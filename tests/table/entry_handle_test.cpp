// Entry handles: binding to the table, the pending-entry queue as the handle
// publishes it, and how the table's collection counts its use of a handle.
#include <gtest/gtest.h>

#include "TableFixture.h"

namespace VelarL3Vfi::test {
namespace {

class EntryHandles : public ::testing::Test {
 protected:
  Quill::Ptr<LocalDvpTable> table = newTable();
  Quill::Ptr<EntryHandle> handle = table->entryHandleIs(1, table.get());
  Quill::Ptr<const Asic::SwTableBase::EntryHandle> nh = neededHandle();

  std::vector<std::uint32_t> publishedSeqs(const Recorder& r) {
    std::vector<std::uint32_t> seqs;
    for (const auto& s : r.seen) {
      if (s.field == EntryHandle::kPendingEntryId) seqs.push_back(s.key);
    }
    return seqs;
  }
};

TEST_F(EntryHandles, SwTableIsPublishesOnlyOnAChange) {
  Recorder recorder(handle->publisher());
  handle->swTableIs(table.get());
  EXPECT_TRUE(recorder.seen.empty());
  handle->swTableIs(nullptr);
  ASSERT_EQ(recorder.seen.size(), 1u);
  EXPECT_EQ(recorder.seen[0].field, 387u);
  EXPECT_FALSE(recorder.seen[0].hasKey);
  EXPECT_EQ(recorder.seen[0].previousNode, table.get());
  EXPECT_EQ(handle->swTable(), nullptr);
}

TEST_F(EntryHandles, QueueNumbersEveryEnqueueAndDequeueAndPublishesIt) {
  Recorder recorder(handle->publisher());
  EXPECT_EQ(handle->pendingEntryDeq(), Entry());  // never used: nothing, no publication
  EXPECT_FALSE(handle->pendingEntryHas(1));
  for (std::uint8_t g = 1; g <= 3; ++g) handle->pendingEntryEnq(Entry(nh, g));
  EXPECT_EQ(publishedSeqs(recorder), (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(handle->pendingEntryFront(), Entry(nh, 1));
  EXPECT_EQ(handle->pendingEntryBack(), Entry(nh, 3));
  EXPECT_EQ(handle->pendingEntry(2), Entry(nh, 2));

  for (std::uint8_t g = 1; g <= 3; ++g) EXPECT_EQ(handle->pendingEntryDeq(), Entry(nh, g));
  EXPECT_EQ(publishedSeqs(recorder), (std::vector<std::uint32_t>{1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(handle->pendingEntryQueue().chunkCount(), 1u);  // the placeholder
  EXPECT_FALSE(handle->pendingEntryHas(3));
  EXPECT_EQ(handle->pendingEntry(3), Entry());  // already dequeued
  EXPECT_EQ(handle->pendingEntryDeq(), Entry());
  EXPECT_EQ(publishedSeqs(recorder).size(), 6u);

  handle->pendingEntryEnq(Entry(nh, 9));
  EXPECT_EQ(publishedSeqs(recorder).back(), 4u);
  EXPECT_EQ(handle->pendingEntry(5), Entry());  // not handed out yet
  recorder.seen.clear();
}

TEST_F(EntryHandles, DelAllPublishesEachElementFrontToBackWhenObserved) {
  for (std::uint8_t g = 1; g <= 5; ++g) handle->pendingEntryEnq(Entry(nh, g));
  handle->pendingEntryDeq();
  {
    Recorder recorder(handle->publisher());
    handle->pendingEntryDelAll();
    EXPECT_EQ(publishedSeqs(recorder), (std::vector<std::uint32_t>{2, 3, 4, 5}));
  }
  EXPECT_EQ(handle->pendingEntryCount(), 0u);
  handle->pendingEntryEnq(Entry(nh, 6));
  EXPECT_EQ(handle->pendingEntryQueue().backSeq(), 6u);
}

TEST_F(EntryHandles, DelAllClearsInBulkWithoutObserversAndKeepsNumbering) {
  for (std::uint8_t g = 1; g <= 7; ++g) handle->pendingEntryEnq(Entry(nh, g));
  EXPECT_EQ(nh->useCount(), 8u);
  ASSERT_TRUE(handle->publisher()->idle());
  handle->pendingEntryDelAll();
  EXPECT_EQ(handle->pendingEntryCount(), 0u);
  EXPECT_EQ(nh->useCount(), 1u);
  Recorder recorder(handle->publisher());
  handle->pendingEntryEnq(Entry(nh, 8));
  EXPECT_EQ(publishedSeqs(recorder), (std::vector<std::uint32_t>{8}));
}

TEST_F(EntryHandles, DestroyingAHandleReleasesQueuedEntries) {
  auto before = EntryHandle::memAllocationTracker_.live();
  for (std::uint8_t g = 1; g <= 20; ++g) handle->pendingEntryEnq(Entry(nh, g));
  table->entryHandleDel(1);
  handle = nullptr;
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), before - 1);
  EXPECT_EQ(nh->useCount(), 1u);
}

TEST_F(EntryHandles, IteratorStandingOnADequeuedElementJumpsToTheNewFront) {
  for (std::uint8_t g = 1; g <= 6; ++g) handle->pendingEntryEnq(Entry(nh, g));
  auto it = handle->pendingEntryIter();
  EXPECT_EQ(it.seq(), 1u);
  handle->pendingEntryDeq();
  handle->pendingEntryDeq();
  handle->pendingEntryDeq();  // frees the first chunk under the iterator
  ++it;
  EXPECT_EQ(it.seq(), 4u);
  EXPECT_EQ(*it, Entry(nh, 4));
}

// The collection's use of a handle: given up while the collection keeps the
// handle, re-taken by the runtime when the handle's other users are gone
// (before the handle's cleanup runs), and handed back as a real use when the
// collection lets go.
TEST_F(EntryHandles, CollectionKeepsAHandleWhoseOwnerUseWasGivenUp) {
  auto live = EntryHandle::memAllocationTracker_.live();
  table->configReplayCompleteIs(true);
  table->resolvedEntryIs(1, Entry(nh, 1));  // programmed (no adaptor): in the hardware path
  handle->entryTypeIs(EntryHandle::referenceOnly());
  handle->ownerUseRelease();  // as for a handle that only another table refers to
  EXPECT_EQ(handle->useCount(), 1u);
  EXPECT_TRUE(handle->heldWithoutUse());

  EntryHandle* raw = handle.get();
  handle = nullptr;  // the last user: the use is re-taken and cleanup starts the delete dance
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), live);
  EXPECT_EQ(raw->useCount(), 1u);
  EXPECT_FALSE(raw->heldWithoutUse());
  EXPECT_EQ(raw->entryType(), EntryHandle::inDeletion());
  EXPECT_EQ(table->entryHandle(1).get(), raw);

  auto removed = table->entryHandleDel(1);
  EXPECT_EQ(removed->useCount(), 1u);
  removed = nullptr;  // cleanup outside the collection ends the dance; the handle goes
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), live - 1);
}

TEST_F(EntryHandles, RemovingAHandleHeldWithoutUseHandsBackARealUse) {
  auto dependent = table->getEntryHandle(2);  // reference-only: only the dependent counts
  EXPECT_EQ(dependent->useCount(), 1u);
  EXPECT_TRUE(dependent->heldWithoutUse());
  auto removed = table->entryHandleDel(2);
  EXPECT_EQ(dependent->useCount(), 2u);
  EXPECT_FALSE(dependent->heldWithoutUse());
}

TEST_F(EntryHandles, TableTeardownCountsHandlesHeldWithoutUseCorrectly) {
  auto live = EntryHandle::memAllocationTracker_.live();
  auto other = table->entryHandleIs(2, table.get());
  other->ownerUseRelease();  // only `other` holds it now
  handle = nullptr;
  table = nullptr;
  EXPECT_EQ(other->useCount(), 1u);
  EXPECT_FALSE(other->heldWithoutUse());
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), live);  // handle 1 went with the table
  other = nullptr;
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), live - 1);
}

}  // namespace
}  // namespace VelarL3Vfi::test
