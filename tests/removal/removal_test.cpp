// Entries leave: removal, the delete dance, confirmations of superseded
// values, removal during a restart's replay, teardown and bulk removal, all
// on the simulated chip.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "VelarL3Vfi/Library.h"
#include "platform/Activity/Activity.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Asic/NeededEntryTable.h"
#include "platform/Trace/TraceSink.h"
#include "simchip/SimChipControl.h"

namespace {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using EntryHandle = LocalDvpTable::EntryHandle;
using State = Asic::SwTableBase::EntryState;
using Lines = std::vector<std::string>;
const std::string kT = "VelarL3Vfi::LocalDvpTable : ";

Quill::Ptr<LocalDvpTable> tableOnChip(const std::string& location) {
  auto rg = Asic::HwTableRecoverGroup::HwTableRecoverGroupIs("recover");
  LocalDvpTable::doRecoverHwTable(rg, 0, Ledger::EntityManager::EntityManagerIs("ledger"),
                                  Asic::ChipInfo{0, location, 1024});
  return VelarL3Vfi::localDvpTableFactory();
}

class Removal : public ::testing::Test {
 protected:
  Removal() {
    table->configReplayCompleteIs(true);  // a running agent; restart cases say otherwise
    nextHops->readyIs(1, 70);
    chip->callLogClear();
  }
  ~Removal() override {
    table = nullptr;
    nh = nullptr;
    Activity::discardPending();
    Asic::AdaptorRegistry::instance().hwTableIs("VelarL3Vfi::LocalDvpTable", nullptr);
    LocalDvpTable::traceHandle().maskIs(0);
    // Every handle made in the test is gone with it.
    EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), handlesBefore);
  }

  Lines calls() {
    Lines lines;
    for (const auto& call : chip->callLog()) lines.push_back(call.line());
    chip->callLogClear();
    return lines;
  }
  // Commits a value with a ready next hop and confirms its write.
  void programmed(std::uint32_t key, std::uint8_t group) {
    table->entryCommit(key, Entry(nh, group));
    chip->deliverAll();
    calls();
  }

  std::size_t handlesBefore = EntryHandle::memAllocationTracker_.live();
  Quill::Ptr<LocalDvpTable> table = tableOnChip("");
  SimChip::Control* chip = dynamic_cast<SimChip::Control*>(table->util());
  Quill::Ptr<Asic::NeededEntryTable> nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Quill::Ptr<const Asic::SwTableBase::EntryHandle> nh{nextHops->handleIs(1)};
};

TEST_F(Removal, DeleteDanceRemovesTheHardwareEntryBeforeTheHandle) {
  programmed(5, 3);
  auto live = EntryHandle::memAllocationTracker_.live();
  LocalDvpTable::traceHandle().maskIs(1u << 6);
  Trace::CaptureSink trace;

  table->entryRemove(5);  // nobody else holds the handle: the dance starts at once
  EXPECT_EQ(calls(), (Lines{"tracker key=5 op=3", "write key=5 absent"}));
  auto eh = table->entryHandle(5);
  ASSERT_TRUE(eh);
  EXPECT_EQ(eh->entryType(), EntryHandle::inDeletion());
  EXPECT_EQ(eh->pendingEntryCount(), 1u);  // the last value, until the delete is confirmed
  EXPECT_FALSE(table->entryHas(5));
  eh = nullptr;

  chip->deliverAll();
  EXPECT_EQ(calls(), (Lines{"tracker key=5 op=4", "delete key=5"}));
  EXPECT_FALSE(table->entryHandleHas(5));
  EXPECT_FALSE(table->resolvedEntryHas(5));
  EXPECT_EQ(chip->slot(5).state, SimChip::SlotState::empty);
  EXPECT_EQ(chip->trackerCount(5), 0u);
  EXPECT_TRUE(chip->faults().empty());
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), live - 1);
  ASSERT_FALSE(trace.lines().empty());
  EXPECT_EQ(trace.lines().back(), kT + "cleanup delete dance complete, key : 5");
}

