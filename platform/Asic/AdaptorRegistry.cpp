#include "platform/Asic/AdaptorRegistry.h"

#include "platform/Plugin/Loader.h"

#include <algorithm>
#include <cstdio>

namespace Asic {

AdaptorRegistry& AdaptorRegistry::instance() {
  static AdaptorRegistry registry;
  return registry;
}

namespace {

// Who made a registration, as the reports name it.
std::string origin(const std::string& plugin) {
  return plugin.empty() ? std::string("the program") : "plug-in \"" + plugin + "\"";
}

void report(const std::string& line) { std::fputs((line + "\n").c_str(), stderr); }

}  // namespace

void AdaptorRegistry::tableTypeIs(std::string_view tableType) {
  if (!tableTypeKnown(tableType)) tableTypes_.emplace_back(tableType);
}

bool AdaptorRegistry::tableTypeKnown(std::string_view tableType) const {
  return std::find(tableTypes_.begin(), tableTypes_.end(), tableType) != tableTypes_.end();
}

bool AdaptorRegistry::adaptorIs(Adaptor adaptor) {
  ++registrations_;
  std::string plugin = Plugin::loadingPlugin();
  const std::string type = adaptor.tableType;
  if (!tableTypeKnown(type)) {
    std::string announced;
    for (const auto& known : tableTypes_) announced += (announced.empty() ? "\"" : ", \"") + known + "\"";
    report(origin(plugin) + " registers an adaptor for table type \"" + type +
           "\", which no loaded table library announced (announced: " +
           (announced.empty() ? "none" : announced) + ")");
  }
  if (const Registered* first = registered(type)) {
    report("two adaptors for table type \"" + type + "\": " + origin(first->plugin) + " is used, " +
           origin(plugin) + " is ignored");
    return false;
  }
  adaptors_.push_back({std::move(adaptor), std::move(plugin)});
  return true;
}

const AdaptorRegistry::Registered* AdaptorRegistry::registered(std::string_view tableType) const {
  auto it = std::find_if(adaptors_.begin(), adaptors_.end(),
                         [&](const Registered& r) { return r.adaptor.tableType == tableType; });
  return it == adaptors_.end() ? nullptr : &*it;
}

const AdaptorRegistry::Adaptor* AdaptorRegistry::adaptor(std::string_view tableType) const {
  const Registered* r = registered(tableType);
  return r != nullptr ? &r->adaptor : nullptr;
}

std::string AdaptorRegistry::adaptorPlugin(std::string_view tableType) const {
  const Registered* r = registered(tableType);
  return r != nullptr ? r->plugin : std::string();
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
