// The table's collections change only through their mutators, and every
// change is published once with the value held before it.
#include <gtest/gtest.h>

#include "TableFixture.h"
#include "platform/Kiv/Exceptions.h"

namespace VelarL3Vfi::test {
namespace {

class TableMutators : public ::testing::Test {
 protected:
  Quill::Ptr<LocalDvpTable> table = newTable();
  Recorder recorder{table->publisher()};
  Quill::Ptr<const Asic::SwTableBase::EntryHandle> nh = neededHandle();
};

TEST_F(TableMutators, ResolvedEntryPublishesInsertReplaceAndDeleteWithPreviousValue) {
  table->resolvedEntryIs(5, Entry(nh, 1));
  table->resolvedEntryIs(5, Entry(nh, 2));
  auto removed = table->resolvedEntryDel(5);

  ASSERT_EQ(recorder.seen.size(), 3u);
  for (const auto& s : recorder.seen) {
    EXPECT_EQ(s.field, 519u);
    EXPECT_TRUE(s.recursive);
    EXPECT_EQ(s.key, 5u);
  }
  EXPECT_FALSE(recorder.seen[0].previousResolved.present());
  EXPECT_EQ(recorder.seen[1].previousResolved.value(), Entry(nh, 1));
  EXPECT_EQ(recorder.seen[2].previousResolved.value(), Entry(nh, 2));
  EXPECT_EQ(removed.value(), Entry(nh, 2));
  EXPECT_FALSE(table->resolvedEntryHas(5));
}

TEST_F(TableMutators, ResolvedEntryIgnoresChangesThatAreNoChange) {
  table->resolvedEntryIs(1, Entry(nh, 1, 10));
  table->resolvedEntryIs(2, Kiv::Optional<Entry>());
  recorder.seen.clear();

  table->resolvedEntryIs(1, Entry(nh, 1, 99));     // differs only in the derived index
  table->resolvedEntryIs(2, Kiv::Optional<Entry>());  // absent over absent
  Kiv::Optional<Entry> stored = table->resolvedEntry(1);
  table->resolvedEntryIs(1, stored);                // equal value
  EXPECT_TRUE(recorder.seen.empty());
  EXPECT_EQ(table->resolvedEntry(1).value().localPortNextHop(), 10u);

  EXPECT_FALSE(table->resolvedEntryDel(77).present());
  EXPECT_TRUE(recorder.seen.empty());
}

TEST_F(TableMutators, AbsentResolvedValueKeepsTheKeyAsADeleteInFlight) {
  auto handle = table->entryHandleIs(3, table.get());
  table->resolvedEntryIs(3, Kiv::Optional<Entry>());
  ASSERT_EQ(recorder.seen.size(), 2u);  // handle, then the absent value
  EXPECT_EQ(recorder.seen[1].field, 519u);
  EXPECT_FALSE(table->resolvedEntry(3).present());
  EXPECT_TRUE(table->resolvedEntryHas(3));
  EXPECT_TRUE(table->entryHas(3));

  // A present value over the absent one publishes the absent previous value.
  table->resolvedEntryIs(3, Entry(nh, 4));
  EXPECT_FALSE(recorder.seen.back().previousResolved.present());
}

TEST_F(TableMutators, ResolvedEntryDelAllRemovesAndPublishesEveryKey) {
  for (std::uint32_t k = 0; k < 50; ++k) table->resolvedEntryIs(k, Entry(nh, 1));
  recorder.seen.clear();
  table->resolvedEntryDelAll();
  EXPECT_EQ(table->resolvedEntrys(), 0u);
  EXPECT_EQ(recorder.seen.size(), 50u);
  recorder.seen.clear();  // the recorder's own copies
  EXPECT_EQ(nh->useCount(), 1u);  // every stored copy released its use
}

TEST_F(TableMutators, SyncedEntryPublishesAndComparesValues) {
  table->syncedEntryIs(9, Entry(nh, 1, 5));
  table->syncedEntryIs(9, Entry(nh, 1, 6));  // equal: nothing
  table->syncedEntryIs(9, Entry(nh, 2));
  ASSERT_EQ(recorder.seen.size(), 2u);
  EXPECT_EQ(recorder.seen[0].field, 522u);
  EXPECT_EQ(recorder.seen[0].previousSynced, Entry());
  EXPECT_EQ(recorder.seen[1].previousSynced, Entry(nh, 1));
  EXPECT_EQ(table->syncedEntry(9), Entry(nh, 2));
  EXPECT_EQ(table->syncedEntry(9).localPortNextHop(), 0u);  // all three fields replaced

  EXPECT_EQ(table->syncedEntryDel(10), Entry());
  EXPECT_EQ(recorder.seen.size(), 2u);
  EXPECT_EQ(table->syncedEntryDel(9), Entry(nh, 2));
  EXPECT_EQ(recorder.seen.size(), 3u);
}

TEST_F(TableMutators, SyncedEntryDelAllPublishesOnlyWhenObserved) {
  for (std::uint32_t k = 0; k < 10; ++k) table->syncedEntryIs(k, Entry(nh, 1));
  recorder.seen.clear();
  table->syncedEntryDelAll();
  EXPECT_EQ(recorder.seen.size(), 10u);
  EXPECT_EQ(table->syncedEntrys(), 0u);

  auto quiet = newTable();  // nobody observes it
  for (std::uint32_t k = 0; k < 10; ++k) quiet->syncedEntryIs(k, Entry(nh, 1));
  ASSERT_TRUE(quiet->publisher()->idle());
  quiet->syncedEntryDelAll();
  EXPECT_EQ(quiet->syncedEntrys(), 0u);
  recorder.seen.clear();
  EXPECT_EQ(nh->useCount(), 1u);
}

TEST_F(TableMutators, EntryHandleIsFindsOrCreatesAndPublishesOnce) {
  auto before = EntryHandle::memAllocationTracker_.live();
  auto h1 = table->entryHandleIs(4, table.get());
  auto h2 = table->entryHandleIs(4, table.get());
  EXPECT_EQ(h1, h2);
  EXPECT_EQ(h1->key(), 4u);
  EXPECT_EQ(h1->swTable(), table.get());
  EXPECT_EQ(h1->entryType(), EntryHandle::unassigned());
  EXPECT_EQ(h1->useCount(), 3u);  // the collection and two callers
  ASSERT_EQ(recorder.seen.size(), 1u);
  EXPECT_EQ(recorder.seen[0].field, 529u);
  EXPECT_EQ(recorder.seen[0].previousNode, nullptr);
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), before + 1);

