// Crash safety: an agent killed with SIGKILL at a random point of a long
// commit/remove sequence restarts, replays the configuration it was meant to
// reach, purges, and the chip holds exactly that configuration.
//
// VELAR_CRASH_ITERATIONS sets the number of kill points (50 by default; a
// long run uses thousands). A failure prints the seed, which replays the
// same sequence (the kill point itself depends on timing).
#include <signal.h>

#include <cstdlib>
#include <random>

#include "RestartFixture.h"

namespace VelarL3Vfi::restart {
namespace {

struct Op {
  bool remove;
  std::uint32_t key;
  std::uint32_t nextHop;
  std::uint8_t group;
};

std::vector<Op> sequence(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<Op> ops(300);
  for (auto& op : ops) {
    op.remove = random() % 4 == 0;
    op.key = random() % 32;
    op.nextHop = random() % 4;
    op.group = static_cast<std::uint8_t>(random() % 3);
  }
  return ops;
}

Config target(const std::vector<Op>& ops) {
  Config c;
  for (const auto& op : ops) {
    if (op.remove) {
      c.entries.erase(op.key);
    } else {
      c.entries[op.key] = {op.nextHop, op.group};
    }
  }
  return c;
}

unsigned iterations() {
  const char* text = std::getenv("VELAR_CRASH_ITERATIONS");
  return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 50;
}

TEST_F(ChipFile, KilledAtARandomPointTheRestartReachesTheConfigurationExactly) {
  std::mt19937 timing(20261205);
  unsigned killedMidway = 0;
  for (unsigned i = 0; i < iterations(); ++i) {
    const std::uint32_t seed = 1000 + i;
    const auto ops = sequence(seed);
    std::filesystem::remove(path);

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    std::fflush(nullptr);
    pid_t victim = ::fork();
    ASSERT_GE(victim, 0);
    if (victim == 0) {
      ::close(ready[0]);
      Agent agent(path);
      agent.initComplete();
      for (std::uint32_t n = 0; n < 4; ++n) agent.ready(n);
      char byte = 1;
      (void)!::write(ready[1], &byte, 1);
      for (const auto& op : ops) {
        if (op.remove) {
          agent.table().entryRemove(op.key);
        } else {
          agent.commit(op.key, op.nextHop, op.group);
        }
        agent.settle();
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

    const Config c = target(ops);
    ASSERT_EQ(incarnation([&] {
                Agent agent(path);
                agent.replay(c);
                agent.initComplete();
                agent.settle();
                std::string why;
                if (!chipHolds(agent.chip(), c, why)) {
                  std::fprintf(stderr, "seed %u: %s\n", seed, why.c_str());
                  return 1;
                }
                return 0;
              }),
              0)
        << "seed " << seed;
  }
  // The delays are chosen so that most kills land inside the sequence.
  EXPECT_GT(killedMidway, 0u);
  std::printf("%u of %u agents killed before the end of their sequence\n", killedMidway, iterations());
}

}  // namespace
}  // namespace VelarL3Vfi::restart
