#pragma once
// SimChip::HwTable: the hardware table of the local DVP table on one
// simulated chip, and its recovery.
#include <memory>

#include "platform/Asic/HwTable.h"
#include "plugins/simchip/Chip.h"

namespace SimChip {

class HwTable : public Asic::HwTable {
 public:
  HwTable(Asic::UnitId unit, std::shared_ptr<Chip> chip);

  const std::shared_ptr<Chip>& chip() const noexcept { return chip_; }

 protected:
  ~HwTable() override;

 private:
  std::shared_ptr<Chip> chip_;
};

// Opens or creates the unit's chip at chip.location (empty: anonymous memory)
// with chip.entries entries (0: an existing file's size, or the default for a
// new chip). A location recovered again in the process gets the same chip.
// Raises ChipError for a file that cannot serve.
Quill::Ptr<Asic::HwTable> recoverHwTable(Asic::UnitId unit, const Asic::ChipInfo& chip);

}  // namespace SimChip
