#include "platform/Assert/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace Assert {

std::string sourceName(std::string_view file) {
  // Builds map the project root away (-fmacro-prefix-map); a path that still
  // carries directories above a known top-level folder is cut down to it.
  for (std::string_view top : {"AsicSwTable/", "VelarL3Vfi/", "platform/", "plugins/", "tools/",
                               "tests/", "examples/"}) {
    auto pos = file.rfind(top);
    if (pos != std::string_view::npos && (pos == 0 || file[pos - 1] == '/')) {
      file.remove_prefix(pos);
      break;
    }
  }
  auto dot = file.rfind('.');
  auto slash = file.rfind('/');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    file = file.substr(0, dot);
  }
  return std::string(file);
}

std::string report(std::string_view condition, std::string_view file, int line,
                   std::string_view message) {
  std::string text;
  if (!message.empty()) {
    text.append(message).append("\n");
  }
  text.append("assertion \"").append(condition).append("\" failed at ");
  text.append(sourceName(file)).append(":").append(std::to_string(line)).append("\n");
  return text;
}

void fail(const char* condition, const char* file, int line, std::string_view message) noexcept {
  try {
    auto text = report(condition, file, line, message);
    std::fwrite(text.data(), 1, text.size(), stderr);
  } catch (...) {
    std::fputs("assertion failed (report could not be built): ", stderr);
    std::fputs(condition, stderr);
    std::fputs("\n", stderr);
  }
  std::fflush(stderr);
  std::abort();
}

}  // namespace Assert
