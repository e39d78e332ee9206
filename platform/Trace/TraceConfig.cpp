#include "platform/Trace/TraceConfig.h"

#include "platform/Trace/TraceHandle.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <fmt/format.h>

namespace Trace {

namespace {

std::string_view trim(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n";
  auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A decimal level 0..31, or an error text naming the offending piece.
std::optional<std::string> parseLevel(std::string_view text, unsigned& level) {
  text = trim(text);
  unsigned long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size()) {
    return fmt::format("\"{}\" is not a level (0-{}), a range a-b or *", text, kLevelCount - 1);
  }
  if (ec == std::errc::result_out_of_range || value >= kLevelCount) {
    return fmt::format("level {} is out of range 0-{}", text, kLevelCount - 1);
  }
  level = static_cast<unsigned>(value);
  return std::nullopt;
}

// The mask LEVELS stands for, or an error text.
std::optional<std::string> parseLevels(std::string_view levels, std::uint32_t& mask) {
  if (levels == "*") {
    mask = kAllLevels;
    return std::nullopt;
  }
  unsigned first = 0;
  unsigned last = 0;
  if (auto dash = levels.find('-'); dash != std::string_view::npos) {
    if (auto error = parseLevel(levels.substr(0, dash), first)) {
      return error;
    }
    if (auto error = parseLevel(levels.substr(dash + 1), last)) {
      return error;
    }
    if (first > last) {
      return fmt::format("range {}-{} runs backwards", first, last);
    }
  } else {
    if (auto error = parseLevel(levels, first)) {
      return error;
    }
    last = first;
  }
  // Bits first..last; computed in 64 bits so that last == 31 does not overflow.
  mask = static_cast<std::uint32_t>(((std::uint64_t{1} << (last + 1)) - 1) &
                                    ~((std::uint64_t{1} << first) - 1));
  return std::nullopt;
}

}  // namespace

ParseResult parse(std::string_view text) {
  ParseResult result;
  if (trim(text).empty()) {
    return result;
  }
  std::string_view rest = text;
  while (true) {
    auto comma = rest.find(',');
    std::string_view item = trim(rest.substr(0, comma));
    auto fail = [&](std::string_view why) {
      result.settings.clear();
      result.error = fmt::format(R"(bad trace item "{}" in "{}": {})", item, text, why);
      return result;
    };
    if (item.empty()) {
      return fail("empty item");
    }
    auto slash = item.rfind('/');
    if (slash == std::string_view::npos) {
      return fail("expected HANDLE/LEVELS");
    }
    std::string_view name = trim(item.substr(0, slash));
    std::string_view levels = trim(item.substr(slash + 1));
    if (name.empty()) {
      return fail("missing handle name");
    }
    if (levels.empty()) {
      return fail("missing levels after '/'");
    }
    std::uint32_t mask = 0;
    if (auto error = parseLevels(levels, mask)) {
      return fail(*error);
    }
    auto known = std::find_if(result.settings.begin(), result.settings.end(),
                              [&](const Setting& s) { return s.handle == name; });
    if (known != result.settings.end()) {
      known->mask |= mask;
    } else {
      result.settings.push_back(Setting{std::string(name), mask});
    }
    if (comma == std::string_view::npos) {
      break;
    }
    rest.remove_prefix(comma + 1);
  }
  return result;
}

std::optional<std::string> configure(std::string_view text) {
  Impl::configureFromEnvironmentOnce();
  auto parsed = parse(text);
  if (!parsed.ok()) {
    return std::move(parsed.error);
  }
  apply(parsed.settings);
  return std::nullopt;
}

namespace {

std::optional<std::string> applyEnvironment() {
  const char* value = std::getenv("TRACE");
  if (value == nullptr) {
    return std::nullopt;
  }
  auto parsed = parse(value);
  if (parsed.ok()) {
    apply(parsed.settings);
    return std::nullopt;
  }
  // Reported once per bad value, however often the environment is read.
  static std::mutex reportedMutex;
  static std::string reported;
  std::lock_guard lock(reportedMutex);
  if (reported != value) {
    reported = value;
    auto text = fmt::format("TRACE: {}; the TRACE setting is ignored\n", parsed.error);
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
  return std::move(parsed.error);
}

}  // namespace

std::optional<std::string> configureFromEnvironment() {
  Impl::configureFromEnvironmentOnce();
  return applyEnvironment();
}

namespace Impl {

void configureFromEnvironmentOnce() {
  static std::once_flag once;
  std::call_once(once, [] { applyEnvironment(); });
}

}  // namespace Impl

}  // namespace Trace
