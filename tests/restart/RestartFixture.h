#pragma once
// Agent restarts as separate processes sharing one chip file: each agent
// incarnation runs in a child process, and its checks decide the child's
// exit code (with the reason on standard error).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "VelarL3Vfi/AgentSession.h"
#include "platform/Activity/Activity.h"
#include "platform/Asic/NeededEntryTable.h"
#include "simchip/SimChipControl.h"

namespace VelarL3Vfi::restart {

using Entry = LocalDvpTable::Entry;
using Status = Asic::SwTable::ReconciliationStatus;

// A configuration: key -> (next hop, group). Next hop n has hardware index
// 100 + n in every incarnation.
struct Config {
  std::map<std::uint32_t, std::pair<std::uint32_t, std::uint8_t>> entries;
};

inline Asic::Index nextHopIndex(std::uint32_t nextHop) { return 100 + nextHop; }

// One agent incarnation on the chip file.
class Agent {
 public:
  explicit Agent(const std::string& chipFile, std::uint32_t entries = 1024)
      : session_(Asic::ChipInfo{0, chipFile, entries}),
        chip_(dynamic_cast<SimChip::Control*>(session_.table().util())),
        nextHops_(Asic::NeededEntryTable::NeededEntryTableIs("nextHop")) {}

  LocalDvpTable& table() { return session_.table(); }
  SimChip::Control& chip() { return *chip_; }
  Asic::NeededEntryTable& nextHops() { return *nextHops_; }

  void ready(std::uint32_t nextHop) { nextHops_->readyIs(nextHop, nextHopIndex(nextHop)); }
  void commit(std::uint32_t key, std::uint32_t nextHop, std::uint8_t group) {
    table().entryCommit(key, Entry(nextHops_->handleIs(nextHop), group));
  }
  void replay(const Config& config) {
    for (const auto& [key, value] : config.entries) {
      ready(value.first);
      commit(key, value.first, value.second);
    }
  }
  void initComplete() { session_.initComplete(); }
  // Delivers confirmations and deferred work until nothing is left.
  void settle() {
    while (chip_->deliverAll() + Activity::runPending() != 0) {
    }
  }

  // Writes and deletes in the call log.
  std::pair<std::size_t, std::size_t> writeAndDeleteCounts() const {
    std::pair<std::size_t, std::size_t> counts{0, 0};
    for (const auto& call : chip_->callLog()) {
      if (call.operation == "write") ++counts.first;
      if (call.operation == "delete") ++counts.second;
    }
    return counts;
  }

  std::vector<std::string> writesAndDeletes() const {
    std::vector<std::string> lines;
    for (const auto& call : chip_->callLog()) {
      if (call.operation == "write" || call.operation == "delete") lines.push_back(call.line());
    }
    return lines;
  }

 private:
  AgentSession session_;
  SimChip::Control* chip_;
  Quill::Ptr<Asic::NeededEntryTable> nextHops_;
};

// Reports a failed check of a child process and fails it.
#define RESTART_CHECK(cond)                                                   \
  do {                                                                        \
    if (!(cond)) {                                                            \
      std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__); \
      return 1;                                                               \
    }                                                                         \
  } while (false)

// Runs an agent incarnation in a child process; returns its exit code.
inline int incarnation(const std::function<int()>& body) {
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    int code = 2;
    try {
      code = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "incarnation failed: %s\n", e.what());
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The chip holds exactly the configuration, with one index user per slot
// and no tracker fault.
inline bool chipHolds(SimChip::Control& chip, const Config& config, std::string& why) {
  for (std::uint32_t i = 0; i < chip.entries(); ++i) {
    auto slot = chip.slot(i);
    auto it = config.entries.find(i);
    SimChip::Slot expected;
    if (it != config.entries.end()) {
      expected = SimChip::Slot{SimChip::SlotState::valid, nextHopIndex(it->second.first), it->second.second};
    }
    if (slot != expected) {
      why = "slot " + std::to_string(i) + " is " + SimChip::slotStateName(slot.state) + " group " +
            std::to_string(slot.group) + " nextHop " + std::to_string(slot.nextHop);
      return false;
    }
    if (chip.trackerCount(i) != (slot.allocated() ? 1u : 0u)) {
      why = "index " + std::to_string(i) + " has " + std::to_string(chip.trackerCount(i)) + " users";
      return false;
    }
  }
  if (!chip.faults().empty()) {
    why = "fault: " + chip.faults().front().line();
    return false;
  }
  return true;
}

class ChipFile : public ::testing::Test {
 protected:
  ChipFile() { std::filesystem::remove(path); }
  ~ChipFile() override { std::filesystem::remove(path); }
  std::string path = (std::filesystem::temp_directory_path() /
                      ("restart-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".chip"))
                         .string();
};

}  // namespace VelarL3Vfi::restart
