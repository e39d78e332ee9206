// Hardware traffic from the accessor to the simulated chip loaded as a
// plug-in, and the chip's confirmations back to the entry handles.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "VelarL3Vfi/Library.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Asic/NeededEntryTable.h"
#include "simchip/SimChipControl.h"

namespace {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using State = Asic::SwTableBase::EntryState;

class ChipTraffic : public ::testing::Test {
 protected:
  ChipTraffic() {
    table->configReplayCompleteIs(true);  // a running agent, not a restart
    nextHops->readyIs(1, 7);
    chip->callLogClear();
  }

  LocalDvpTable::Accessor accessor() { return LocalDvpTable::Accessor(table.get()); }
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (const auto& call : chip->callLog()) lines.push_back(call.line());
    return lines;
  }

  Quill::Ptr<LocalDvpTable> table = VelarL3Vfi::localDvpTableFactory();
  SimChip::Control* chip = dynamic_cast<SimChip::Control*>(table->util());
  Quill::Ptr<Asic::NeededEntryTable> nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Quill::Ptr<const Asic::SwTableBase::EntryHandle> nh{nextHops->handleIs(1)};
};

TEST_F(ChipTraffic, WriteAbsentWriteAndDeleteReachTheChipWithTheirTrackerOperations) {
  ASSERT_NE(chip, nullptr);
  auto handle = table->entryHandleIs(5, table.get());
  accessor().setResolvedEntry(5, Entry(nh, 3, 7));
  EXPECT_EQ(chip->slot(5), (SimChip::Slot{SimChip::SlotState::valid, 7, 3}));
  accessor().setResolvedEntry(5, Kiv::Optional<Entry>());
  EXPECT_EQ(chip->slot(5).state, SimChip::SlotState::writtenEmpty);
  accessor().deleteResolvedEntry(5);
  EXPECT_EQ(log(), (std::vector<std::string>{"tracker key=5 op=0", "write key=5 group=3 nextHop=7",
                                             "tracker key=5 op=3", "write key=5 absent",
                                             "tracker key=5 op=4", "delete key=5"}));
  EXPECT_EQ(chip->slot(5).state, SimChip::SlotState::empty);
  EXPECT_EQ(chip->trackerCount(5), 0u);
  EXPECT_TRUE(chip->faults().empty());
}

TEST_F(ChipTraffic, ConfirmationsSettleTheHandleThroughTheWriteResponsePath) {
  auto handle = table->entryHandleIs(9, table.get());
  accessor().setResolvedEntry(9, Entry(nh, 1));
  EXPECT_EQ(chip->pendingResponses().size(), 1u);
  EXPECT_EQ(handle->resolvedEntryState(), State::inProgress);

  // During the replay there is no state machine: the framework dispatches.
  EXPECT_EQ(chip->deliver(9), 1u);
  EXPECT_EQ(handle->resolvedEntryState(), State::success);
  EXPECT_EQ(handle->hwIndex(), 9u);
  EXPECT_EQ(table->hwIndexOnlyForCrossAgentCommunication(9), 9u);

  // Afterwards responses pass through the table's state machine.
  auto sm = table->writeResponseSmIs(table.get());
  accessor().setResolvedEntry(9, Entry(nh, 2));
  EXPECT_EQ(handle->resolvedEntryState(), State::inProgress);
  EXPECT_EQ(chip->deliverAll(), 1u);
  EXPECT_EQ(sm->responsesPassed(), 1u);
  EXPECT_EQ(handle->resolvedEntryState(), State::success);
}

TEST_F(ChipTraffic, AResponseForAKeyWithoutHandleIsDropped) {
  table->resolvedEntryIs(4, Entry(nh, 1));  // no handle: programming marks nothing
  EXPECT_EQ(chip->deliverAll(), 1u);
  EXPECT_FALSE(table->entryHandle(4));
  EXPECT_EQ(table->hwIndexOnlyForCrossAgentCommunication(4), Asic::kExhaustedIndex);
}

TEST_F(ChipTraffic, HandleWithoutIndexGivesTheExhaustedIndexToOtherAgents) {
  auto handle = table->entryHandleIs(3, table.get());
  EXPECT_EQ(table->hwIndexOnlyForCrossAgentCommunication(3), Asic::kExhaustedIndex);
}

// The chip file outlives the process that wrote it, as a chip outlives an
// agent restart.
TEST(ChipFile, WrittenByOneProcessReadByAnother) {
  auto file = std::filesystem::temp_directory_path() / ("two-processes-" + std::to_string(getpid()) + ".chip");
  std::filesystem::remove(file);
  auto recover = [&] {
    auto rg = Asic::HwTableRecoverGroup::HwTableRecoverGroupIs("recover");
    LocalDvpTable::doRecoverHwTable(rg, 0, Ledger::EntityManager::EntityManagerIs("ledger"),
                                    Asic::ChipInfo{0, file.string(), 4096});
    return VelarL3Vfi::localDvpTableFactory();
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto table = recover();
    auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
    nextHops->readyIs(3, 12);
    table->entryCommit(40, Entry(nextHops->handleIs(3), 6));
    _exit(table->resolvedEntry(40).present() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  auto table = recover();
  auto* chip = dynamic_cast<SimChip::Control*>(table->util());
  ASSERT_NE(chip, nullptr);
  EXPECT_EQ(chip->slot(40), (SimChip::Slot{SimChip::SlotState::valid, 12, 6}));
  EXPECT_EQ(chip->trackerCount(40), 1u);
  table = nullptr;
  Asic::AdaptorRegistry::instance().hwTableIs("VelarL3Vfi::LocalDvpTable", nullptr);
  std::filesystem::remove(file);
}

}  // namespace
