// The road of a committed entry to the chip after the replay: commit,
// waiting for the next hop, resolution, programming and the chip's answer.
#include "PipelineFixture.h"

namespace VelarL3Vfi::pipeline {
namespace {

TEST_F(Pipeline, ReadyNextHopResolvesAndWritesInsideTheCommit) {
  nexthops->readyIs(1, 7);
  TableTrace trace;
  auto committed = table->entryCommit(5, Entry(nh(1), 3));

  EXPECT_EQ(calls(), (Lines{"tracker key=5 op=0", "write key=5 group=3 nextHop=7"}));
  EXPECT_EQ(trace.take(), join(resolvedCommitLines(5, true), programLines(5, State::inProgress)));
  EXPECT_EQ(committed->useCount(), 2u) << "the table's use and the returned one, no extra use";
  auto eh = table->entryHandle(5);
  ASSERT_TRUE(eh);
  EXPECT_EQ(committed.get(), eh.get());
  EXPECT_EQ(eh->entryType(), Type::committed);
  EXPECT_EQ(eh->entryState(), State::inProgress);
  EXPECT_EQ(eh->resolvedEntryState(), State::inProgress);
  EXPECT_EQ(table->unresolvedEntrys(), 0u);
  ASSERT_TRUE(table->resolvedEntry(5).present());
  EXPECT_EQ(table->resolvedEntry(5)->localPortNextHop(), 7u) << "filled in from the next hop";
  EXPECT_EQ(chip->slot(5), (SimChip::Slot{SimChip::SlotState::valid, 7, 3}));

  // The same value again (localPortNextHop is not part of the value).
  const Entry again(nh(1), 3, 99);
  const auto uses = eh->useCount();
  auto repeated = table->entryCommit(5, again);
  EXPECT_EQ(repeated.get(), eh.get());
  EXPECT_EQ(trace.take(),
            (Lines{kT + "entryCommit : Found already existing resolved entry at key : 5, entry : " +
                   text(again)}));
  EXPECT_TRUE(calls().empty()) << "a repeated commit programs nothing";
  EXPECT_EQ(eh->entryState(), State::inProgress);
  EXPECT_EQ(eh->useCount(), uses + 1) << "only the returned use is new";
}

TEST_F(Pipeline, ChipConfirmationSettlesTheHandle) {
  nexthops->readyIs(1, 7);
  auto committed = table->entryCommit(5, Entry(nh(1), 3));
  auto eh = table->entryHandle(5);
  EXPECT_EQ(eh->hwIndex(), Asic::kExhaustedIndex) << "no index before the chip answers";
  EXPECT_EQ(committed->hwIndexForDependentField(), Asic::kExhaustedIndex);

  EXPECT_EQ(chip->deliver(5), 1u);
  EXPECT_EQ(table->writeResponseSm()->responsesPassed(), 1u);
  EXPECT_EQ(eh->resolvedEntryState(), State::success);
  EXPECT_EQ(eh->entryState(), State::success) << "a confirmed write carries over to the entry state";
  EXPECT_EQ(eh->hwIndex(), 5u);
  EXPECT_EQ(committed->hwIndexForDependentField(), 5u) << "dependent tables see the key as index";

  // With indices published in handles the write itself records the index.
  chip->hwIndexInEntryHandleIs(true);
  auto other = table->entryCommit(6, Entry(nh(1), 4));
  EXPECT_EQ(other->hwIndex(), 6u);
  EXPECT_EQ(other->resolvedEntryState(), State::inProgress);
}

TEST_F(Pipeline, WaitingEntryResolvesOnceItsNextHopIsReady) {
  TableTrace trace;
  auto committed = table->entryCommit(6, Entry(nh(2), 4));
  EXPECT_EQ(trace.take(), (Lines{kT + "entryCommit : Writing new entry at key: 6",
                                 kT + "initUnresolvedEntry: key:6"}));
  EXPECT_TRUE(calls().empty());
  auto eh = table->entryHandle(6);
  EXPECT_EQ(eh->entryType(), Type::committed);
  EXPECT_EQ(eh->entryState(), State::unresolved);
  EXPECT_FALSE(table->resolvedEntryHas(6));
  auto waiting = table->unresolvedEntry(6);
  ASSERT_TRUE(waiting);
  EXPECT_EQ(waiting->neededEntryHandleSms(), 1u);
  EXPECT_EQ(nexthops->handle(2)->watchers(), 1u);
  EXPECT_TRUE(nexthops->handle(2)->indexSuggestions().empty()) << "no suggestion after the replay";
  waiting = nullptr;

  nexthops->readyIs(2, 11);
  EXPECT_TRUE(calls().empty()) << "watchers answer from the activity loop only";
  Activity::runPending();
  EXPECT_EQ(calls(), (Lines{"tracker key=6 op=0", "write key=6 group=4 nextHop=11"}));
  EXPECT_EQ(trace.take(), join({kT + "doResolve: key:6", kT + "handleEntry key: 6, configReplayComplete: 1"},
                               programLines(6, State::inProgress)));
  EXPECT_EQ(table->unresolvedEntrys(), 0u);
  EXPECT_EQ(nexthops->handle(2)->watchers(), 0u);
  EXPECT_EQ(eh->entryState(), State::inProgress);
}

TEST_F(Pipeline, WaitingEntrySurvivesAFailedNextHop) {
  auto committed = table->entryCommit(7, Entry(nh(3), 2));
  nexthops->failedIs(3);
  Activity::runPending();
  auto eh = table->entryHandle(7);
  EXPECT_EQ(eh->entryState(), State::failedNeededEntry);
  EXPECT_EQ(table->unresolvedEntrys(), 1u) << "the entry keeps waiting";
  EXPECT_EQ(table->entry(7), Entry(nh(3), 2));
  EXPECT_TRUE(calls().empty());

  nexthops->readyIs(3, 12);
  Activity::runPending();
  EXPECT_EQ(calls(), (Lines{"tracker key=7 op=0", "write key=7 group=2 nextHop=12"}));
  EXPECT_EQ(eh->entryState(), State::inProgress);
  EXPECT_EQ(table->unresolvedEntrys(), 0u);
}

TEST_F(Pipeline, NextHopStateDecidesWhetherTheCommitWaits) {
  auto reconciled = nexthops->handleIs(10);  // reconciled, but without index
  reconciled->entryStateIs(State::indexReconciled);
  auto noIndex = nexthops->handleIs(11);
  noIndex->entryStateIs(State::success);
  auto busy = nexthops->handleIs(12);
  busy->hwIndexIs(40);
  busy->entryStateIs(State::inProgress);

  auto h1 = table->entryCommit(1, Entry(reconciled, 1));
  auto h2 = table->entryCommit(2, Entry(noIndex, 1));
  auto h3 = table->entryCommit(3, Entry(busy, 1));
  auto h4 = table->entryCommit(4, Entry(nullptr, 1, 33));
  EXPECT_EQ(calls(), (Lines{"tracker key=1 op=0", "write key=1 group=1 nextHop=4294967295",
                            "tracker key=4 op=0", "write key=4 group=1 nextHop=33"}))
      << "a reconciled next hop and a null one resolve at once; a null one keeps the given index";
  EXPECT_TRUE(table->unresolvedEntry(2)) << "success without an index is not usable";
  EXPECT_TRUE(table->unresolvedEntry(3)) << "an index in progress is not usable";

  // Once indices are published in handles, a valid index is enough.
  chip->hwIndexInEntryHandleIs(true);
  auto h5 = table->entryCommit(5, Entry(busy, 2));
  EXPECT_EQ(calls(), (Lines{"tracker key=5 op=0", "write key=5 group=2 nextHop=40"}));
}

// A resolved, then B (waiting), B again, then A again: one handle throughout,
// and the last commit falls back to the resolved A without touching the chip.
TEST_F(Pipeline, SupersedingCommitsFallBackToTheResolvedValue) {
  nexthops->readyIs(1, 7);
  const Entry a(nh(1), 3);
  const Entry b(nh(2), 4);
  auto ha = table->entryCommit(5, a);
  ASSERT_EQ(chip->deliver(5), 1u);
  calls();
  auto eh = table->entryHandle(5);
  TableTrace trace;

  auto hb = table->entryCommit(5, b);
  EXPECT_EQ(eh->entryState(), State::unresolved);
  EXPECT_EQ(table->entry(5), b) << "the waiting value hides the resolved one";
  ASSERT_TRUE(table->resolvedEntry(5).present());
  EXPECT_EQ(*table->resolvedEntry(5), a) << "A stays resolved until B resolves";
  auto waiting = table->unresolvedEntry(5);
  auto hb2 = table->entryCommit(5, b);
  EXPECT_EQ(table->unresolvedEntry(5).get(), waiting.get()) << "a repeated waiting value creates nothing";
  EXPECT_EQ(waiting->neededEntryHandleSms(), 1u);
  waiting = nullptr;

  auto ha2 = table->entryCommit(5, a);
  EXPECT_EQ(trace.take(),
            (Lines{kT + "entryCommit : Writing new entry at key: 5", kT + "initUnresolvedEntry: key:5",
                   kT + "entryCommit : Found existing unresolved entry at key : 5, entry : " + text(b),
                   kT + "entryCommit : Deleting existing unresolved entry at key : 5",
                   kT + "entryCommit : Found already existing resolved entry at key : 5, entry : " +
                       text(a)}));
  EXPECT_EQ(hb.get(), ha.get());
  EXPECT_EQ(hb2.get(), ha.get());
  EXPECT_EQ(ha2.get(), ha.get());
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(table->unresolvedEntrys(), 0u);
  EXPECT_EQ(nexthops->handle(2)->watchers(), 0u) << "B's watcher went with B";
  EXPECT_EQ(eh->entryState(), State::success) << "back to what the resolved entry reached";
  EXPECT_EQ(eh->pendingEntryCount(), 0u);
}

TEST_F(Pipeline, NewResolvedValueQueuesTheOldOneUntilTheChipConfirms) {
  nexthops->readyIs(1, 7);
  const Entry a(nh(1), 3);
  auto first = table->entryCommit(5, a);
  calls();
  auto second = table->entryCommit(5, Entry(nh(1), 9));
  EXPECT_EQ(calls(), (Lines{"write key=5 group=9 nextHop=7"})) << "a rewrite reports nothing to the tracker";
  auto eh = table->entryHandle(5);
  EXPECT_EQ(eh->pendingEntryCount(), 1u);
  EXPECT_EQ(eh->pendingEntry(1), a);
  EXPECT_EQ(eh->pendingEntry(1).localPortNextHop(), 7u) << "queued as it was written";
  EXPECT_EQ(chip->deliverAll(), 2u);
  EXPECT_EQ(eh->pendingEntryCount(), 0u) << "the confirmation empties the queue";
  EXPECT_EQ(eh->entryState(), State::success);

  // A default previous value (no next hop, group 0) is not queued.
  auto blank = table->entryCommit(6, Entry(nullptr, 0, 5));
  auto filled = table->entryCommit(6, Entry(nullptr, 2));
  EXPECT_EQ(table->entryHandle(6)->pendingEntryCount(), 0u);
}

TEST_F(Pipeline, CommitPromotesAReferenceOnlyHandleWithAnExtraUse) {
  auto ref = table->getEntryHandle(8);
  ASSERT_TRUE(ref);
  EXPECT_EQ(ref->entryType(), Type::referenceOnly);
  const auto before = ref->useCount();
  auto committed = table->entryCommit(8, Entry(nullptr, 2));
  EXPECT_EQ(committed.get(), ref.get());
  EXPECT_EQ(ref->entryType(), Type::committed);
  EXPECT_EQ(ref->useCount(), before + 2) << "the returned use and the commit's own";
  auto again = table->entryCommit(8, Entry(nullptr, 2));
  EXPECT_EQ(ref->useCount(), before + 3) << "a committed handle gets no further extra use";
  EXPECT_EQ(calls(), (Lines{"tracker key=8 op=0", "write key=8 group=2 nextHop=0"}));
}

TEST_F(Pipeline, TheExhaustedKeyIsNeverWritten) {
  constexpr std::uint32_t kNone = Asic::kExhaustedIndex;
  const std::string k = std::to_string(kNone);
  TableTrace trace;
  auto committed = table->entryCommit(kNone, Entry(nullptr, 1));
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(trace.take(), join(resolvedCommitLines(kNone, true),
                               {kT + "programHwEntry key: " + k + ", entryState:inProgress",
                                kT + "traceHwIndex Acquired hwIndex : " + k}));
  auto eh = table->entryHandle(kNone);
  EXPECT_EQ(eh->resolvedEntryState(), State::indexExhausted);
  EXPECT_EQ(eh->hwIndex(), Asic::kExhaustedIndex);

  auto replaced = table->entryCommit(kNone, Entry(nullptr, 2));
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(eh->resolvedEntryState(), State::indexExhausted);
  trace.take();

  LocalDvpTable::Accessor(table.get()).deleteResolvedEntry(kNone);
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(trace.take(), (Lines{kT + "handleEntry key: " + k + ", configReplayComplete: 1",
                                 kT + "traceHwIndex Acquired hwIndex : " + k,
                                 kT + "handleEntryNo entry in HwTable for this key. Skip delete"}));
  EXPECT_TRUE(chip->faults().empty());
}

}  // namespace
}  // namespace VelarL3Vfi::pipeline
