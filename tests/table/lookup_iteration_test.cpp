// The merged view of committed entries: waiting values hide resolved ones,
// empty resolved slots are no entries, every key is visited once.
#include <gtest/gtest.h>

#include <map>

#include "TableFixture.h"

namespace VelarL3Vfi::test {
namespace {

class LookupIteration : public ::testing::Test {
 protected:
  void waiting(std::uint32_t key, std::uint8_t group) {
    table->unresolvedEntryIs(key)->entryIs(Entry(nh, group));
  }
  void resolved(std::uint32_t key, std::uint8_t group) { table->resolvedEntryIs(key, Entry(nh, group)); }
  void empty(std::uint32_t key) { table->resolvedEntryIs(key, Kiv::Optional<Entry>()); }

  // key -> group for every position of an iterator, failing on a repeat.
  std::map<std::uint32_t, std::uint8_t> walk(LocalDvpTable::EntryIteratorConst it) {
    std::map<std::uint32_t, std::uint8_t> seen;
    for (; !it.isEnd(); it.advance()) {
      EXPECT_TRUE(seen.emplace(it.key().value, it.entry().dvpNetworkGroup()).second) << it.key();
      EXPECT_EQ(it.entry(), table->entry(it.key()));
    }
    return seen;
  }

  Quill::Ptr<LocalDvpTable> table = newTable();
  Quill::Ptr<const Asic::SwTableBase::EntryHandle> nh = neededHandle();
};

TEST_F(LookupIteration, WaitingValueHidesTheResolvedOneAndEmptySlotsAreSkipped) {
  resolved(1, 10);
  resolved(2, 20);
  waiting(2, 21);  // committed again, not resolved yet
  empty(3);
  waiting(4, 40);
  for (std::uint32_t k = 100; k < 140; ++k) empty(k);
  resolved(150, 50);

  EXPECT_EQ(table->entry(2).dvpNetworkGroup(), 21);
  EXPECT_EQ(table->entry(3), Entry());
  EXPECT_EQ(table->entry(99), Entry());
  EXPECT_EQ(walk(table->entryIteratorConst()),
            (std::map<std::uint32_t, std::uint8_t>{{1, 10}, {2, 21}, {4, 40}, {150, 50}}));
}

TEST_F(LookupIteration, IteratorAtAKeyStartsThereAndNeverScans) {
  resolved(1, 10);
  resolved(2, 20);
  waiting(5, 50);
  empty(3);
  EXPECT_TRUE(table->entryIteratorConst(3).isEnd());   // empty slot
  EXPECT_TRUE(table->entryIteratorConst(77).isEnd());  // nothing committed
  auto atWaiting = walk(table->entryIteratorConst(5));  // continues into the resolved phase
  EXPECT_EQ(atWaiting.size(), 3u);
  auto atResolved = table->entryIteratorConst(1);
  ASSERT_FALSE(atResolved.isEnd());
  EXPECT_FALSE(walk(atResolved).contains(5));  // never returns to the waiting phase
}

TEST_F(LookupIteration, EmptyTablesAndOnlyEmptySlotsGiveTheEnd) {
  auto it = table->entryIteratorConst();
  EXPECT_TRUE(it.isEnd());
  it.advance();
  EXPECT_TRUE(it.isEnd());
  empty(1);
  empty(2);
  EXPECT_TRUE(table->entryIteratorConst().isEnd());
  table->syncedEntryIs(9, Entry(nh, 9));  // the hardware's copies are not committed entries
  EXPECT_TRUE(table->entryIteratorConst().isEnd());
  EXPECT_EQ(table->entry(9), Entry());
}

}  // namespace
}  // namespace VelarL3Vfi::test
