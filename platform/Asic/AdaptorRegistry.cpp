#include "platform/Asic/AdaptorRegistry.h"

#include <algorithm>

namespace Asic {

AdaptorRegistry& AdaptorRegistry::instance() {
  static AdaptorRegistry registry;
  return registry;
}

bool AdaptorRegistry::adaptorIs(Adaptor adaptor) {
  ++registrations_;
  auto it = std::find_if(adaptors_.begin(), adaptors_.end(),
                         [&](const Adaptor& a) { return a.tableType == adaptor.tableType; });
  if (it != adaptors_.end()) {
    *it = std::move(adaptor);
  } else {
    adaptors_.push_back(std::move(adaptor));
  }
  return true;
}

void AdaptorRegistry::adaptorDel(std::string_view tableType) {
  std::erase_if(adaptors_, [&](const Adaptor& a) { return a.tableType == tableType; });
}

const AdaptorRegistry::Adaptor* AdaptorRegistry::adaptor(std::string_view tableType) const {
  auto it = std::find_if(adaptors_.begin(), adaptors_.end(),
                         [&](const Adaptor& a) { return a.tableType == tableType; });
  return it == adaptors_.end() ? nullptr : &*it;
}

void AdaptorRegistry::hwTableIs(std::string_view tableType, Quill::Ptr<HwTable> hwTable) {
  for (auto& [type, table] : hwTables_) {
    if (type == tableType) {
      table = std::move(hwTable);
      return;
    }
  }
  hwTables_.emplace_back(std::string(tableType), std::move(hwTable));
}

Quill::Ptr<HwTable> AdaptorRegistry::hwTable(std::string_view tableType) const {
  for (const auto& [type, table] : hwTables_) {
    if (type == tableType) return table;
  }
  return nullptr;
}

}  // namespace Asic
