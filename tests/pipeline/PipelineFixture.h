#pragma once
// Shared set-up of the pipeline tests: tables on the simulated chip, a table
// of next hops that their entries depend on, and captures of what the table
// traces and of what it asks of the chip.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "VelarL3Vfi/Library.h"
#include "platform/Activity/Activity.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Asic/NeededEntryTable.h"
#include "platform/Trace/TraceSink.h"
#include "simchip/SimChipControl.h"

namespace VelarL3Vfi::pipeline {

using Entry = LocalDvpTable::Entry;
using HandlePtr = Entry::HandlePtr;
using State = Asic::SwTableBase::EntryState;
using Type = Asic::SwTableBase::EntryType;
using Status = Asic::SwTable::ReconciliationStatus;
using Lines = std::vector<std::string>;
using Keys = std::vector<std::uint32_t>;

// Every trace line of the table starts with this.
inline const std::string kT = "VelarL3Vfi::LocalDvpTable : ";

template <class T>
std::string text(const T& value) {
  std::ostringstream os;
  os << value;
  return os.str();
}

// Recovers the hardware table of a chip ("" for a fresh chip in memory, else
// a chip file, which a later recovery finds as it was left) and makes a table
// on it.
inline Quill::Ptr<LocalDvpTable> tableOnChip(const std::string& location) {
  auto rg = Asic::HwTableRecoverGroup::HwTableRecoverGroupIs("recover");
  LocalDvpTable::doRecoverHwTable(rg, 0, Ledger::EntityManager::EntityManagerIs("ledger"),
                                  Asic::ChipInfo{0, location, 4096});
  return localDvpTableFactory();
}

inline SimChip::Control* chipOf(const Quill::Ptr<LocalDvpTable>& table) {
  return dynamic_cast<SimChip::Control*>(table->util());
}

// The chip's call log since the last take, one line per adaptor call.
inline Lines takeCalls(SimChip::Control* chip) {
  Lines lines;
  for (const auto& call : chip->callLog()) lines.push_back(call.line());
  chip->callLogClear();
  return lines;
}

// The keys an iterator visits from where it stands.
inline Keys walk(LocalDvpTable::EntryIteratorConst it) {
  Keys keys;
  for (; !it.isEnd(); it.advance()) keys.push_back(it.key().value);
  return keys;
}

// Captures the table's trace at the levels of the pipeline (5 commit, 6
// resolution and sync, 8 entry handling and writes, 9 init completion). The
// handle's own state hook traces at level 6 as well; its lines belong to the
// handle tests and are left out here.
class TableTrace {
 public:
  TableTrace() { LocalDvpTable::traceHandle().maskIs(kLevels); }
  ~TableTrace() { LocalDvpTable::traceHandle().maskIs(0); }
  TableTrace(const TableTrace&) = delete;
  TableTrace& operator=(const TableTrace&) = delete;

  Lines take() {
    Lines lines;
    for (const auto& line : sink_.lines()) {
      if (line.rfind(kT + "handleEntryState ", 0) != 0) lines.push_back(line);
    }
    sink_.clear();
    return lines;
  }

 private:
  static constexpr std::uint32_t kLevels = (1u << 5) | (1u << 6) | (1u << 8) | (1u << 9);
  Trace::CaptureSink sink_;
};

// The lines of a commit of a new value whose needed entry is ready, up to
// entry handling.
inline Lines resolvedCommitLines(std::uint32_t key, bool replayComplete) {
  const std::string k = std::to_string(key);
  return {kT + "entryCommit : Writing new entry at key: " + k, kT + "initUnresolvedEntry: key:" + k,
          kT + "doResolve: key:" + k,
          kT + "handleEntry key: " + k + ", configReplayComplete: " + text(replayComplete)};
}

// The lines of programming a key, from programHwEntry on.
inline Lines programLines(std::uint32_t key, State state) {
  const std::string k = std::to_string(key);
  return {kT + "programHwEntry key: " + k + ", entryState:" + text(state),
          kT + "traceHwIndex Acquired hwIndex : " + k, kT + "hwTableEntryIs : key: " + k};
}

inline Lines join(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Owns the next hops and any table of a test; on the way out drops them and
// checks that no handle or waiting entry outlived its table.
class ChipTest : public ::testing::Test {
 protected:
  ChipTest() { Activity::discardPending(); }

  void TearDown() override {
    Activity::discardPending();
    table = nullptr;
    nexthops = nullptr;
    Asic::AdaptorRegistry::instance().hwTableIs("VelarL3Vfi::LocalDvpTable", nullptr);
    EXPECT_EQ(LocalDvpTable::EntryHandle::memAllocationTracker_.live(), liveHandles_)
        << "entry handles outlived their table";
    EXPECT_EQ(LocalDvpTable::UnresolvedEntry::memAllocationTracker_.live(), liveWaiting_)
        << "unresolved entries outlived their table";
  }

  HandlePtr nh(std::uint32_t key) { return nexthops->handleIs(key); }

  // Declared before the table: the table's entries hold next-hop handles.
  Quill::Ptr<Asic::NeededEntryTable> nexthops = Asic::NeededEntryTable::NeededEntryTableIs("nexthops");
  Quill::Ptr<LocalDvpTable> table;

 private:
  std::size_t liveHandles_ = LocalDvpTable::EntryHandle::memAllocationTracker_.live();
  std::size_t liveWaiting_ = LocalDvpTable::UnresolvedEntry::memAllocationTracker_.live();
};

// A table after a first start: the chip was empty, the replay is complete.
class Pipeline : public ChipTest {
 protected:
  void SetUp() override {
    table = tableOnChip("");
    chip = chipOf(table);
    ASSERT_NE(chip, nullptr) << "the simulated chip plug-in was not loaded";
    table->syncEntries();
    table->doInitComplete();
    ASSERT_TRUE(table->configReplayComplete());
    chip->callLogClear();
  }

  Lines calls() { return takeCalls(chip); }

  SimChip::Control* chip = nullptr;
};

}  // namespace VelarL3Vfi::pipeline
