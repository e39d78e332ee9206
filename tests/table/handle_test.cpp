// What the model check cannot see from outside: the delete dance in the
// variants the agent's commands cannot make (a confirmation from inside the
// write, teardown under a held handle, a handle made outside the table), its
// traces, when the cleanups of a bulk handle removal run, how entryInHwTable
// reads a handle's resolved-entry state, that a removed waiting entry stops
// watching, how the programmed-state switch reads its variable, and how
// adaptors are allocated.
#include <gtest/gtest.h>

#include <algorithm>

#include "AsicSwTable/ProgrammedStateSwitch.h"
#include "tests/support/LeakChecked.h"

namespace VelarTest {
namespace {

using RemoveAll = LeakChecked;

// Every visited handle stays in use until the pass is over: all removals
// come first, then the cleanups they caused (the delete dances here).
TEST_F(RemoveAll, RunsTheCleanupsItDefersOnlyAfterItsPass) {
  ChipTable t;
  for (std::uint32_t key = 1; key <= 3; ++key) t.programmed(key, 1);
  TraceCapture trace(1u << 5 | 1u << 6);
  t->entryHandleRemoveAll(false);
  const Lines lines = trace.take();
  auto isRemoval = [](const std::string& l) { return l.find("entryRemove : Removing entry") != std::string::npos; };
  auto isCleanup = [](const std::string& l) { return l.find(" : entryhandle cleanup") != std::string::npos; };
  const auto lastRemoval = std::find_if(lines.rbegin(), lines.rend(), isRemoval).base();
  const auto firstCleanup = std::find_if(lines.begin(), lines.end(), isCleanup);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isRemoval), 3);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isCleanup), 3);
  EXPECT_LE(lastRemoval - lines.begin(), firstCleanup - lines.begin()) << ::testing::PrintToString(lines);
  for (std::uint32_t key = 1; key <= 3; ++key) EXPECT_EQ(t->entryHandle(key)->entryType(), EntryHandle::inDeletion());
  t.settle();
  EXPECT_EQ(t->entrys(), 0u);
}

TEST(EntryInHwTable, FollowsTheResolvedEntryState) {
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  auto h = table->entryHandleIs(1, table.get());
  h->swTableIs(nullptr);  // cut loose: the state hooks leave the table alone
  for (auto [state, inHw] : {std::pair{State::unresolved, false}, {State::inProgress, true},
                             {State::indexReconciled, true}, {State::state3, false}, {State::success, true},
                             {State::failedNeededEntry, false}, {State::indexExhausted, false}}) {
    h->resolvedEntryStateIs(state);
    EXPECT_EQ(table->entryInHwTable(1), inHw) << state;
  }
  EXPECT_FALSE(table->entryInHwTable(2));
}

TEST(ProgrammedStateSwitch, IsOnForANonZeroDecimalNumberModulo2To32) {
  const std::pair<std::optional<std::string_view>, bool> cases[] = {
      {std::nullopt, false}, {"", false},         {"0", false},       {"yes", false},
      {"4294967296", false}, {"1", true},         {"4294967297", true}, {"12abc", true},
      {" \t+1", true},       {"-1", true},        {"-4294967296", false}, {"+-1", false},
  };
  for (const auto& [value, on] : cases) EXPECT_EQ(Asic::programmedStateSwitchValue(value), on) << value.value_or("unset");
}

// The pending queue's front is its oldest value, its back the newest.
TEST(PendingQueue, FrontIsTheOldestValueAndBackTheNewest) {
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  auto h = table->entryHandleIs(1, table.get());
  h->pendingEntryEnq(Entry(nullptr, 1));
  h->pendingEntryEnq(Entry(nullptr, 2));
  EXPECT_EQ(h->pendingEntryFront(), Entry(nullptr, 1));
  EXPECT_EQ(h->pendingEntryBack(), Entry(nullptr, 2));
}

// A restart reads the chip back up to its highest index.
using Restart = LeakChecked;

TEST_F(Restart, ReadsBackTheChipUpToItsHighestIndex) {
  TempDir dir;
  {
    ChipTable first(dir.file("chip"), false, 8);
    first.programmed(0, 1);
    first.programmed(7, 2);
  }
  ChipTable second(dir.file("chip"), true, 8);
  EXPECT_EQ(second->syncedEntrys(), 2u);
  EXPECT_TRUE(second->syncedEntryHas(7));
}

// An entry that left the table stops watching its next hop, even while
// something still holds it: the next hop becoming usable brings nothing back.
using Waiting = LeakChecked;

