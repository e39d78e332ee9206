#pragma once
// Where dvp-agent's lines go: standard output for what the agent shows (show
// lines, trace lines, adaptor lines, echo), standard error for diagnostics.
//
// Every line is flushed as it is written: an assertion of the table stops
// the process on the spot, and what was printed up to it must be out.
#include <string>
#include <string_view>
#include <vector>

namespace DvpAgent {

class Output {
 public:
  virtual ~Output() = default;
  virtual void line(std::string_view text) = 0;
  virtual void error(std::string_view text) = 0;
};

// The process's standard output and error.
class StandardOutput final : public Output {
 public:
  void line(std::string_view text) override;
  // Standard output is flushed first, so a terminal shows both in order.
  void error(std::string_view text) override;
};

// Keeps the lines (tests).
class CapturedOutput final : public Output {
 public:
  void line(std::string_view text) override { lines.emplace_back(text); }
  void error(std::string_view text) override { errors.emplace_back(text); }

  std::vector<std::string> lines;
  std::vector<std::string> errors;
};

}  // namespace DvpAgent
