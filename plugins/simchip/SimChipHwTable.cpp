#include "plugins/simchip/SimChipHwTable.h"

#include <utility>

#include "VelarL3Vfi/Util.h"

namespace SimChip {

HwTable::HwTable(Asic::UnitId unit, std::shared_ptr<Chip> chip)
    : Asic::HwTable(VelarL3Vfi::kLocalDvpTableTypeName, unit), chip_(std::move(chip)) {}

HwTable::~HwTable() { nodeFlagSet(kFlagLive, false); }

Quill::Ptr<Asic::HwTable> recoverHwTable(Asic::UnitId unit, const Asic::ChipInfo& chip) {
  return Quill::Ptr<Asic::HwTable>(new HwTable(unit, sharedChip(chip.location, chip.entries)));
}

}  // namespace SimChip
