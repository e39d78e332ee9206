// Restart reconciliation: reading the chip back, classifying the replayed
// entries against it, and init completion.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "PipelineFixture.h"

namespace VelarL3Vfi::pipeline {
namespace {

// A test whose chip lives in a file, so that a second table recovered from
// the same file finds what the first one programmed.
class Restart : public ChipTest {
 protected:
  Restart() { std::filesystem::remove(file_); }
  ~Restart() override { std::filesystem::remove(file_); }

  std::string file() const { return file_.string(); }

 private:
  std::filesystem::path file_ = std::filesystem::temp_directory_path() /
                                ("pipeline-restart-" + std::to_string(getpid()) + ".chip");
};

TEST_F(Restart, ReplayKeepsMatchingEntriesRewritesDifferingOnesAndWritesNewOnes) {
  // The previous incarnation: a first start, then 10, 11, 12, 14 and 15 are
  // programmed and confirmed. It is left alone afterwards, as an agent that
  // restarts runs no teardown of its tables.
  auto nexthopsBefore = Asic::NeededEntryTable::NeededEntryTableIs("nexthops-before");
  nexthopsBefore->readyIs(1, 7);
  nexthopsBefore->readyIs(2, 8);
  auto previous = tableOnChip(file());
  ASSERT_NE(chipOf(previous), nullptr);
  previous->syncEntries();
  previous->doInitComplete();
  auto p10 = previous->entryCommit(10, Entry(nexthopsBefore->handleIs(1), 3));
  auto p11 = previous->entryCommit(11, Entry(nexthopsBefore->handleIs(1), 4));
  auto p12 = previous->entryCommit(12, Entry(nexthopsBefore->handleIs(2), 6));
  auto p14 = previous->entryCommit(14, Entry(nexthopsBefore->handleIs(1), 1));
  auto p15 = previous->entryCommit(15, Entry(nexthopsBefore->handleIs(1), 2));
  ASSERT_EQ(chipOf(previous)->deliverAll(), 5u);

  // The agent restarts; of the next hops only 1 is back yet, 3 is being given
  // an index.
  nexthops->readyIs(1, 7);
  nexthops->handleIs(3)->entryStateIs(State::inProgress);
  table = tableOnChip(file());
  auto* chip = chipOf(table);
  ASSERT_NE(chip, nullptr);
  EXPECT_FALSE(table->configReplayComplete());
  TableTrace trace;

  table->syncEntries();
  EXPECT_EQ(takeCalls(chip), (Lines{"sync -> 5 entries"}));
  auto lines = trace.take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(kT + "syncEntries: swTableInstPtr:", 0), 0u) << lines[0];
  EXPECT_EQ(table->syncedEntrys(), 5u);
  EXPECT_EQ(table->syncedEntry(11).dvpNetworkGroup(), 4u);
  EXPECT_EQ(table->syncedEntry(11).localPortNextHop(), 7u);

  // As on the chip: compared, not written.
  auto h10 = table->entryCommit(10, Entry(nh(1), 3));
  EXPECT_EQ(takeCalls(chip), (Lines{"compare key=10 -> match"}));
  EXPECT_EQ(trace.take(), join(resolvedCommitLines(10, false), {kT + "handleEntry: reconcileStatus: matched"}));
  auto eh10 = table->entryHandle(10);
  EXPECT_EQ(eh10->hwIndex(), 10u);
  EXPECT_EQ(eh10->entryState(), State::indexReconciled);
  EXPECT_EQ(eh10->resolvedEntryState(), State::indexReconciled);
  EXPECT_FALSE(table->syncedEntryHas(10));

  // Different on the chip: rewritten in place; its index user is already counted.
  auto h11 = table->entryCommit(11, Entry(nh(1), 5));
  EXPECT_EQ(takeCalls(chip), (Lines{"compare key=11 -> mismatch", "write key=11 group=5 nextHop=7"}));
  EXPECT_EQ(trace.take(), join(join(resolvedCommitLines(11, false), {kT + "handleEntry: reconcileStatus: mismatched"}),
                               programLines(11, State::indexReconciled)));
  auto eh11 = table->entryHandle(11);
  EXPECT_EQ(eh11->hwIndex(), 11u);
  EXPECT_EQ(eh11->entryState(), State::indexReconciled);
  EXPECT_EQ(eh11->resolvedEntryState(), State::indexReconciled);
  EXPECT_FALSE(table->syncedEntryHas(11));
  EXPECT_FALSE(table->reconcilingHwEntry()) << "cleared once the entry is handled";

  // Not on the chip: written as new, without asking the chip to compare.
  auto h13 = table->entryCommit(13, Entry(nh(1), 2));
  EXPECT_EQ(takeCalls(chip), (Lines{"tracker key=13 op=0", "write key=13 group=2 nextHop=7"}));
  EXPECT_EQ(trace.take(), join(join(resolvedCommitLines(13, false), {kT + "handleEntry: reconcileStatus: missing"}),
                               programLines(13, State::inProgress)));
  EXPECT_EQ(table->entryHandle(13)->entryState(), State::inProgress);

