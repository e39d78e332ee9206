// Crash safety: an agent killed with SIGKILL at a random point of a long
// commit/remove sequence restarts, replays the configuration it was meant to
// reach, purges, and the chip holds exactly that configuration.
//
// VELAR_CRASH_ITERATIONS sets the number of kill points (50 by default; a
// long run uses thousands). A failure prints the seed, which replays the
// same sequence (the kill point itself depends on timing).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

#include "tests/support/Support.h"

namespace VelarTest {
namespace {

// key -> (next hop, group); next hop n has hardware index 100 + n.
using Config = std::map<std::uint32_t, std::pair<std::uint32_t, std::uint8_t>>;

void commit(ChipTable& t, std::uint32_t key, std::uint32_t nextHop, std::uint8_t group) {
  t->entryCommit(key, Entry(t.nextHop(nextHop, 100 + nextHop), group));
}

// The chip holds exactly the configuration, one index user per slot, no fault.
std::string chipDiffers(SimChip::Control& chip, const Config& config) {
  for (std::uint32_t i = 0; i < chip.entries(); ++i) {
    const auto slot = chip.slot(i);
    SimChip::Slot expected;
    if (auto it = config.find(i); it != config.end()) {
      expected = SimChip::Slot{SimChip::SlotState::valid, 100 + it->second.first, it->second.second};
    }
    if (slot != expected) return "slot " + std::to_string(i) + " is " + SimChip::slotStateName(slot.state);
    if (chip.trackerCount(i) != (slot.allocated() ? 1u : 0u)) return "index " + std::to_string(i) + " users";
  }
  return chip.faults().empty() ? "" : "fault: " + chip.faults().front().line();
}
struct Op {
  bool remove;
  std::uint32_t key, nextHop;
  std::uint8_t group;
};

// The seed's commit/remove sequence, and the configuration it ends in.
std::pair<std::vector<Op>, Config> sequence(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<Op> ops(300);
  Config c;
  for (auto& op : ops) {
    op = {random() % 4 == 0, static_cast<std::uint32_t>(random() % 32),
          static_cast<std::uint32_t>(random() % 4), static_cast<std::uint8_t>(random() % 3)};
    if (op.remove) c.erase(op.key);
    else c[op.key] = {op.nextHop, op.group};
  }
  return {ops, c};
}

unsigned iterations() {
  const char* text = std::getenv("VELAR_CRASH_ITERATIONS");
  return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 50;
}

TEST(CrashSafety, KilledAtARandomPointTheRestartReachesTheConfigurationExactly) {
  TempDir dir;
  const std::string path = dir.file("chip");
  std::mt19937 timing(20261205);
  unsigned killedMidway = 0;
  for (unsigned i = 0; i < iterations(); ++i) {
    const std::uint32_t seed = 1000 + i;
    const auto [ops, c] = sequence(seed);
    std::remove(path.c_str());

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    std::fflush(nullptr);
    pid_t victim = ::fork();
    ASSERT_GE(victim, 0);
    if (victim == 0) {
      ::close(ready[0]);
      ChipTable t(path);
      char byte = 1;
      (void)!::write(ready[1], &byte, 1);
      for (const auto& op : ops) {
        if (op.remove) t->entryRemove(op.key);
        else commit(t, op.key, op.nextHop, op.group);
        t.settle();
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::usleep(std::uniform_int_distribution<unsigned>(0, 6000)(timing));
    ::kill(victim, SIGKILL);
    int status = 0;
    ::waitpid(victim, &status, 0);
    if (WIFSIGNALED(status)) ++killedMidway;

    // The restart: replay, init completion, purge.
    ChipTable t(path, true);
    for (const auto& [key, value] : c) commit(t, key, value.first, value.second);
    t->doInitComplete();
    t->purgeStaleEntries();
    t.settle();
    ASSERT_EQ(chipDiffers(t.chip(), c), "") << "seed " << seed;
  }
  // The delays are chosen so that most kills land inside the sequence.
  EXPECT_GT(killedMidway, 0u);
  std::printf("%u of %u agents killed before the end of their sequence\n", killedMidway, iterations());
}

}  // namespace
}  // namespace VelarTest
