#pragma once
// Trace settings: which levels of which handles are on.
//
// A setting is a comma-separated list of HANDLE/LEVELS items, where LEVELS is
// a single level ("5"), an inclusive range ("5-9") or "*" for all 32 levels:
//
//   TRACE="VelarL3Vfi::LocalDvpTable/5-9,SwTableStat/0"
//
// Handle names contain "::", so an item is split at its last '/'. Blanks
// around items, names and levels are ignored; an empty setting changes
// nothing. Items naming the same handle add up.
//
// Applying a setting replaces the mask of every handle it names, live or not
// yet created: the levels are remembered by name and given to handles created
// later. Handles the setting does not name keep their levels.
//
// A setting with any bad item is rejected as a whole and changes nothing.
// The same syntax serves the TRACE environment variable (read once, when the
// first handle is created) and a --trace command-line option (configure()).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Trace {

struct Setting {
  std::string handle;
  std::uint32_t mask = 0;

  bool operator==(const Setting&) const = default;
};

struct ParseResult {
  std::vector<Setting> settings;  // one per handle name, in order of first mention
  std::string error;              // empty when the whole setting is good

  bool ok() const noexcept { return error.empty(); }
};

ParseResult parse(std::string_view text);

// Applies parsed settings to live handles and remembers them for later ones.
void apply(const std::vector<Setting>& settings);

// Parses and applies a setting; returns the error text, and changes nothing,
// when the setting is bad. The TRACE environment variable is applied first if
// that has not happened yet, so a setting from code or the command line wins
// over it.
std::optional<std::string> configure(std::string_view text);

// Applies the TRACE environment variable (unset or empty: nothing to do). A
// bad value is reported once on standard error, ignored entirely, and its
// error text returned.
std::optional<std::string> configureFromEnvironment();

namespace Impl {
// Applies TRACE the first time it is called in the process; handles call it
// on construction, so it does not matter which runs first at start-up.
void configureFromEnvironmentOnce();
}  // namespace Impl

}  // namespace Trace