  // Waiting for a next hop that is not back: the index the chip uses for it
  // is suggested to the next hop's table.
  const Entry waiting(nh(2), 6);
  auto h12 = table->entryCommit(12, waiting);
  EXPECT_TRUE(takeCalls(chip).empty());
  EXPECT_EQ(trace.take(), (Lines{kT + "entryCommit : Writing new entry at key: 12",
                                 kT + "initUnresolvedEntry: key:12",
                                 kT + "suggestIndexToNeededTable: swEntry:" + text(waiting) +
                                     ", syncedEntry:" + text(table->syncedEntry(12))}));
  EXPECT_EQ(nexthops->handle(2)->indexSuggestions(), (std::vector<std::set<Asic::Index>>{{8}}));

  // A next hop past unresolved is traced but gets no suggestion.
  const Entry late(nh(3), 2);
  auto h15 = table->entryCommit(15, late);
  EXPECT_EQ(trace.take(), (Lines{kT + "entryCommit : Writing new entry at key: 15",
                                 kT + "initUnresolvedEntry: key:15",
                                 kT + "suggestIndexToNeededTable: swEntry:" + text(late) +
                                     ", syncedEntry:" + text(table->syncedEntry(15))}));
  EXPECT_TRUE(nexthops->handle(3)->indexSuggestions().empty());

  EXPECT_EQ(table->statistics().count(Status::matched), 1u);
  EXPECT_EQ(table->statistics().count(Status::mismatched), 1u);
  EXPECT_EQ(table->statistics().count(Status::missing), 1u);
  EXPECT_EQ(table->statistics().count(Status::deleted), 0u);

  // Init completion settles the copies of the entries that still wait; the
  // copy nobody committed again stays for the stale purge.
  table->doInitComplete();
  EXPECT_EQ(trace.take(), (Lines{kT + "doInitComplete"}));
  auto settled = takeCalls(chip);
  std::sort(settled.begin(), settled.end());
  EXPECT_EQ(settled, (Lines{"tracker key=12 op=2", "tracker key=15 op=2"}));
  EXPECT_TRUE(table->configReplayComplete());
  EXPECT_TRUE(table->writeResponseSm());
  EXPECT_EQ(table->statistics().count(Status::mismatched), 3u);
  EXPECT_EQ(table->syncedEntrys(), 1u);
  EXPECT_TRUE(table->syncedEntryHas(14));
  EXPECT_EQ(chip->slot(12).state, SimChip::SlotState::valid) << "the chip entry itself stays";
  EXPECT_EQ(table->entry(14), Entry()) << "a chip copy alone is no committed entry";
  EXPECT_EQ(walk(table->entryIteratorConst(14)), Keys{});
  const auto all = walk(table->entryIteratorConst());
  EXPECT_EQ(std::set<std::uint32_t>(all.begin(), all.end()), (std::set<std::uint32_t>{10, 11, 12, 13, 15}));

  // The next hop comes back: written like a new entry, nothing more counted.
  nexthops->readyIs(2, 9);
  Activity::runPending();
  EXPECT_EQ(takeCalls(chip), (Lines{"tracker key=12 op=0", "write key=12 group=6 nextHop=9"}));
  EXPECT_EQ(table->statistics().count(Status::missing), 1u);
  EXPECT_EQ(table->statistics().count(Status::mismatched), 3u);
  for (std::uint32_t key : {10u, 11u, 12u, 13u, 14u}) EXPECT_EQ(chip->trackerCount(key), 1u) << key;
  EXPECT_EQ(chip->trackerCount(15), 0u) << "given up until 15 resolves";
  for (const auto& fault : chip->faults()) ADD_FAILURE() << fault.line();

  EXPECT_EQ(chip->deliverAll(), 3u);
  for (std::uint32_t key : {11u, 12u, 13u}) {
    EXPECT_EQ(table->entryHandle(key)->resolvedEntryState(), State::success) << key;
    EXPECT_EQ(table->entryHandle(key)->entryState(), State::success) << key;
  }
  table = nullptr;
}

TEST_F(ChipTest, DeletesAreCountedOnlyDuringTheReplay) {
  table = tableOnChip("");
  auto* chip = chipOf(table);
  ASSERT_NE(chip, nullptr);
  table->syncEntries();
  auto h5 = table->entryCommit(5, Entry(nullptr, 1));
  LocalDvpTable::Accessor(table.get()).deleteResolvedEntry(5);
  EXPECT_EQ(takeCalls(chip), (Lines{"sync -> 0 entries", "tracker key=5 op=0", "write key=5 group=1 nextHop=0",
                                    "tracker key=5 op=2", "delete key=5"}));
  EXPECT_EQ(table->statistics().count(Status::missing), 1u);
  EXPECT_EQ(table->statistics().count(Status::deleted), 1u);

  table->doInitComplete();
  EXPECT_TRUE(takeCalls(chip).empty()) << "nothing waits, nothing to settle";
  auto h6 = table->entryCommit(6, Entry(nullptr, 1));
  LocalDvpTable::Accessor(table.get()).deleteResolvedEntry(6);
  EXPECT_EQ(takeCalls(chip), (Lines{"tracker key=6 op=0", "write key=6 group=1 nextHop=0", "tracker key=6 op=2",
                                    "delete key=6"}));
  EXPECT_EQ(table->statistics().count(Status::missing), 1u);
  EXPECT_EQ(table->statistics().count(Status::deleted), 1u);
}

}  // namespace
}  // namespace VelarL3Vfi::pipeline
