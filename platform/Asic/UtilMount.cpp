// Class-level mount and recovery of hardware-table state.
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Asic/HwTableRecoverGroup.h"
#include "platform/Asic/SwTable.h"
#include "platform/Ledger/Ledger.h"
#include "platform/Quill/TypeModule.h"

#include <fmt/format.h>

namespace Asic {

void SwTable::Util::doMountHwTableMountInfo(const Quill::TypeData& type,
                                            const Quill::Ptr<Ledger::MountGroup>& mg,
                                            const Quill::String& name) {
  mg->mountIs({"hwTableMountInfo", type.name, name.str()});
}

void SwTable::Util::doMountHwTableRecoveryStatus(const Quill::TypeData& type,
                                                 const Quill::Ptr<Ledger::MountGroup>& mg,
                                                 const Quill::String& name) {
  mg->mountIs({"hwTableRecoveryStatus", type.name, name.str()});
}

void SwTable::Util::doRecoverHwTable(const Quill::TypeData& type,
                                     const Quill::Ptr<HwTableRecoverGroup>& rg, UnitId unitId,
                                     const Quill::Ptr<Ledger::EntityManager>& ledgerEm,
                                     const ChipInfo& chipInfo, const Quill::String& name) {
  auto& registry = AdaptorRegistry::instance();
  Quill::Ptr<HwTable> hwTable;
  if (const auto* adaptor = registry.adaptor(type.name); adaptor && adaptor->recoverHwTable) {
    hwTable = adaptor->recoverHwTable(unitId, chipInfo);
  }
  if (hwTable) {
    registry.hwTableIs(type.name, hwTable);
    ledgerEm->entityIs(fmt::format("hardware/unit{}/{}{}", unitId, type.name,
                                   name.empty() ? "" : "/" + name.str()));
  }
  rg->recoveryIs({type.name, unitId, std::move(hwTable)});
}

}  // namespace Asic
