// Fuzzes dvp-agent's scenario parser with whole files.
//
// Input: the text of a scenario file. The parser must not crash, and its
// answer must hold together: a file with errors yields no commands, every
// error and command names a line of the file, commands come in line order,
// and a line is reported at most once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "tools/dvp-agent/Scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;

  DvpAgent::Parser parser;
  const auto result = parser.parseText(text, "fuzz.dvp");

  FUZZ_CHECK(result.errors.empty() || result.commands.empty());
  int last = 0;
  for (const auto& error : result.errors) {
    FUZZ_CHECK(error.line > last && error.line <= lines, error.text());
    FUZZ_CHECK(error.file == "fuzz.dvp" && !error.message.empty(), error.text());
    last = error.line;
  }
  last = 0;
  for (const auto& command : result.commands) {
    FUZZ_CHECK(command.line > last && command.line <= lines, command.where());
    last = command.line;
  }
  return 0;
}
