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

}  // namespace Asic
