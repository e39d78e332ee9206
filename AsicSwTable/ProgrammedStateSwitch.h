#pragma once
// The switch that lets the environment complete a handle's programmed state
// without waiting for the hardware: the environment variable
// PUBLISH_ENTRY_HANDLE_PROGRAMMED_STATE, read once per process on first use.
// It is on when the variable exists and its value, read as a decimal number
// taken modulo 2^32, is not 0. The number may follow blanks and one sign (a
// minus negates it modulo 2^32); every digit counts, and it ends at the
// first character that is not one ("12abc" is 12). So unset, empty, "0",
// "4294967296" and text without leading digits are off; " 1", "-1" and
// "4294967297" are on.
#include <cstdint>
#include <optional>
#include <string_view>

namespace Asic {

bool publishEntryHandleProgrammedState();
// How a value of the variable reads; exposed for tests.
bool programmedStateSwitchValue(std::optional<std::string_view> value) noexcept;

}  // namespace Asic
