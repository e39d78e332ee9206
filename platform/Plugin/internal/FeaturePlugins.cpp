#include "platform/Plugin/internal/FeaturePlugins.h"

#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Plugin/internal/SearchPath.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>

namespace Plugin {

namespace {

// Says once per process that an entry of the search path was refused or
// skipped, however many features are loaded.
void reportOnce(const std::vector<std::string>& entries, std::string (*message)(std::string_view)) {
  static std::mutex mutex;
  static auto* reported = new std::set<std::string>;  // never destroyed
  std::lock_guard lock(mutex);
  for (const auto& entry : entries) {
    if (std::string line = message(entry) + "\n"; reported->insert(line).second) {
      std::fputs(line.c_str(), stderr);
    }
  }
}

}  // namespace

std::size_t loadFeaturePluginsIn(std::string_view root, std::string_view prefix, std::string_view suffix,
                                 Loader<void>& loader) {
  if (!loader.registrationProbe()) {
    loader.registrationProbeIs([] { return Asic::AdaptorRegistry::instance().registrations(); });
  }
  return loader.loadDirectoryWithin(std::string(root), (std::filesystem::path(prefix) / suffix).string());
}

std::size_t loadFeaturePlugins(std::string_view prefix, std::string_view suffix, Loader<void>& loader) {
  const SearchPath path = searchPath();
  reportOnce(path.refused, &refusalMessage);
  reportOnce(path.missing, &missingMessage);

  std::size_t count = 0;
  for (const auto& root : path.roots) {
    count += loadFeaturePluginsIn(root, prefix, suffix, loader);
  }
  return count;
}

}  // namespace Plugin
