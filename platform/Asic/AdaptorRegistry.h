#pragma once
// The framework's registry of hardware adaptors.
//
// A hardware adaptor plug-in registers, when it is loaded, what it provides
// for a table type: how to make the table's adaptor (its Util subclass) and
// how to recover the hardware table of a unit. The table's factory asks the
// registry for the adaptor of its type; a table type nobody registered for
// works without adaptor.
//
//   // in the plug-in
//   static const bool registered = Asic::AdaptorRegistry::instance().adaptorIs({
//       "VelarL3Vfi::LocalDvpTable", makeUtil, recoverHwTable});
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Asic/HwTable.h"
#include "platform/Asic/SwTable.h"

namespace Asic {

class AdaptorRegistry {
 public:
  struct Adaptor {
    std::string tableType;
    // Makes the adaptor of one table (the table's hardware table may be null
    // when nothing was recovered).
    std::function<Quill::Ptr<SwTable::Util>(SwTable& table)> makeUtil;
    // Recovers (opens or creates) the hardware table of a unit.
    std::function<Quill::Ptr<HwTable>(UnitId unit, const ChipInfo& chip)> recoverHwTable;
  };

  static AdaptorRegistry& instance();

  // Registers (or replaces) the adaptor of a table type; returns true so a
  // plug-in can register from a static initialiser.
  bool adaptorIs(Adaptor adaptor);
  void adaptorDel(std::string_view tableType);
  const Adaptor* adaptor(std::string_view tableType) const;

  // The hardware table recovered for a table type (null when none was).
  void hwTableIs(std::string_view tableType, Quill::Ptr<HwTable> hwTable);
  Quill::Ptr<HwTable> hwTable(std::string_view tableType) const;

  // Every registration ever made; the plug-in loader compares it around a
  // load to tell a plug-in that registered nothing.
  std::size_t registrations() const noexcept { return registrations_; }

 private:
  std::vector<Adaptor> adaptors_;
  std::vector<std::pair<std::string, Quill::Ptr<HwTable>>> hwTables_;
  std::size_t registrations_ = 0;
};

}  // namespace Asic