TEST_F(Removal, ADependentKeepsTheHardwareEntryUntilItLetsGo) {
  programmed(5, 3);
  auto dependent = table->getEntryHandle(5);
  table->entryRemove(5);
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(table->entryHandle(5)->entryType(), EntryHandle::referenceOnly());
  EXPECT_EQ(chip->slot(5).state, SimChip::SlotState::valid);

  dependent = nullptr;
  EXPECT_EQ(calls(), (Lines{"tracker key=5 op=3", "write key=5 absent"}));
  chip->deliverAll();
  EXPECT_FALSE(table->entryHandleHas(5));
}

TEST_F(Removal, CommittingAgainDuringTheDanceKeepsTheHandle) {
  programmed(5, 3);
  table->entryRemove(5);
  auto handle = table->entryCommit(5, Entry(nh, 4));  // the same handle, committed again
  EXPECT_EQ(handle->entryType(), EntryHandle::committed());
  chip->deliverAll();
  EXPECT_TRUE(table->entryHandleHas(5));
  EXPECT_EQ(table->entry(5), Entry(nh, 4));
  EXPECT_EQ(chip->slot(5).group, 4);
}

// The delete dance in its variants: traces of the dance (level 6), the
// adaptor's traffic, and every handle gone at the end (the fixture checks
// the handles' allocation tracker).
std::vector<std::string> danceLines(const Trace::CaptureSink& trace) {
  std::vector<std::string> lines;
  for (const auto& line : trace.lines()) {
    if (line.find("dance") != std::string::npos) lines.push_back(line);
  }
  return lines;
}

// An adaptor that confirms every write from inside hwTableEntryIs.
class ConfirmingUtil : public LocalDvpTable::Util {
 public:
  ConfirmingUtil() : LocalDvpTable::Util("confirming") {}
  std::uint32_t minIndex() const override { return 0; }
  std::uint32_t maxIndex() const override { return 1023; }
  void hwTableEntryIs(LocalDvpTable* table, Asic::SwTableBase::Index key,
                      const Kiv::Optional<Entry>& e) const override {
    calls.push_back("write " + std::to_string(key.value) + (e.present() ? "" : " absent"));
    const Asic::WriteResponseRecord response{key.value, key.value};
    table->hwWriteResponseIs(&response, sizeof response);
  }
  void hwTableEntryDel(LocalDvpTable*, Asic::SwTableBase::Index key) const override {
    calls.push_back("delete " + std::to_string(key.value));
  }
  void updateHwIndexRefCountTracker(Asic::HwTable*, Asic::SwTableBase::Index key,
                                    Asic::IndexUserTracker::OpType op) const override {
    calls.push_back("tracker " + std::to_string(key.value) + " op=" + std::to_string(static_cast<int>(op)));
  }
  bool compareHwEntries(LocalDvpTable*, Asic::SwTableBase::Index, const Entry&) const override { return false; }
  void syncEntries(Asic::HwTable*, const Quill::Ptr<LocalDvpTable>&) const override {}

  mutable Lines calls;
};

// The whole dance runs inside the removal when the hardware confirms at
// once: the handle's cleanup runs a second time after the collection let it
// go, notes the end and frees it.
TEST_F(Removal, ADanceConfirmedInsideTheWriteEndsInsideTheRemoval) {
  Quill::Ptr<LocalDvpTable> own(new LocalDvpTable());
  Quill::Ptr<ConfirmingUtil> util(new ConfirmingUtil());
  own->utilIs(util);
  own->configReplayCompleteIs(true);
  own->entryCommit(5, Entry(nh, 3));
  EXPECT_EQ(own->entryHandle(5)->entryState(), State::success);
  util->calls.clear();
  LocalDvpTable::traceHandle().maskIs(1u << 6);
  Trace::CaptureSink trace;

  own->entryRemove(5);
  EXPECT_EQ(util->calls, (Lines{"tracker 5 op=3", "write 5 absent", "tracker 5 op=4", "delete 5"}));
  EXPECT_FALSE(own->entryHandleHas(5));
  EXPECT_FALSE(own->resolvedEntryHas(5));
  EXPECT_EQ(danceLines(trace),
            (Lines{kT + "cleanup begin delete dance, key : 5", kT + "cleanup delete dance complete, key : 5"}));
}

