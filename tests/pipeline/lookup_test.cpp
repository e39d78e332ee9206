// The merged view of committed entries (waiting and resolved), and the
// table's stops on misuse of the pipeline.
#include <set>

#include "PipelineFixture.h"

namespace VelarL3Vfi::pipeline {
namespace {

TEST_F(Pipeline, LookupAndIterationMergeWaitingAndResolvedEntries) {
  auto empty = table->entryIteratorConst();
  EXPECT_TRUE(empty.isEnd());
  empty.advance();
  EXPECT_TRUE(empty.isEnd());

  nexthops->readyIs(1, 7);
  const Entry resolved(nh(1), 1);
  const Entry waiting(nh(2), 2);
  const Entry newer(nh(2), 3);
  const Entry gone(nh(1), 4);
  auto h1 = table->entryCommit(1, resolved);
  auto h2 = table->entryCommit(2, waiting);
  auto h3 = table->entryCommit(3, resolved);
  auto h3b = table->entryCommit(3, newer);  // resolved and waiting at once
  auto h4 = table->entryCommit(4, gone);
  calls();
  LocalDvpTable::Accessor(table.get()).setResolvedEntry(4, Kiv::Optional<Entry>());
  ASSERT_TRUE(table->resolvedEntryHas(4)) << "a slot without value, as in a delete";
  EXPECT_EQ(calls(), (Lines{"tracker key=4 op=3", "write key=4 absent"}));

  EXPECT_EQ(table->entry(1), resolved);
  EXPECT_EQ(table->entry(1).localPortNextHop(), 7u);
  EXPECT_EQ(table->entry(2), waiting);
  EXPECT_EQ(table->entry(3), newer) << "the waiting value hides the resolved one";
  EXPECT_EQ(table->entry(4), Entry()) << "a slot without value is no entry";
  EXPECT_EQ(table->entry(99), Entry());

  const auto all = walk(table->entryIteratorConst());
  ASSERT_EQ(all.size(), 3u) << ::testing::PrintToString(all);
  EXPECT_EQ(std::set<std::uint32_t>(all.begin(), all.begin() + 2), (std::set<std::uint32_t>{2, 3}))
      << "waiting entries first";
  EXPECT_EQ(all[2], 1u);
  for (auto it = table->entryIteratorConst(); !it.isEnd(); it.advance()) {
    EXPECT_EQ(it.entry(), table->entry(it.key())) << it.key();
    EXPECT_EQ(it.entry().localPortNextHop(), table->entry(it.key()).localPortNextHop()) << it.key();
  }

  EXPECT_EQ(walk(table->entryIteratorConst(1)), Keys{1}) << "a resolved start stays resolved";
  const auto from2 = walk(table->entryIteratorConst(2));
  ASSERT_FALSE(from2.empty());
  EXPECT_EQ(from2.front(), 2u);
  EXPECT_EQ(from2.back(), 1u) << "the rest of the waiting entries, then the resolved ones";
  EXPECT_LE(from2.size(), 3u);
  EXPECT_EQ(walk(table->entryIteratorConst(4)), Keys{});
  EXPECT_EQ(walk(table->entryIteratorConst(99)), Keys{}) << "no scanning to the next key";

  // A commit over a slot without value is a new entry, written into that slot.
  auto h4b = table->entryCommit(4, gone);
  EXPECT_EQ(calls(), (Lines{"tracker key=4 op=1", "write key=4 group=4 nextHop=7"}));
  EXPECT_EQ(table->entry(4), gone);
  EXPECT_TRUE(chip->faults().empty());
}

class PipelineDeathTest : public Pipeline {};

TEST_F(PipelineDeathTest, SyncAfterAResolvedEntryStops) {
  auto committed = table->entryCommit(5, Entry(nullptr, 1));
  EXPECT_DEATH(table->syncEntries(), "assertion \"!swTable_->resolvedEntrys\\(\\)\" failed");
}

TEST_F(PipelineDeathTest, SyncWithoutHardwareTableStops) {
  Quill::Ptr<LocalDvpTable> bare(new LocalDvpTable());
  EXPECT_DEATH(bare->syncEntries(), "assertion \"hwTable\\(\\)\" failed");
}

TEST_F(PipelineDeathTest, ResolvingAnEntryThatStillWatchesStops) {
  auto committed = table->entryCommit(5, Entry(nh(2), 1));
  auto waiting = table->unresolvedEntry(5);
  ASSERT_TRUE(waiting);
  ASSERT_EQ(waiting->neededEntryHandleSms(), 1u);
  EXPECT_DEATH(waiting->doResolve(), "function should not have been called[^\"]*"
                                     "assertion \"ue->neededEntryHandleSms\\(\\) == 0\" failed");
}

}  // namespace
}  // namespace VelarL3Vfi::pipeline
