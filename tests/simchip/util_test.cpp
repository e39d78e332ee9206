// The adaptor's slot programming, comparison, read-back and call log, and how
// it is made for a table and found through the control interface.
#include <gtest/gtest.h>

#include "SimChipFixture.h"

namespace SimChip::test {
namespace {

using SimChipSlots = TableOnChip;

TEST_F(SimChipSlots, ValueAbsentAndDeleteProgramTheSlotAndTheLogSaysSo) {
  commit(5, Entry(nullptr, 3, 7));
  EXPECT_EQ(control().slot(5), (Slot{SlotState::valid, 7, 3}));
  commit(5, Entry(nullptr, 4, 8));
  EXPECT_EQ(control().slot(5), (Slot{SlotState::valid, 8, 4}));
  commit(5, Kiv::Optional<Entry>());
  EXPECT_EQ(control().slot(5), (Slot{SlotState::writtenEmpty, 0, 0}));
  commit(5, Entry(nullptr, 1, 2));
  remove(5);
  EXPECT_EQ(control().slot(5), Slot{});
  EXPECT_EQ(control().slot(4), Slot{});
  EXPECT_EQ(control().slot(6), Slot{});
  util->compareHwEntries(table.get(), 5, Entry(nullptr, 1, 2));
  util->syncEntries(nullptr, table);
  util->syncEntries(nullptr, nullptr);
  EXPECT_EQ(control().callLogText(),
            "tracker key=5 op=0\n"
            "write key=5 group=3 nextHop=7\n"
            "write key=5 group=4 nextHop=8\n"
            "tracker key=5 op=3\n"
            "write key=5 absent\n"
            "tracker key=5 op=1\n"
            "write key=5 group=1 nextHop=2\n"
            "tracker key=5 op=2\n"
            "delete key=5\n"
            "compare key=5 -> mismatch\n"
            "sync -> 0 entries\n"
            "sync -> error: no table\n");
  const Call first = control().callLog().front();
  EXPECT_EQ(first.operation, "tracker");
  EXPECT_EQ(first.key, 5u);
  EXPECT_EQ(first.detail, "op=0");
  control().callLogClear();
  EXPECT_EQ(control().callLogText(), "");
}

TEST_F(SimChipSlots, KeysOutsideTheTableChangeNothingAndAreRecorded) {
  EXPECT_EQ(table->maxIndex(), 63u);
  util->updateHwIndexRefCountTracker(table->hwTable(), 64, OpType::firstWrite);
  util->hwTableEntryIs(table.get(), 64, Entry(nullptr, 1, 2));
  util->hwTableEntryDel(table.get(), 0xFFFFFFFF);
  EXPECT_FALSE(util->compareHwEntries(table.get(), 64, Entry(nullptr, 1, 2)));

  EXPECT_TRUE(control().pendingResponses().empty());
  EXPECT_EQ(control().slot(64), Slot{});
  EXPECT_EQ(control().trackerCount(64), 0u);
  const auto faults = control().faults();
  ASSERT_EQ(faults.size(), 4u);
  for (const auto& f : faults) EXPECT_EQ(f.kind, Fault::Kind::keyOutOfRange);
  EXPECT_EQ(faults[2].line(), "delete key=4294967295: key outside [0, 63]");
  EXPECT_TRUE(control().trackerFaults().empty());
  EXPECT_EQ(control().callLog()[1].line(),
            "write key=64 group=1 nextHop=2 -> error: key outside [0, 63]");
}

TEST_F(SimChipSlots, CompareMatchesGroupAndTheNextHopIndexOfTheHandle) {
  auto nh = nextHop(7);
  commit(5, Entry(nh, 3, 7));
  EXPECT_TRUE(util->compareHwEntries(table.get(), 5, Entry(nh, 3, 7)));
  EXPECT_TRUE(
      util->compareHwEntries(table.get(), 5, Entry(nh, 3, 99)));  // the handle's index counts
  EXPECT_FALSE(util->compareHwEntries(table.get(), 5, Entry(nextHop(8), 3, 7)));
  EXPECT_FALSE(util->compareHwEntries(table.get(), 5, Entry(nextHop(Asic::kExhaustedIndex), 3, 7)));
  EXPECT_FALSE(util->compareHwEntries(table.get(), 5, Entry(nh, 4, 7)));
  EXPECT_TRUE(util->compareHwEntries(table.get(), 5, Entry(nullptr, 3, 7)));  // no handle: its own
  EXPECT_FALSE(util->compareHwEntries(table.get(), 5, Entry(nullptr, 3, 8)));
  EXPECT_FALSE(util->compareHwEntries(table.get(), 6, Entry()));  // only a valid slot matches
  commit(5, Kiv::Optional<Entry>());
  EXPECT_FALSE(util->compareHwEntries(table.get(), 5, Entry(nullptr, 0, 0)));
  EXPECT_EQ(control().callLog().back().line(), "compare key=5 -> mismatch");
}

TEST_F(SimChipSlots, SyncReportsEveryValidSlotWithoutHandle) {
  commit(0, Entry(nullptr, 1, 10));
  commit(63, Entry(nullptr, 2, 20));
  commit(7, Entry(nullptr, 3, 30));
  commit(7, Kiv::Optional<Entry>());  // written empty: nothing to read back
  util->syncEntries(table->hwTable(), table);
  EXPECT_EQ(table->syncedEntrys(), 2u);
  EXPECT_EQ(table->syncedEntry(0), Entry(nullptr, 1, 10));
  EXPECT_EQ(table->syncedEntry(63).localPortNextHop(), 20u);
  EXPECT_FALSE(table->syncedEntry(63).localPortNextHopHandle());
  EXPECT_EQ(control().callLog().back().line(), "sync -> 2 entries");
}

TEST_F(SimChipSlots, ControlIsFoundFromTheTablesAdaptorAndSetsTheHandleOption) {
  auto* found = dynamic_cast<Control*>(table->util());
  ASSERT_EQ(found, &control());
  EXPECT_EQ(found->entries(), 64u);
  EXPECT_EQ(found->location(), "");
  found->hwIndexInEntryHandleIs(true);
  auto handle = table->entryHandleIs(12, table.get());
  commit(12, Entry(nullptr, 1, 1));  // the accessor records the index when asked
  EXPECT_EQ(handle->hwIndex(), 12u);
  found->hwIndexInEntryHandleIs(false);
  EXPECT_FALSE(table->util()->hwIndexInEntryHandle());
}

TEST(SimChipMakeUtil, BindsToTheTablesHardwareTableOrAnAnonymousChip) {
  ScratchDir dir;
  Quill::Ptr<LocalDvpTable> table(new LocalDvpTable());
  table->hwTableIs(recoverHwTable(0, Asic::ChipInfo{0, dir.file("chip"), 128}));
  table->utilIs(makeUtil(*table));
  auto* control = dynamic_cast<Control*>(table->util());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->location(), dir.file("chip"));
  EXPECT_EQ(table->maxIndex(), 127u);
  // Writes land in that chip, and their responses go to this table.
  auto handle = table->entryHandleIs(3, table.get());
  table->configReplayCompleteIs(true);
  LocalDvpTable::Accessor(table.get()).setResolvedEntry(3, Entry(nullptr, 1, 1));
  EXPECT_EQ(chipOf(table->hwTable())->slot(3).state, SlotState::valid);
  EXPECT_EQ(control->deliverAll(), 1u);
  EXPECT_EQ(handle->hwIndex(), 3u);

  Quill::Ptr<LocalDvpTable> bare(new LocalDvpTable());  // no hardware table
  bare->utilIs(makeUtil(*bare));
  EXPECT_EQ(bare->maxIndex(), kDefaultEntries - 1);
  EXPECT_EQ(dynamic_cast<Control*>(bare->util())->location(), "");
}

}  // namespace
}  // namespace SimChip::test
