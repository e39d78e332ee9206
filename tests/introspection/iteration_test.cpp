// Walking the table's collections, the merged entry view and a handle's
// pending queue through genericIfIterator: what each walk yields, start keys,
// deletions between steps, and where iterators live.
#include <map>
#include <optional>
#include <set>

#include "IntrospectionFixture.h"
#include "platform/Memory/Slab.h"

namespace VelarL3Vfi::test {
namespace {

using Quill::Inspect::UniqueIter;

// One walk, collected: key -> the value's group (nullopt when iterObj said no).
using Seen = std::map<std::uint32_t, std::optional<int>>;

std::optional<int> objOf(const UniqueIter& it) {
  Value v;
  if (!it.obj(v)) return std::nullopt;
  const auto* e = asEntry(v);
  return e ? e->dvpNetworkGroup() : -1;
}

class Iteration : public IntrospectionTest {
 protected:
  UniqueIter iter(Quill::AttrId attr, std::optional<std::uint32_t> start = std::nullopt) {
    const Value key = Value::u32(start.value_or(0));
    return UniqueIter(Introspection::genericIfIterator(*table, start ? &key : nullptr, attr));
  }
  // Walks the attribute; `between` runs with each key before the step on.
  template <class Between>
  Seen walk(Quill::AttrId attr, std::optional<std::uint32_t> start, Between between) {
    Seen seen;
    auto it = iter(attr, start);
    EXPECT_TRUE(it);
    for (; it.nonnull(); it.inc()) {
      const auto key = it.key().asU32();
      EXPECT_EQ(seen.count(key), 0u) << "key " << key << " visited twice";
      between(key);
      seen[key] = objOf(it);
    }
    Value none = Value::u32(5);  // at the end: no key is written
    it.raw().ops->iterKey(it.raw().it, none);
    EXPECT_EQ(none.asU32(), 5u);
    return seen;
  }
  Seen walk(Quill::AttrId attr, std::optional<std::uint32_t> start = std::nullopt) {
    return walk(attr, start, [](std::uint32_t) {});
  }
};

TEST_F(Iteration, EachCollectionYieldsItsMembers) {
  programmed(1, 11);
  programmed(2, 12);
  table->entryCommit(2, Entry(waiting, 22));  // resolved, and waiting again
  table->entryCommit(3, Entry(waiting, 13));  // only waiting
  emptySlot(4);                               // a slot, but not an entry
  table->syncedEntryIs(5, Entry(nh, 15));     // only in the hardware
  EXPECT_EQ(walk(TableAttr::resolvedEntry), (Seen{{1, 11}, {2, 12}, {4, std::nullopt}}));
  EXPECT_EQ(walk(TableAttr::entry), (Seen{{1, 11}, {2, 22}, {3, 13}}));
  EXPECT_EQ(walk(TableAttr::syncedEntry), (Seen{{5, 15}}));
  EXPECT_EQ(walk(TableAttr::entryHandle), (Seen{{1, -1}, {2, -1}, {3, -1}}));
  EXPECT_EQ(walk(TableAttr::unresolvedEntry), (Seen{{2, -1}, {3, -1}}));

  // Node members come out counted, unresolved entries related.
  auto handles = iter(TableAttr::entryHandle, 3);
  Value v;
  ASSERT_TRUE(handles.obj(v));
  EXPECT_EQ(v.kind(), Quill::ValueKind::node);
  EXPECT_EQ(v.asNode(), table->entryHandle(3).get());
  auto unresolved = iter(TableAttr::unresolvedEntry, 3);
  ASSERT_TRUE(unresolved.obj(v));
  EXPECT_EQ(v.kind(), Quill::ValueKind::related);
  EXPECT_EQ(v.asRelated().type, &typeData(kUnresolvedEntryType));
}

TEST_F(Iteration, AStartKeyPositionsAtItsElementAndAnAbsentOneAtTheEnd) {
  programmed(1, 11);
  table->entryCommit(3, Entry(waiting, 13));
  emptySlot(4);
  EXPECT_EQ(walk(TableAttr::entry, 3), (Seen{{1, 11}, {3, 13}}));  // then through the resolved ones
  EXPECT_TRUE(walk(TableAttr::entry, 4).empty());
  EXPECT_TRUE(walk(TableAttr::entry, 9).empty());
  auto it = iter(TableAttr::resolvedEntry, 4);
  ASSERT_TRUE(it.nonnull());
  EXPECT_EQ(it.key().asU32(), 4u);
  EXPECT_FALSE(iter(TableAttr::syncedEntry, 4).nonnull());
  EXPECT_FALSE(iter(TableAttr::entryHandle, 77).nonnull());
}

TEST_F(Iteration, DeletingTheMemberAtTheIteratorBetweenSteps) {
  table->utilIs(nullptr);
  auto gone = [&](Quill::AttrId attr, std::set<std::uint32_t> keys, auto del) {
    const Seen seen = walk(attr, std::nullopt, del);
    for (auto k : keys) EXPECT_EQ(seen.count(k), 1u) << attr << " lost key " << k;
    for (const auto& [k, v] : seen) EXPECT_FALSE(v) << attr << ": deleted key " << k << " still yields";
    EXPECT_EQ(seen.size(), keys.size());
  };
  for (std::uint32_t k = 1; k <= 6; ++k) {
    table->resolvedEntryIs(k, Kiv::Optional<Entry>(Entry(nh, 1)));
    table->syncedEntryIs(k, Entry(nh, 1));
    table->entryHandleIs(k + 10, table.get());
    table->entryCommit(k + 20, Entry(waiting, 1));
  }
  gone(TableAttr::resolvedEntry, {1, 2, 3, 4, 5, 6}, [&](std::uint32_t k) { table->resolvedEntryDel(k); });
  gone(TableAttr::syncedEntry, {1, 2, 3, 4, 5, 6}, [&](std::uint32_t k) { table->syncedEntryDel(k); });
  gone(TableAttr::entryHandle, {11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26}, [&](std::uint32_t k) {
    if (k < 20) {
      table->entryHandleDel(k);
    } else {
      table->entryRemove(k);  // withdrawing a waiting commit takes the handle out too
    }
  });
  EXPECT_EQ(table->entrys(), 0u);
  EXPECT_EQ(table->unresolvedEntrys(), 0u);

  for (std::uint32_t k = 1; k <= 4; ++k) table->entryCommit(k, Entry(waiting, 1));
  gone(TableAttr::unresolvedEntry, {1, 2, 3, 4}, [&](std::uint32_t k) { table->unresolvedEntryDel(k); });
  // The view: waiting commits withdrawn under the walk, which goes on into
  // the resolved phase.
  for (std::uint32_t k : {3u, 4u}) table->entryCommit(k, Entry(waiting, 1));
  table->entryCommit(9, Entry(nh, 9));  // resolved at once
  const Seen seen = walk(TableAttr::entry, std::nullopt, [&](std::uint32_t k) {
    if (k != 9) table->entryRemove(k);
  });
  EXPECT_EQ(seen, (Seen{{3, std::nullopt}, {4, std::nullopt}, {9, 9}}));
}

TEST_F(Iteration, PendingQueueWalksFrontToBackWithoutKeysAndSurvivesDequeues) {
  auto h = table->entryHandleIs(50, table.get());
  for (std::uint8_t g = 1; g <= 5; ++g) h->pendingEntryEnq(Entry(nh, g));
  const Value start = Value::u32(4);  // ignored by queues
  UniqueIter it(Introspection::genericIfIterator(*h, &start, EntryHandleAttr::pendingEntry));
  std::vector<std::optional<int>> groups;
  groups.push_back(objOf(it));
  EXPECT_EQ(it.key().asU32(), 0xFFFFFFFFu);
  it.inc();
  for (int i = 0; i < 3; ++i) h->pendingEntryDeq();  // entries 1 to 3 leave between two steps
  groups.push_back(objOf(it));                        // it stood on entry 2
  for (it.inc(); it.nonnull(); it.inc()) groups.push_back(objOf(it));
  EXPECT_EQ(groups, (std::vector<std::optional<int>>{1, std::nullopt, 4, 5}));

  UniqueIter again(Introspection::genericIfIterator(*h, nullptr, EntryHandleAttr::pendingEntry));
  h->pendingEntryDelAll();  // emptied under a live iterator (no observer: a bulk clear)
  EXPECT_FALSE(objOf(again));
  again.inc();
  EXPECT_FALSE(again.nonnull());
}

TEST_F(Iteration, OnlyCollectionsViewsAndQueuesCanBeWalked) {
  for (Quill::AttrId attr : {TableAttr::entryInHwTable, TableAttr::entrys, TableAttr::entryCommit,
                             TableAttr::cleanup, Quill::AttrId{600}}) {
    EXPECT_FALSE(Introspection::genericIfIterator(*table, nullptr, attr)) << attr;
  }
  auto h = table->entryHandleIs(1, table.get());
  EXPECT_FALSE(Introspection::genericIfIterator(*h, nullptr, EntryHandleAttr::key));
  Value entry = record(Entry());
  EXPECT_FALSE(typeData(kEntryType).genericIf->genericIfIterator({nullptr, &entry}, nullptr, 132));
  EXPECT_FALSE(typeData(kUtilType).genericIf->genericIfIterator({util, nullptr}, nullptr, 514));
}

TEST_F(Iteration, StoredCollectionIteratorsLiveInTheSlabAndAllGoBack) {
  programmed(1, 1);
  auto h = table->entryHandle(1);
  auto& slab = Quill::SlabAllocator::instance();
  const auto slabLive = slab.liveAllocations();
  const auto heapLive = Quill::heapFallbackAllocations();
  {
    std::vector<UniqueIter> its;
    for (Quill::AttrId attr : {TableAttr::resolvedEntry, TableAttr::syncedEntry, TableAttr::entryHandle,
                               TableAttr::unresolvedEntry, TableAttr::entry}) {
      its.emplace_back(Introspection::genericIfIterator(*table, nullptr, attr));
      ASSERT_TRUE(its.back()) << attr;
      // The view's iterator, like the queue's, comes from the heap.
      EXPECT_EQ(slab.owns(its.back().raw().it), attr != TableAttr::entry) << attr;
    }
    its.emplace_back(Introspection::genericIfIterator(*h, nullptr, EntryHandleAttr::pendingEntry));
    EXPECT_FALSE(slab.owns(its.back().raw().it));
    EXPECT_EQ(slab.liveAllocations(), slabLive + 4);
  }
  EXPECT_EQ(slab.liveAllocations(), slabLive);
  EXPECT_EQ(Quill::heapFallbackAllocations(), heapLive);
}

}  // namespace
}  // namespace VelarL3Vfi::test
