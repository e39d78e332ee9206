#pragma once
// The built-in scenario that `dvp-agent` runs without arguments: a narrated
// tour of the table from a first start to a restart with a changed
// configuration. Its text is scenarios/tour.dvp, compiled in.
#include <string_view>

namespace DvpAgent {

std::string_view tourScenario() noexcept;
// The name its lines are reported under.
inline constexpr std::string_view kTourName = "tour.dvp";

}  // namespace DvpAgent
