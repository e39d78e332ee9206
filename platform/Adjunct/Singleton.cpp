#include "platform/Adjunct/Singleton.h"

#include "platform/Plugin/internal/FeaturePlugins.h"

namespace Adjunct::Core::Loader {

void Singleton::load(std::string_view prefix, std::string_view suffix,
                     Plugin::Loader<void>& loader) {
  Plugin::loadFeaturePlugins(prefix, suffix, loader);
}

std::size_t Singleton::loadRoot(std::string_view root, std::string_view prefix, std::string_view suffix,
                                Plugin::Loader<void>& loader) {
  return Plugin::loadFeaturePluginsIn(root, prefix, suffix, loader);
}

}  // namespace Adjunct::Core::Loader
