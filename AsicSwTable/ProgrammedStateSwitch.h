#pragma once
// The switch that lets the environment complete a handle's programmed state
// without waiting for the hardware: the environment variable
// PUBLISH_ENTRY_HANDLE_PROGRAMMED_STATE, read once per process on first use.
// It is on when the variable exists and its value, read as a decimal number
// (leading digits, taken modulo 2^32), is not 0; unset, empty, "0" and text
// that does not start with a digit are off.
#include <cstdint>
#include <optional>
#include <string_view>

namespace Asic {

bool publishEntryHandleProgrammedState();
// How a value of the variable reads; exposed for tests.
bool programmedStateSwitchValue(std::optional<std::string_view> value) noexcept;

}  // namespace Asic
