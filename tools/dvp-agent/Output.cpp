#include "tools/dvp-agent/Output.h"

#include <cstdio>
#include <string>

namespace DvpAgent {

namespace {

void writeLine(std::FILE* stream, std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  out.append(text).push_back('\n');
  std::fwrite(out.data(), 1, out.size(), stream);
  std::fflush(stream);
}

}  // namespace

void StandardOutput::line(std::string_view text) { writeLine(stdout, text); }

void StandardOutput::error(std::string_view text) {
  std::fflush(stdout);
  writeLine(stderr, text);
}

}  // namespace DvpAgent