  auto removed = table->entryHandleDel(4);
  EXPECT_EQ(removed, h1);
  EXPECT_EQ(recorder.seen.back().previousNode, h1.get());
  EXPECT_FALSE(table->entryHandleDel(4));
  EXPECT_EQ(recorder.seen.size(), 2u);
  h1 = nullptr;
  h2 = nullptr;
  removed = nullptr;
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), before);
}

TEST_F(TableMutators, EntryHandleOfAnotherTableCannotBeReinstantiated) {
  auto other = newTable();
  auto handle = table->entryHandleIs(4, table.get());
  recorder.seen.clear();
  try {
    table->entryHandleIs(4, other.get());
    FAIL() << "rebinding a handle to another table must fail";
  } catch (const Kiv::MutatorReinstantiatingException& e) {
    EXPECT_EQ(e.typeName(), "EntryHandle");
    EXPECT_EQ(e.attrName(), "swTable");
    EXPECT_EQ(e.attrId(), 387u);
  }
  EXPECT_EQ(table->entryHandle(4), handle);
  EXPECT_EQ(handle->swTable(), table.get());
  EXPECT_TRUE(recorder.seen.empty());
}

TEST_F(TableMutators, UnresolvedEntryIsFindsOrCreatesWithTheTableAsParent) {
  auto before = LocalDvpTable::UnresolvedEntry::memAllocationTracker_.live();
  auto u1 = table->unresolvedEntryIs(8);
  auto u2 = table->unresolvedEntryIs(8);
  EXPECT_EQ(u1, u2);
  EXPECT_EQ(u1->key(), 8u);
  EXPECT_EQ(u1->parent(), table.get());
  EXPECT_EQ(u1->entry(), Entry());
  ASSERT_EQ(recorder.seen.size(), 1u);
  EXPECT_EQ(recorder.seen[0].field, 530u);

  table->unresolvedEntryIs(9);
  table->unresolvedEntryDelAll();
  EXPECT_EQ(table->unresolvedEntrys(), 0u);
  EXPECT_EQ(recorder.seen.size(), 4u);
  EXPECT_FALSE(table->unresolvedEntryDel(8));
  u1 = nullptr;
  u2 = nullptr;
  EXPECT_EQ(LocalDvpTable::UnresolvedEntry::memAllocationTracker_.live(), before);
}

