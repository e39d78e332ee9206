#include "tools/dvp-agent/Shell.h"

#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace DvpAgent {

namespace {

constexpr const char* kPrompt = "dvp> ";
constexpr const char* kSource = "<shell>";

// One line of input, or nothing at the end of input.
class LineReader {
 public:
  LineReader() : interactive_(::isatty(STDIN_FILENO) != 0) {}
  ~LineReader() {
    if (interactive_) ::clear_history();
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool interactive() const noexcept { return interactive_; }

  std::optional<std::string> next() {
    if (!interactive_) {
      std::string line;
      if (!std::getline(std::cin, line)) return std::nullopt;
      return line;
    }
    std::unique_ptr<char, decltype(&std::free)> raw(::readline(kPrompt), &std::free);
    if (!raw) return std::nullopt;
    std::string line(raw.get());
    if (line.find_first_not_of(" \t") != std::string::npos) ::add_history(raw.get());
    return line;
  }

 private:
  bool interactive_;
};

std::string firstWord(const std::string& line) {
  const auto begin = line.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const auto end = line.find_first_of(" \t", begin);
  return line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

int runShell(Agent& agent, Parser& parser, Output& out) {
  LineReader reader;
  if (reader.interactive()) out.line("dvp-agent shell: `help` lists the commands, `quit` or Ctrl-D leaves.");
  bool failed = false;
  int number = 0;
  while (auto line = reader.next()) {
    ++number;
    const std::string word = firstWord(*line);
    if (word == "quit" || word == "exit") break;
    if (word == "help") {
      std::string_view text = helpText();
      while (!text.empty()) {
        const auto newline = text.find('\n');
        out.line(text.substr(0, newline));
        if (newline == std::string_view::npos) break;
        text.remove_prefix(newline + 1);
      }
      continue;
    }
    auto parsed = parser.parseLine(*line, kSource, number);
    if (const auto* error = std::get_if<ParseError>(&parsed)) {
      out.error(error->text());
    } else if (const auto* command = std::get_if<Command>(&parsed)) {
      if (!agent.run(*command)) failed = true;
    }
  }
  return failed ? 1 : 0;
}

}  // namespace DvpAgent
