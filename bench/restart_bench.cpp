// Warm restart against the cold start that programmed the same entries.
//
// Cold: a first start on an empty chip (read back finds nothing), the replay
// commits every entry (written inside the commit), the writes are confirmed,
// init completion and purge. Warm: a new table on the same chip reads the
// entries back, the replay commits the same entries unchanged, init
// completion and purge. The benchmark's time is the warm restart; the
// counters give both per key, their ratio and the warm restart's hardware
// writes and deletes (both must be zero).
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/MemoryChip.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

// One agent start on the chip, up to and including the purge.
double start(const Quill::Ptr<MemoryChip>& chip, const Entry::HandlePtr& nextHop, std::uint32_t n) {
  const auto began = Clock::now();
  auto table = tableOn(chip, /*replayComplete=*/false);
  table->syncEntries();
  for (std::uint32_t k = 0; k < n; ++k) table->entryCommit(k, Entry(nextHop, 1));
  chip->confirmAll(*table);
  table->doInitComplete();
  table->purgeStaleEntries();
  const std::chrono::duration<double> took = Clock::now() - began;
  detach(table);
  return took.count();
}

void warmRestart(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  nextHops->readyIs(1, 7);
  Entry::HandlePtr nextHop(nextHops->handleIs(1));
  double cold = 0;
  double warm = 0;
  std::uint64_t warmWrites = 0;
  std::uint64_t warmDeletes = 0;
  for (auto _ : state) {
    Quill::Ptr<MemoryChip> chip(new MemoryChip(n));
    const double coldTook = start(chip, nextHop, n);
    const auto writes = chip->writes();
    const auto deletes = chip->deletes();
    const double warmTook = start(chip, nextHop, n);
    warmWrites += chip->writes() - writes;
    warmDeletes += chip->deletes() - deletes;
    cold += coldTook;
    warm += warmTook;
    state.SetIterationTime(warmTook);
  }
  const double keys = static_cast<double>(state.iterations()) * n;
  state.counters["cold_ns_per_key"] = cold / keys * 1e9;
  state.counters["warm_ns_per_key"] = warm / keys * 1e9;
  state.counters["warm_over_cold"] = warm / cold;
  state.counters["warm_hw_writes"] = static_cast<double>(warmWrites);
  state.counters["warm_hw_deletes"] = static_cast<double>(warmDeletes);
}
BENCHMARK(warmRestart)->Arg(100'000)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bench
