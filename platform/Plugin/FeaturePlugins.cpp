#include "platform/Plugin/FeaturePlugins.h"

#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Plugin/SearchPath.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>

namespace Plugin {

namespace {

// Says once per process that an entry of the search path was refused, however
// many features are loaded.
void reportRefused(const std::vector<std::string>& refused) {
  static std::mutex mutex;
  static auto* reported = new std::set<std::string>;  // never destroyed
  std::lock_guard lock(mutex);
  for (const auto& entry : refused) {
    if (reported->insert(entry).second) {
      std::fputs((refusalMessage(entry) + "\n").c_str(), stderr);
    }
  }
}

}  // namespace

std::size_t loadFeaturePlugins(std::string_view prefix, std::string_view suffix, Loader<void>& loader) {
  if (!loader.registrationProbe()) {
    loader.registrationProbeIs([] { return Asic::AdaptorRegistry::instance().registrations(); });
  }
  const SearchPath path = searchPath();
  reportRefused(path.refused);

  std::size_t count = 0;
  for (const auto& root : path.roots) {
    count += loader.loadDirectoryWithin(root, (std::filesystem::path(prefix) / suffix).string());
  }
  return count;
}

}  // namespace Plugin
