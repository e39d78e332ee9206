#include "AsicSwTable/ProgrammedStateSwitch.h"

#include <cstdlib>

namespace Asic {

bool programmedStateSwitchValue(std::optional<std::string_view> value) noexcept {
  if (!value) return false;
  const std::string_view text = *value;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t number = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + static_cast<std::uint32_t>(text[i] - '0');  // wraps modulo 2^32
  }
  if (negative) number = 0u - number;
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
