// dvp-agent: an agent process for the local DVP table on a simulated chip.
//
//   dvp-agent                     the built-in tour on a fresh chip
//   dvp-agent run FILE...         scenario files, in order (- reads standard input)
//   dvp-agent shell               commands typed one at a time
//   dvp-agent chip dump --chip PATH
//   dvp-agent fastlog PATH        decode a binary trace file
//
// Exit status: 0 when everything ran and every expectation held, 1 when an
// expectation failed, 2 when nothing could run (a scenario error, a refused
// chip, a bad option). An assertion of the table aborts the process.
#include <signal.h>  // NOLINT(modernize-deprecated-headers): sigaction is POSIX, not <csignal>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FastLog/Decoder.h"
#include "platform/FastLog/FastLog.h"
#include "platform/Trace/TraceConfig.h"
#include "plugins/simchip/Chip.h"
#include "tools/dvp-agent/Agent.h"
#include "tools/dvp-agent/Format.h"
#include "tools/dvp-agent/Output.h"
#include "tools/dvp-agent/Scenario.h"
#include "tools/dvp-agent/Shell.h"
#include "tools/dvp-agent/Tour.h"

#ifndef DVP_AGENT_VERSION
#define DVP_AGENT_VERSION "0"
#endif

namespace {

using namespace DvpAgent;

constexpr int kOk = 0;
constexpr int kExpectFailed = 1;
constexpr int kError = 2;

constexpr std::size_t kFastLogBytes = std::size_t{1} << 20;

StandardOutput out;

void fail(const std::string& message) { out.error("dvp-agent: error: " + message); }

// A fresh directory for a chip that nobody named; removed with everything in
// it when the program ends.
class TemporaryChip {
 public:
  TemporaryChip() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dvp-agent.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw StartError("cannot make a temporary directory: " + std::string(std::strerror(errno)));
    }
    dir_ = pattern;
    file_ = dir_ + "/chip";
  }
  ~TemporaryChip() { remove(); }
  TemporaryChip(const TemporaryChip&) = delete;
  TemporaryChip& operator=(const TemporaryChip&) = delete;

  const std::string& file() const noexcept { return file_; }
  // Async-signal-safe: also used when an assertion stops the process.
  void remove() const noexcept {
    ::unlink(file_.c_str());
    ::rmdir(dir_.c_str());
  }

 private:
  std::string dir_;
  std::string file_;
};

// What must still happen when an assertion of the table aborts the process:
// the adaptor calls made before it printed, standard output flushed, the
// binary trace saved, a temporary chip removed.
struct AbortState {
  Agent* agent = nullptr;
  const FastLog::Log* fastLog = nullptr;
  const std::string* fastLogPath = nullptr;
  const TemporaryChip* temporaryChip = nullptr;
};
AbortState abortState;

extern "C" void onAbort(int) {
  // The signal comes from abort() on this thread, outside any allocation, so
  // the agent's ordinary printing is safe enough here.
  if (abortState.agent != nullptr) abortState.agent->drainAdaptorLog();
  std::fflush(stdout);
  if (abortState.fastLog != nullptr && abortState.fastLogPath != nullptr) {
    try {
      abortState.fastLog->saveTo(*abortState.fastLogPath);
    } catch (...) {
    }
  }
  if (abortState.temporaryChip != nullptr) abortState.temporaryChip->remove();
  // SA_RESETHAND put the default action back: abort() goes on and stops us.
}

void installAbortHandler() {
  struct sigaction action {};
  action.sa_handler = onAbort;
  sigemptyset(&action.sa_mask);
  action.sa_flags = static_cast<int>(SA_RESETHAND);
  ::sigaction(SIGABRT, &action, nullptr);
}

struct ScenarioText {
  std::string name;
  std::string text;
};

std::optional<ScenarioText> readScenario(const std::string& path) {
  if (path == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    return ScenarioText{"<stdin>", text.str()};
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fail("cannot read " + path + ": " + std::strerror(errno));
    return std::nullopt;
  }
  return ScenarioText{path, std::string(std::istreambuf_iterator<char>(in), {})};
}