// A dependent that takes a reference while the dance runs holds the handle
// past its end: the confirmation takes it out of the table and deletes the
// hardware entry, and the dependent's release notes the end.
TEST_F(Removal, AReferenceTakenDuringTheDanceHoldsTheHandleOutsideTheTable) {
  programmed(6, 1);
  LocalDvpTable::traceHandle().maskIs(1u << 6);
  Trace::CaptureSink trace;
  table->entryRemove(6);
  auto dependent = table->getEntryHandle(6);
  EXPECT_EQ(dependent->entryType(), EntryHandle::inDeletion());
  chip->deliverAll();
  EXPECT_EQ(calls(), (Lines{"tracker key=6 op=3", "write key=6 absent", "tracker key=6 op=4", "delete key=6"}));
  EXPECT_EQ(table->entrys(), 0u);
  EXPECT_EQ(table->detachedHandles(), 1u);
  EXPECT_EQ(danceLines(trace), (Lines{kT + "cleanup begin delete dance, key : 6"}));

  dependent = nullptr;
  EXPECT_EQ(danceLines(trace).back(), kT + "cleanup delete dance complete, key : 6");
  EXPECT_EQ(table->detachedHandles(), 0u);
  EXPECT_TRUE(calls().empty());
}

// The key is committed again while a dependent still holds its old handle:
// the new handle owns the key, and the old one's release leaves the new
// value, on the chip and in the table, alone.
TEST_F(Removal, ACommitWhileTheOldHandleIsHeldKeepsTheNewValue) {
  programmed(6, 1);
  table->entryRemove(6);
  auto dependent = table->getEntryHandle(6);
  chip->deliverAll();
  table->entryCommit(6, Entry(nh, 2));
  chip->deliverAll();
  calls();
  LocalDvpTable::traceHandle().maskIs(1u << 6);
  Trace::CaptureSink trace;

  dependent = nullptr;
  EXPECT_EQ(danceLines(trace), (Lines{kT + "cleanup delete dance complete, key : 6"}));
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(table->entry(6), Entry(nh, 2));
  EXPECT_EQ(table->entryHandle(6)->entryType(), EntryHandle::committed());
  EXPECT_EQ(chip->slot(6), (SimChip::Slot{SimChip::SlotState::valid, 70, 2}));
  EXPECT_EQ(chip->trackerCount(6), 1u);
  EXPECT_TRUE(chip->faults().empty());
}

// Handles that outlive their table, whether they left its collection or
// were never in it, are cut loose at teardown: their release touches
// nothing.
TEST_F(Removal, HandlesOutsideTheTableAreCutLooseAtTeardown) {
  programmed(6, 1);
  table->entryRemove(6);
  auto leftTheTable = table->getEntryHandle(6);
  chip->deliverAll();
  auto madeOutside = EntryHandle::EntryHandleIs(9, table.get());
  EXPECT_EQ(table->detachedHandles(), 2u);
  calls();
  LocalDvpTable::traceHandle().maskIs(1u << 6);
  table = nullptr;
  Trace::CaptureSink trace;
  EXPECT_EQ(static_cast<EntryHandle*>(leftTheTable.get())->swTable(), nullptr);
  EXPECT_EQ(madeOutside->swTable(), nullptr);
  leftTheTable = nullptr;
  madeOutside = nullptr;
  EXPECT_TRUE(trace.lines().empty());
}

TEST_F(Removal, SupersededValuesWaitUntilTheHardwareConfirms) {
  auto handle = table->entryCommit(5, Entry(nh, 1));
  auto eh = table->entryHandle(5);
  table->entryCommit(5, Entry(nh, 2));  // resolves at once: value 1 waits on the queue
  EXPECT_EQ(eh->pendingEntryCount(), 1u);
  EXPECT_EQ(eh->pendingEntry(1), Entry(nh, 1));
  chip->deliverAll();
  EXPECT_EQ(eh->pendingEntryCount(), 0u);
  EXPECT_EQ(eh->entryState(), State::success);

  // A confirmation that arrives after a newer commit still waiting for its
  // next hop leaves the entry unresolved.
  auto later = nextHops->handleIs(2);
  table->entryCommit(5, Entry(later, 3));
  table->entryCommit(6, Entry(nh, 1));
  EXPECT_EQ(eh->entryState(), State::unresolved);
  chip->deliverAll();
  EXPECT_EQ(eh->entryState(), State::unresolved);
  EXPECT_EQ(eh->resolvedEntryState(), State::success);
}

