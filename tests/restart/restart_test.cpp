// Agent restarts against the simulated chip's file: what the replay leaves
// alone, rewrites, writes and purges.
#include "RestartFixture.h"

#include <cstdlib>

namespace VelarL3Vfi::restart {
namespace {

Config config(std::uint32_t keys) {
  Config c;
  for (std::uint32_t k = 0; k < keys; ++k) c.entries[k] = {k % 4, static_cast<std::uint8_t>(k % 7)};
  return c;
}

int firstStart(const std::string& path, const Config& c) {
  Agent agent(path);
  agent.initComplete();  // a fresh chip: nothing to reconcile
  agent.replay(c);
  agent.settle();
  std::string why;
  if (!chipHolds(agent.chip(), c, why)) {
    std::fprintf(stderr, "first start: %s\n", why.c_str());
    return 1;
  }
  return 0;
}

TEST_F(ChipFile, AnUnchangedConfigurationWritesNothingAfterARestart) {
  const Config c = config(200);
  ASSERT_EQ(incarnation([&] { return firstStart(path, c); }), 0);
  EXPECT_EQ(incarnation([&] {
              Agent agent(path);
              RESTART_CHECK(agent.table().syncedEntrys() == 200);
              agent.replay(c);
              agent.initComplete();
              agent.settle();
              RESTART_CHECK(agent.writesAndDeletes().empty());
              const auto& stats = agent.table().statistics();
              RESTART_CHECK(stats.count(Status::matched) == 200);
              RESTART_CHECK(stats.count(Status::mismatched) + stats.count(Status::missing) +
                                stats.count(Status::deleted) == 0);
              std::string why;
              RESTART_CHECK(chipHolds(agent.chip(), c, why));
              return 0;
            }),
            0);
}

TEST_F(ChipFile, ChangedNewAndDroppedEntriesAreWrittenOnceAndDeletedOnlyByThePurge) {
  const Config before = config(50);
  Config after = before;
  after.entries[1].second = 99;  // changed
  after.entries.erase(2);        // dropped
  after.entries[700] = {1, 5};   // new
  ASSERT_EQ(incarnation([&] { return firstStart(path, before); }), 0);
  EXPECT_EQ(incarnation([&] {
              Agent agent(path);
              agent.replay(after);
              agent.settle();
              RESTART_CHECK((agent.writesAndDeletes() ==
                             std::vector<std::string>{"write key=1 group=99 nextHop=101",
                                                      "write key=700 group=5 nextHop=101"}));
              agent.chip().callLogClear();
              agent.initComplete();
              agent.settle();
              RESTART_CHECK((agent.writesAndDeletes() == std::vector<std::string>{"delete key=2"}));
              const auto& stats = agent.table().statistics();
              RESTART_CHECK(stats.count(Status::matched) == 48);
              RESTART_CHECK(stats.count(Status::mismatched) == 1);
              RESTART_CHECK(stats.count(Status::missing) == 1);
              RESTART_CHECK(stats.count(Status::deleted) == 1);
              std::string why;
              RESTART_CHECK(chipHolds(agent.chip(), after, why));
              return 0;
            }),
            0);
}

TEST_F(ChipFile, AnEntryStillWaitingAtInitCompletionKeepsItsCopyUntilItResolves) {
  Config c;
  c.entries[3] = {5, 2};
  ASSERT_EQ(incarnation([&] { return firstStart(path, c); }), 0);
  EXPECT_EQ(incarnation([&] {
              Agent agent(path);
              agent.commit(3, 5, 2);  // next hop 5 has no index yet in this incarnation
              auto suggestions = agent.nextHops().handle(5)->indexSuggestions();
              RESTART_CHECK(suggestions.size() == 1 && *suggestions[0].begin() == nextHopIndex(5));
              agent.initComplete();
              agent.settle();
              RESTART_CHECK(agent.table().statistics().count(Status::mismatched) == 1);
              RESTART_CHECK(agent.writesAndDeletes().empty());
              RESTART_CHECK(agent.chip().slot(3).state == SimChip::SlotState::valid);
              agent.ready(5);
              agent.settle();
              RESTART_CHECK((agent.writesAndDeletes() ==
                             std::vector<std::string>{"write key=3 group=2 nextHop=105"}));
              std::string why;
              RESTART_CHECK(chipHolds(agent.chip(), c, why));
              return 0;
            }),
            0);
}

}  // namespace
}  // namespace VelarL3Vfi::restart

namespace VelarL3Vfi::restart {
namespace {

// A restart at scale: the hardware traffic of an unchanged, a partly changed
// and a partly dropped configuration. VELAR_RESTART_ENTRIES sets the size
// (2,000 by default; 100,000 for the figures in the docs).
TEST_F(ChipFile, AtScaleTheReplayWritesOnlyWhatChangedAndDeletesOnlyWhatWasDropped) {
  const char* text = std::getenv("VELAR_RESTART_ENTRIES");
  const std::uint32_t n = text ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : 2000;
  const std::uint32_t part = n / 10;
  Config full;
  for (std::uint32_t k = 0; k < n; ++k) full.entries[k] = {k % 4, static_cast<std::uint8_t>(k % 7)};
  Config changed = full;
  for (std::uint32_t k = 0; k < part; ++k) changed.entries[k].second = 200;
  Config dropped = changed;
  for (std::uint32_t k = n - part; k < n; ++k) dropped.entries.erase(k);

  auto restartWith = [&](const Config& c, std::size_t writes, std::size_t deletes) {
    return incarnation([&] {
      Agent agent(path, n);
      agent.replay(c);
      agent.initComplete();
      agent.settle();
      auto [w, d] = agent.writeAndDeleteCounts();
      std::printf("restart with %u entries in the chip, %zu committed: %zu writes, %zu deletes\n", n,
                  c.entries.size(), w, d);
      RESTART_CHECK(w == writes && d == deletes);
      std::string why;
      RESTART_CHECK(chipHolds(agent.chip(), c, why));
      return 0;
    });
  };
  ASSERT_EQ(incarnation([&] {
              Agent agent(path, n);
              agent.initComplete();
              agent.replay(full);
              agent.settle();
              return agent.writeAndDeleteCounts().first == n ? 0 : 1;
            }),
            0);
  EXPECT_EQ(restartWith(full, 0, 0), 0);
  EXPECT_EQ(restartWith(changed, part, 0), 0);
  EXPECT_EQ(restartWith(dropped, 0, part), 0);
}

}  // namespace
}  // namespace VelarL3Vfi::restart
