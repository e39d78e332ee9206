#include "AsicSwTable/ProgrammedStateSwitch.h"

#include <cstdlib>

namespace Asic {

bool programmedStateSwitchValue(std::optional<std::string_view> value) noexcept {
  if (!value) return false;
  std::uint32_t number = 0;
  for (char c : *value) {
    if (c < '0' || c > '9') break;
    number = number * 10 + static_cast<std::uint32_t>(c - '0');  // wraps modulo 2^32
  }
  return number != 0;
}

bool publishEntryHandleProgrammedState() {
  static const bool on = [] {
    const char* value = std::getenv("PUBLISH_ENTRY_HANDLE_PROGRAMMED_STATE");
    return programmedStateSwitchValue(value ? std::optional<std::string_view>(value) : std::nullopt);
  }();
  return on;
}

}  // namespace Asic