TEST_F(Waiting, AnEntryThatLeftTheTableStopsWatchingEvenWhileHeld) {
  ChipTable t;
  t->entryCommit(5, Entry(t.nextHops->handleIs(2), 1));
  const Quill::Ptr<LocalDvpTable::UnresolvedEntry> held = t->unresolvedEntry(5);
  ASSERT_NE(held, nullptr);
  t->entryRemove(5);
  t.nextHop(2, 72);
  t.settle();
  EXPECT_FALSE(t->entryHas(5));
  EXPECT_TRUE(t.calls().empty());
}

// An adaptor of any size is counted while it lives, and one may live until
// the process exits.
TEST(UtilAllocation, AdaptorsOfAnySizeAreCountedAndMayLiveUntilExit) {
  struct LargeUtil : RecordingUtil {
    char state[8192] = {};
  };
  auto& tracker = LocalDvpTable::Util::memAllocationTracker_;
  const auto before = tracker.live();
  Quill::Ptr<LargeUtil> large(new LargeUtil());
  Quill::Ptr<RecordingUtil> small(new RecordingUtil());
  EXPECT_EQ(tracker.live(), before + 2);
  large = nullptr;
  small = nullptr;
  EXPECT_EQ(tracker.live(), before);
  EXPECT_EXIT(
      {
        static const Quill::Ptr<LargeUtil> keptLarge(new LargeUtil());
        static const Quill::Ptr<RecordingUtil> kept(new RecordingUtil());
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// --- the delete dance -------------------------------------------------------

using Dance = LeakChecked;

const std::string kT = "VelarL3Vfi::LocalDvpTable : cleanup ";

Lines danceLines(TraceCapture& trace) {
  Lines lines;
  for (auto& line : trace.take()) {
    if (line.find("dance") != std::string::npos) lines.push_back(line);
  }
  return lines;
}

// An adaptor that confirms every write from inside hwTableEntryIs.
class ConfirmingUtil : public RecordingUtil {
 public:
  void hwTableEntryIs(LocalDvpTable* table, Index key, const Kiv::Optional<Entry>& e) const override {
    RecordingUtil::hwTableEntryIs(table, key, e);
    const Asic::WriteResponseRecord response{key.value, key.value};
    table->hwWriteResponseIs(&response, sizeof response);
  }
};

// The whole dance runs inside the removal when the hardware confirms at
// once: the handle's cleanup runs a second time after the collection let it
// go, notes the end and frees the handle.
TEST_F(Dance, ConfirmedInsideTheWriteItEndsInsideTheRemoval) {
  Quill::Ptr<LocalDvpTable> table(new LocalDvpTable());
  Quill::Ptr<ConfirmingUtil> util(new ConfirmingUtil());
  table->utilIs(util);
  table->configReplayCompleteIs(true);
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHops");
  nextHops->readyIs(1, 70);
  table->entryCommit(20, Entry(nextHops->handleIs(1), 3));
  EXPECT_EQ(table->entryHandle(20)->entryState(), State::success);
  util->calls.clear();
  TraceCapture trace(1u << 6);
  table->entryRemove(20);
  EXPECT_EQ(util->calls, (Lines{"tracker 20 op 3", "write 20 absent", "tracker 20 op 4", "delete 20"}));
  EXPECT_EQ(table->entrys(), 0u);
  EXPECT_FALSE(table->resolvedEntryHas(20));
  EXPECT_EQ(danceLines(trace), (Lines{kT + "begin delete dance, key : 20", kT + "delete dance complete, key : 20"}));
  table = nullptr;
}

// Handles that outlive their table, whether they left its collection or
// were never in it, are cut loose at teardown: their release touches
// nothing.
TEST_F(Dance, HandlesOutsideTheTableAreCutLooseAtTeardown) {
  ChipTable t;
  t.programmed(6, 1);
  t->entryRemove(6);
  auto leftTheTable = t->getEntryHandle(6);
  t.settle();
  auto madeOutside = EntryHandle::EntryHandleIs(9, t.table.get());
  EXPECT_EQ(t->detachedHandles(), 2u);
  t.table = nullptr;
  TraceCapture trace(0x3FF);
  EXPECT_EQ(static_cast<const EntryHandle*>(leftTheTable.get())->swTable(), nullptr);
  EXPECT_EQ(madeOutside->swTable(), nullptr);
  leftTheTable = nullptr;
  madeOutside = nullptr;
  EXPECT_TRUE(trace.take().empty());
}

}  // namespace
}  // namespace VelarTest