struct Settings {
  std::optional<std::string> chip;
  std::uint32_t chipSize = 0;
  bool hwIndexInHandle = false;
  std::optional<std::string> trace;
  bool adaptorLog = false;
  bool autoConfirm = false;
  std::optional<std::string> fastLog;
};

// The agent and what lives around it for one run: the chip (a temporary one
// unless named), the binary trace, the abort handler's view of them.
class Run {
 public:
  explicit Run(const Settings& settings) : settings_(settings) {
    try {
      start();
    } catch (...) {
      forget();
      throw;
    }
  }
  ~Run() {
    forget();
    agent_.reset();
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  Agent& agent() { return *agent_; }

  // Stops the agent and saves the binary trace (when asked for); false when
  // it could not be saved.
  bool finish() {
    abortState.agent = nullptr;
    agent_.reset();
    if (!fastLog_) return true;
    try {
      fastLog_->saveTo(*settings_.fastLog);
    } catch (const std::exception& e) {
      fail(e.what());
      return false;
    }
    return true;
  }

 private:
  void start() {
    if (settings_.fastLog) {
      fastLog_ = std::make_unique<FastLog::Log>(kFastLogBytes);
      FastLog::defaultHandleIs(fastLog_.get());
      abortState.fastLog = fastLog_.get();
      abortState.fastLogPath = &*settings_.fastLog;
    }
    AgentOptions options;
    if (settings_.chip) {
      options.chip = *settings_.chip;
    } else {
      temporaryChip_ = std::make_unique<TemporaryChip>();
      abortState.temporaryChip = temporaryChip_.get();
      options.chip = temporaryChip_->file();
    }
    options.chipEntries = settings_.chipSize;
    options.hwIndexInHandle = settings_.hwIndexInHandle;
    options.adaptorLog = settings_.adaptorLog;
    options.autoConfirm = settings_.autoConfirm;
    agent_ = std::make_unique<Agent>(std::move(options), out);
    abortState.agent = agent_.get();
  }

  // The abort handler must not reach what is about to go.
  void forget() {
    abortState = AbortState{};
    if (fastLog_) FastLog::defaultHandleIs(nullptr);
  }

  const Settings& settings_;
  std::unique_ptr<FastLog::Log> fastLog_;
  std::unique_ptr<TemporaryChip> temporaryChip_;
  std::unique_ptr<Agent> agent_;
};

int runScenarios(const Settings& settings, const std::vector<ScenarioText>& scenarios) {
  // Everything is parsed before anything runs: a file in error changes nothing.
  Parser parser;
  std::vector<Command> commands;
  bool bad = false;
  for (const auto& scenario : scenarios) {
    auto result = parser.parseText(scenario.text, scenario.name);
    for (const auto& error : result.errors) out.error(error.text());
    bad = bad || !result.errors.empty();
    for (auto& command : result.commands) commands.push_back(std::move(command));
  }
  if (bad) return kError;

  Run run(settings);
  bool failed = false;
  for (const auto& command : commands) {
    try {
      if (!run.agent().run(command)) failed = true;
    } catch (const std::exception& e) {
      fail(command.where() + ": " + e.what());
      run.finish();
      return kError;
    }
  }
  if (!run.finish()) return kError;
  return failed ? kExpectFailed : kOk;
}

int runShellMode(const Settings& settings) {
  Run run(settings);
  Parser parser;
  int code = kOk;
  try {
    code = runShell(run.agent(), parser, out);
  } catch (const std::exception& e) {
    fail(e.what());
    return kError;
  }
  if (!run.finish()) return kError;
  return code;
}

// Prints what an agent starting on the chip file would find, without
// starting one: the file is only read.
int dumpChip(const Settings& settings) {
  if (!settings.chip) {
    fail("chip dump needs --chip PATH");
    return kError;
  }
  if (!std::filesystem::exists(*settings.chip)) {
    fail("no chip file at " + *settings.chip);
    return kError;
  }
  std::vector<SimChip::ChipFile::Record> records;
  try {
    records = SimChip::Chip::recoveredRecords(*settings.chip);
  } catch (const SimChip::ChipError& e) {
    fail(e.what());
    return kError;
  }
  out.line("chip " + *settings.chip + " entries=" + std::to_string(records.size()));
  for (std::uint32_t i = 0; i < records.size(); ++i) {
    if (const auto slot = SimChip::Chip::slotOf(records[i]); slot.allocated()) out.line(hwLine(i, slot));
  }
  for (std::uint32_t i = 0; i < records.size(); ++i) {
    if (records[i].users != 0) out.line(trackerLine(i, records[i].users));
  }
  return kOk;
}

int decodeFastLog(const std::string& path) {
  try {
    for (const auto& line : FastLog::decodeFile(path)) out.line(line);
  } catch (const std::exception& e) {
    fail(e.what());
    return kError;
  }
  return kOk;
}

int runMain(int argc, char** argv) {
  CLI::App app{"dvp-agent: the local DVP table of a layer-3 VFI on a simulated chip, driven by scenarios",
               "dvp-agent"};
  app.footer(
      "With no command, dvp-agent runs its built-in tour on a fresh chip and tells what happens.\n"
      "Scenario commands: run `dvp-agent shell` and type `help`.");
  app.set_version_flag("--version", std::string("dvp-agent ") + DVP_AGENT_VERSION);

  Settings settings;
  app.add_option("--chip", settings.chip,
                 "the chip's file, created when missing (default: a fresh temporary chip removed at exit)")
      ->type_name("PATH");
  app.add_option("--chip-size", settings.chipSize,
                 "the number of entries of a new chip (an existing chip of another size is refused)")
      ->type_name("N")
      ->check(CLI::Range(1u, 1u << 24));
  app.add_flag("--hw-index-in-handle", settings.hwIndexInHandle,
               "the framework publishes hardware indices in entry handles as it writes them");
  app.add_option("--trace", settings.trace, "trace setting, as in TRACE (e.g. VelarL3Vfi::LocalDvpTable/5-9)")
      ->type_name("SETTING");
  app.add_flag("--adaptor-log", settings.adaptorLog, "print every adaptor call and write confirmation");
  app.add_flag("--auto-confirm", settings.autoConfirm, "the chip confirms every write by itself");
  app.add_option("--fastlog", settings.fastLog, "save the binary trace to PATH at exit")->type_name("PATH");

  std::vector<std::string> files;
  auto* run = app.add_subcommand("run", "run scenario files in order, as one agent (- reads standard input)");
  run->add_option("files", files, "scenario files")->required()->type_name("FILE");
  auto* shell = app.add_subcommand("shell", "type scenario commands one at a time (`help` lists them)");
  auto* chip = app.add_subcommand("chip", "look at a chip file");
  auto* dump = chip->add_subcommand("dump", "print the chip's table and index users (needs --chip PATH)");
  chip->require_subcommand(1);
  std::string fastLogFile;
  auto* fastlog = app.add_subcommand("fastlog", "decode a binary trace file saved with --fastlog");
  fastlog->add_option("path", fastLogFile, "the file")->required()->type_name("PATH");
  for (auto* sub : {run, shell, chip, dump, fastlog}) sub->fallthrough();
  app.require_subcommand(0, 1);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kOk : kError;
  }

  if (*fastlog) return decodeFastLog(fastLogFile);
  if (settings.trace) {
    if (auto error = Trace::configure(*settings.trace)) {
      fail("--trace: " + *error);
      return kError;
    }
  }
  installAbortHandler();
  try {
    if (*shell) return runShellMode(settings);
    if (*dump) return dumpChip(settings);
    std::vector<ScenarioText> scenarios;
    if (*run) {
      for (const auto& file : files) {
        auto scenario = readScenario(file);
        if (!scenario) return kError;
        scenarios.push_back(std::move(*scenario));
      }
    } else {
      scenarios.push_back(ScenarioText{std::string(kTourName), std::string(tourScenario())});
    }
    return runScenarios(settings, scenarios);
  } catch (const StartError& e) {
    fail(e.what());
    return kError;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Anything runMain did not expect still ends the agent with a message and
  // the status of a run that could not go on, not with std::terminate.
  try {
    return runMain(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dvp-agent: error: %s\n", e.what());
  } catch (...) {
    std::fputs("dvp-agent: error: unknown exception\n", stderr);
  }
  return kError;
}