TEST_F(Removal, RemovingAWaitingEntryRemovesTheKeyWithoutHardware) {
  table->entryCommit(8, Entry(nextHops->handleIs(2), 1));  // the next hop is not ready
  ASSERT_TRUE(table->unresolvedEntry(8));
  table->entryRemove(8);
  EXPECT_FALSE(table->unresolvedEntry(8));
  EXPECT_FALSE(table->entryHandleHas(8));
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(nextHops->handle(2)->watchers(), 0u);
}

TEST_F(Removal, RemovingTwiceOrAnUnknownKeyIsTraced) {
  programmed(5, 3);
  LocalDvpTable::traceHandle().maskIs(1u << 5);
  Trace::CaptureSink trace;
  auto holder = table->getEntryHandle(5);  // keeps the handle in place between the calls
  table->entryRemove(5);
  table->entryRemove(5);
  table->entryRemove(9);
  EXPECT_EQ(trace.lines(), (Lines{kT + "entryRemove: key:5, entryType:2, refCnt:3",
                                  kT + "entryRemove : Removing entry at key : 5",
                                  kT + "entryRemove: key:5, entryType:1, refCnt:2",
                                  kT + "entryRemove : Found no committed entry at key : 5",
                                  kT + "entryRemove: key:9, entryType:-1, refCnt:0",
                                  kT + "entryRemove : Found no committed entry at key : 9"}));
}

TEST_F(Removal, TeardownCutsHandlesLooseThatDependentsStillHold) {
  programmed(5, 3);
  auto dependent = table->getEntryHandle(5);
  auto* hw = table->hwTable();
  auto hwRef = Quill::Ptr<Asic::HwTable>(hw);
  table = nullptr;
  EXPECT_EQ(hwRef->indexTrackerDeletes(), 1u);
  auto* eh = static_cast<EntryHandle*>(dependent.get());
  EXPECT_EQ(eh->swTable(), nullptr);
  eh->cleanup();        // cut loose: nothing happens
  dependent = nullptr;  // and the last release only frees it
}

TEST_F(Removal, RemoveAllDefersEveryCleanupUntilThePassIsOver) {
  programmed(1, 1);
  programmed(2, 2);
  table->entryHandleIs(3, table.get());  // unassigned
  table->entryHandleRemoveAll(true);
  EXPECT_FALSE(table->entryHandleHas(3));
  EXPECT_EQ(table->entryHandle(1)->entryType(), EntryHandle::committed());

  table->entryHandleRemoveAll(false);
  EXPECT_EQ(table->entryHandle(1)->entryType(), EntryHandle::inDeletion());
  EXPECT_EQ(table->entryHandle(2)->entryType(), EntryHandle::inDeletion());
  chip->deliverAll();
  EXPECT_EQ(table->entrys(), 0u);
}

TEST(RemovalDuringReplay, AKeyTheChipHeldLosesItsSyncedCopyAndTrackerUse) {
  auto file = std::filesystem::temp_directory_path() / ("replay-remove-" + std::to_string(getpid()) + ".chip");
  std::filesystem::remove(file);
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  nextHops->readyIs(1, 70);
  {
    auto before = tableOnChip(file.string());
    before->configReplayCompleteIs(true);
    before->entryCommit(7, Entry(nextHops->handleIs(1), 2));
    before->utilIs(nullptr);  // the agent goes down: nothing reaches the chip any more
  }
  auto table = tableOnChip(file.string());
  auto* chip = dynamic_cast<SimChip::Control*>(table->util());
  table->syncEntries();
  ASSERT_TRUE(table->syncedEntryHas(7));
  chip->callLogClear();
  table->entryRemove(7);
  EXPECT_FALSE(table->syncedEntryHas(7));
  ASSERT_EQ(chip->callLog().size(), 1u);
  EXPECT_EQ(chip->callLog()[0].line(), "tracker key=7 op=2");
  EXPECT_EQ(chip->slot(7).state, SimChip::SlotState::valid);  // the copy stays, uncounted
  table->utilIs(nullptr);
  table = nullptr;
  Asic::AdaptorRegistry::instance().hwTableIs("VelarL3Vfi::LocalDvpTable", nullptr);
  std::filesystem::remove(file);
}

}  // namespace
