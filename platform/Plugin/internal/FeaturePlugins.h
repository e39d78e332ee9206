#pragma once
// Loading the plug-ins of a feature.
//
// The plug-ins of a feature sit in <root>/<prefix>/<suffix>/ under every
// plug-in root of the search path (SearchPath.h), e.g. the hardware adaptors
// of the local DVP table in
// <root>/AsicFeature/VelarL3Vfi::LocalDvpTable/. Roots are searched in order;
// a root without that directory simply has no such plug-ins.
#include <cstddef>
#include <string_view>

#include "platform/Plugin/Loader.h"

namespace Plugin {

// Loads <root>/<prefix>/<suffix>/*.so for every root of searchPath() with
// `loader` (Loader::loadDirectoryWithin: nothing is loaded from under a root,
// or a directory on the way, that group or others can write), and returns how
// many plug-ins loaded now. Refused and missing search-path entries are
// reported on standard error, each once per process. A loader
// without registration probe gets one counting the adaptor registrations
// (Asic::AdaptorRegistry), so an adaptor plug-in that registers nothing is
// reported.
std::size_t loadFeaturePlugins(std::string_view prefix, std::string_view suffix, Loader<void>& loader);

// The same for one absolute plug-in root that the program names itself,
// searched whatever the search path says (an agent's own plug-ins, say). A
// root without the feature's directory has no such plug-ins.
std::size_t loadFeaturePluginsIn(std::string_view root, std::string_view prefix, std::string_view suffix,
                                 Loader<void>& loader);

}  // namespace Plugin
