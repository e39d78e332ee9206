#pragma once
// The framework's registry of hardware adaptors.
//
// A hardware adaptor plug-in registers, when it is loaded, what it provides
// for a table type: how to make the table's adaptor (its Util subclass) and
// how to recover the hardware table of a unit. The table's factory asks the
// registry for the adaptor of its type; a table type nobody registered for
// works without adaptor.
//
//   // in the plug-in (the table library exports its type's name)
//   static const bool registered = Asic::AdaptorRegistry::instance().adaptorIs({
//       VelarL3Vfi::kLocalDvpTableTypeName, makeUtil, recoverHwTable});
//
// Mistakes are reported on standard error, never silent:
//   * A table type has one adaptor: the first registered. A later
//     registration for the same type is refused, naming both plug-in files:
//       two adaptors for table type "T": plug-in "/a/libx.so" is used, plug-in "/b/liby.so" is ignored
//     Plug-ins load root by root in search-path order and by file name
//     within a directory, so the earlier root wins.
//   * A registration for a type that no loaded table library announced (a
//     misspelled name, say) is kept, since a table library loaded later may
//     announce it, but reported with the types that were announced:
//       plug-in "/b/liby.so" registers an adaptor for table type "T", which
//       no loaded table library announced (announced: "VelarL3Vfi::LocalDvpTable")
// A registration is named after the plug-in being loaded
// (Plugin::loadingPlugin()), or "the program" when made outside a load.
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

  // A table library announces the table type it implements when it is
  // loaded, before it loads the type's adaptor plug-ins.
  void tableTypeIs(std::string_view tableType);
  bool tableTypeKnown(std::string_view tableType) const;

  // Registers the adaptor of a table type, unless the type has one already
  // (see above); returns whether it was taken. A plug-in registers from a
  // static initialiser.
  bool adaptorIs(Adaptor adaptor);
  const Adaptor* adaptor(std::string_view tableType) const;
  // The plug-in file the type's adaptor came from ("" when the program
  // registered it, or nobody did).
  std::string adaptorPlugin(std::string_view tableType) const;

  // The hardware table recovered for a table type (null when none was).
  void hwTableIs(std::string_view tableType, Quill::Ptr<HwTable> hwTable);
  Quill::Ptr<HwTable> hwTable(std::string_view tableType) const;

  // Every registration ever made; the plug-in loader compares it around a
  // load to tell a plug-in that registered nothing.
  std::size_t registrations() const noexcept { return registrations_; }

 private:
  struct Registered {
    Adaptor adaptor;
    std::string plugin;
  };
  const Registered* registered(std::string_view tableType) const;

  std::vector<Registered> adaptors_;
  std::vector<std::string> tableTypes_;
  std::vector<std::pair<std::string, Quill::Ptr<HwTable>>> hwTables_;
  std::size_t registrations_ = 0;
};

}  // namespace Asic