TEST_F(TableMutators, WriteResponseSmServesOneTableAtATime) {
  auto other = newTable();
  auto sm1 = table->writeResponseSmIs(table.get());
  auto sm2 = table->writeResponseSmIs(table.get());
  EXPECT_EQ(sm1, sm2);
  EXPECT_TRUE(sm1->hasNotificationActive());
  ASSERT_EQ(recorder.seen.size(), 1u);
  EXPECT_EQ(recorder.seen[0].field, 534u);
  EXPECT_FALSE(recorder.seen[0].hasKey);
  EXPECT_EQ(recorder.seen[0].previousNode, nullptr);

  auto sm3 = table->writeResponseSmIs(other.get());
  EXPECT_NE(sm3, sm1);
  EXPECT_EQ(sm3->swTable(), other.get());
  EXPECT_EQ(recorder.seen.back().previousNode, sm1.get());
  EXPECT_TRUE(sm1->hasNotificationActive());  // a replaced machine keeps its notifications

  auto removed = table->writeResponseSmDel();
  EXPECT_EQ(removed, sm3);
  EXPECT_FALSE(removed->hasNotificationActive());
  EXPECT_FALSE(table->writeResponseSm());
  EXPECT_FALSE(table->writeResponseSmDel());
  EXPECT_EQ(recorder.seen.size(), 3u);
}

TEST_F(TableMutators, EntryHasAndEntryInHwTableFollowHandleState) {
  EXPECT_FALSE(table->entryHas(1));
  table->unresolvedEntryIs(1);
  EXPECT_FALSE(table->entryHas(1));  // no handle
  auto h = table->entryHandleIs(1, table.get());
  EXPECT_TRUE(table->entryHas(1));
  h->entryTypeIs(EntryHandle::inDeletion());
  EXPECT_FALSE(table->entryHas(1));
  h->entryTypeIs(EntryHandle::committed());
  table->unresolvedEntryDel(1);
  EXPECT_FALSE(table->entryHas(1));
  table->resolvedEntryIs(1, Entry(nh, 1));
  EXPECT_TRUE(table->entryHas(1));

  // Cut loose, the handle's state hooks leave the table alone: this checks
  // only how entryInHwTable reads the state.
  h->swTableIs(nullptr);
  using State = Asic::SwTableBase::EntryState;
  for (auto [state, inHw] : {std::pair{State::unresolved, false}, {State::inProgress, true},
                             {State::indexReconciled, true}, {State::state3, false},
                             {State::success, true}, {State::failedNeededEntry, false},
                             {State::indexExhausted, false}}) {
    h->resolvedEntryStateIs(state);
    EXPECT_EQ(table->entryInHwTable(1), inHw) << state;
  }
  EXPECT_FALSE(table->entryInHwTable(2));
}

TEST_F(TableMutators, IndexRangeComesFromTheAdaptor) {
  EXPECT_EQ(table->minIndex(), 0u);
  EXPECT_EQ(table->maxIndex(), 0xFFFFFFFFu);
  table->utilIs(Quill::Ptr<Asic::SwTable::Util>(new RecordingUtil()));
  EXPECT_EQ(table->minIndex(), 16u);
  EXPECT_EQ(table->maxIndex(), 4095u);
  EXPECT_EQ(table->util()->dependentFieldValueToHwIndex(0xFFFFFFFF), 0xFFFFFFFFu);
}

TEST(TableLifecycle, ConstructionAndDestructionReleaseEverything) {
  auto handles = EntryHandle::memAllocationTracker_.live();
  auto tables = LocalDvpTable::memAllocationTracker_.live();
  auto nh = neededHandle();
  Quill::Ptr<Asic::WriteResponseSm> sm;
  {
    auto table = newTable();
    EXPECT_TRUE(table->hwResponseNeeded());
    EXPECT_EQ(table->name().str(), "");
    EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), tables + 1);
    for (std::uint32_t k = 0; k < 20; ++k) {
      table->entryHandleIs(k, table.get());
      table->unresolvedEntryIs(k);
      table->resolvedEntryIs(k, Entry(nh, 1));
      table->syncedEntryIs(k, Entry(nh, 2));
    }
    sm = table->writeResponseSmIs(table.get());
  }
  EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), tables);
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), handles);
  EXPECT_EQ(nh->useCount(), 1u);
  EXPECT_FALSE(sm->hasNotificationActive());  // the table let go of it
}

}  // namespace
}  // namespace VelarL3Vfi::test
