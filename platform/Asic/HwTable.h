#pragma once
// The hardware side of a software table: the hardware table, the chip it
// lives on, and the index-user tracker that counts the users of each index.
#include <cstdint>
#include <string>

#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"

namespace Asic {

// A unit (chip) number.
using UnitId = std::uint32_t;

// What the agent knows about a chip: its unit and where its adaptor finds the
// hardware. `location` is adaptor-specific (a device path, or for the
// simulated chip the file that holds its tables); `entries` is the hardware
// table's size when the adaptor must create one (0 lets the adaptor choose).
struct ChipInfo {
  UnitId unit = 0;
  std::string location;
  std::uint32_t entries = 0;
};

// A hardware table: one table of one chip. Adaptors derive from it to keep
// their handle to the hardware.
class HwTable : public Quill::Node {
 public:
  HwTable(Quill::String name, UnitId unit) : name_(std::move(name)), unit_(unit) {}

  const Quill::String& name() const noexcept { return name_; }
  UnitId unit() const noexcept { return unit_; }

  // How often a table dropped its index-user tracker (at teardown).
  std::uint32_t indexTrackerDeletes() const noexcept { return indexTrackerDeletes_; }
  void indexTrackerDeleteIs() noexcept { ++indexTrackerDeletes_; }

 protected:
  ~HwTable() override { nodeFlagSet(kFlagLive, false); }

 private:
  Quill::String name_;
  UnitId unit_;
  std::uint32_t indexTrackerDeletes_ = 0;
};

namespace IndexUserTracker {

// One change in the use of a hardware index, reported before the matching
// write or delete.
enum class OpType : std::uint8_t {
  firstWrite = 0,          // first write of a value
  writeIntoEmptySlot = 1,  // write of a value into a slot that had none
  deleteWritten = 2,       // delete of a written value (and every reconciliation delete)
  writeAbsent = 3,         // write of an absent value over a written one
  deleteEmptySlot = 4,     // delete of a slot that had no value
};

// The framework's stub of the index-user tracker service.
struct Stub {
  // Drops the index-user tracker of a hardware table (null: nothing to drop).
  static void deleteTracker(HwTable* hwTable, UnitId unit, bool flag) noexcept {
    (void)unit;
    (void)flag;
    if (hwTable != nullptr) hwTable->indexTrackerDeleteIs();
  }
};

}  // namespace IndexUserTracker

}  // namespace Asic
