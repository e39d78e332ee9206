#pragma once
// What the fuzz targets share: a check that stops the run with a report, so
// that libFuzzer records the input as a crash.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace VelarFuzz {

[[noreturn]] inline void failed(const char* condition, const char* file, int line, const std::string& detail) {
  std::fprintf(stderr, "fuzz check \"%s\" failed at %s:%d%s%s\n", condition, file, line,
               detail.empty() ? "" : ": ", detail.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace VelarFuzz

// FUZZ_CHECK(cond) / FUZZ_CHECK(cond, detail): detail is a std::string
// expression, built only when the check fails.
#define FUZZ_CHECK(cond, ...)                                                      \
  do {                                                                             \
    if (!static_cast<bool>(cond)) {                                                \
      ::VelarFuzz::failed(#cond, __FILE__, __LINE__, std::string(__VA_ARGS__));    \
    }                                                                              \
  } while (false)
