#pragma once
// Where plug-ins are looked for.
//
// Plug-ins live under one or more plug-in roots, each laid out as
// <root>/<prefix>/<suffix>/lib*.so (see FeaturePlugins.h). The roots are:
//
//   * the directories listed in VELAR_PLUGIN_PATH, separated by ':' and
//     searched in that order. Every entry must be an absolute path: a relative
//     entry is refused (and reported, naming the entry) so that nothing is
//     ever loaded from the working directory by accident. Empty entries
//     ("a::b", a leading or trailing ':') are ignored, and an entry listed
//     twice is searched once. A variable that is set but lists no directory
//     (VELAR_PLUGIN_PATH=) means no plug-in root at all. An entry that does
//     not exist is skipped and reported (naming the entry): a misspelled
//     root would otherwise look like a root without plug-ins.
//   * when VELAR_PLUGIN_PATH is not set, the single default root
//     <directory of libvelar-platform.so>/velar-plugins: build/lib/velar-plugins
//     in a build tree, <prefix>/lib/velar-plugins once installed.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Plugin {

inline constexpr const char* kSearchPathVariable = "VELAR_PLUGIN_PATH";

struct SearchPath {
  std::vector<std::string> roots;    // in search order
  std::vector<std::string> refused;  // relative entries of the variable, as written
  std::vector<std::string> missing;  // entries of the variable that do not exist
};

// The search path of this process, from VELAR_PLUGIN_PATH and defaultRoot(),
// with the variable's entries that do not exist moved to `missing`.
SearchPath searchPath();

// The rule above, for a variable value (nullopt: not set) and a default root;
// looks at no file.
SearchPath searchPathFrom(std::optional<std::string_view> envValue, std::string_view defaultRoot);

// <directory of libvelar-platform.so>/velar-plugins, or "" when the platform
// library cannot tell where it was loaded from.
std::string defaultRoot();

// The lines reporting a refused entry and a missing one.
std::string refusalMessage(std::string_view entry);
std::string missingMessage(std::string_view entry);

}  // namespace Plugin
