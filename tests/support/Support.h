#pragma once
// What the test programs share: a local DVP table on a simulated chip (in
// memory or in a chip file), the next-hop table its entries depend on, the
// chip's call log and the table's trace as lines, a recording adaptor for
// tables without chip, temporary directories, and the leak check (every
// record the table allocates is gone again).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "VelarL3Vfi/LocalDvpTable.h"
#include "platform/Trace/TraceSink.h"
#include "plugins/simchip/SimChipControl.h"
#include "simulation/NeededEntryTable.h"

namespace VelarTest {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using EntryHandle = LocalDvpTable::EntryHandle;
using Index = Asic::SwTableBase::Index;
using State = Asic::SwTableBase::EntryState;
using Lines = std::vector<std::string>;

// A directory of its own, removed with everything in it. Under /dev/shm when
// the machine has one (chips are mapped and remapped often), else in the
// temporary directory.
class TempDir {
 public:
  explicit TempDir(bool preferMemory = false);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The live records of the table's allocation trackers, counted when made;
// leaks() names each kind that has more live now.
class LeakCheck {
 public:
  LeakCheck();
  std::vector<std::string> leaks() const;

 private:
  std::size_t handles_, unresolved_, tables_, queueSlots_;
};

// Captures the lines of the table's trace handle at the given levels (5 to 9
// by default) and turns the handle off again at the end.
class TraceCapture {
 public:
  explicit TraceCapture(std::uint32_t levelMask = 0x3E0);
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  Lines take();

 private:
  Trace::CaptureSink sink_;
};

// A handle of another table (a next hop) that entries can name, with the
// given hardware index; owned by nothing but its users.
Entry::HandlePtr neededHandle(Asic::Index hwIndex = 0xFFFFFFFF);

// An adaptor without chip that records every call as a line ("write 5 2",
// "write 5 absent", "delete 5", "tracker 5 op 0").
class RecordingUtil : public LocalDvpTable::Util {
 public:
  RecordingUtil() : LocalDvpTable::Util("recording") {}
  std::uint32_t minIndex() const override { return 16; }
  std::uint32_t maxIndex() const override { return 4095; }
  void hwTableEntryIs(LocalDvpTable*, Index key, const Kiv::Optional<Entry>& e) const override;
  void hwTableEntryDel(LocalDvpTable*, Index key) const override;
  void updateHwIndexRefCountTracker(Asic::HwTable*, Index key, Asic::IndexUserTracker::OpType op) const override;
  bool compareHwEntries(LocalDvpTable*, Index, const Entry&) const override { return false; }
  void syncEntries(Asic::HwTable*, const Quill::Ptr<LocalDvpTable>&) const override {}

  mutable Lines calls;
};

// A table made the way the agent makes it, on a simulated chip: in memory
// ("") or in a chip file, which a later ChipTable on the same file finds as
// this one left it. The next hops its entries name come from `nextHops`.
// Without `replay`, the replay is over (a first start); with it, the chip
// has been read back and the replay is open.
class ChipTable {
 public:
  explicit ChipTable(const std::string& location = "", bool replay = false, std::uint32_t entries = 1024);
  ~ChipTable();
  ChipTable(const ChipTable&) = delete;
  ChipTable& operator=(const ChipTable&) = delete;

  LocalDvpTable& operator*() const { return *table; }
  LocalDvpTable* operator->() const { return table.get(); }
  SimChip::Control& chip() const { return *chip_; }

  // A next hop with a hardware index, ready for use.
  Entry::HandlePtr nextHop(std::uint32_t key, Asic::Index index);
  // Commits the value and lets the chip confirm every write.
  void programmed(std::uint32_t key, std::uint8_t group, Asic::Index nextHopIndex = 70);
  // The chip's call log since the last call, one line per adaptor call.
  Lines calls();
  // The chip answers and deferred work runs until nothing is left.
  void settle();

  // Declared before the table: the table's entries hold next-hop handles.
  Quill::Ptr<Asic::NeededEntryTable> nextHops;
  Quill::Ptr<LocalDvpTable> table;

 private:
  SimChip::Control* chip_ = nullptr;
};

}  // namespace VelarTest
