// Fan-out: N entries wait on one next hop, which then becomes ready. The
// time is that of the readiness: the watchers run, every entry resolves and
// is written, and every write is confirmed.
#include <benchmark/benchmark.h>

#include "bench/MemoryChip.h"
#include "platform/Activity/Activity.h"

namespace bench {
namespace {

void fanOut(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  Quill::Ptr<MemoryChip> chip(new MemoryChip(n));
  auto table = tableOn(chip);
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  std::uint32_t nextHopKey = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++nextHopKey;
    {
      Entry::HandlePtr nextHop(nextHops->handleIs(nextHopKey));
      for (std::uint32_t k = 0; k < n; ++k) table->entryCommit(k, Entry(nextHop, 1));
    }
    const auto writesBefore = chip->writes();
    state.ResumeTiming();

    nextHops->readyIs(nextHopKey, 7);
    Activity::runPending();
    chip->confirmAll(*table);

    state.PauseTiming();
    if (chip->writes() - writesBefore != n || table->unresolvedEntrys() != 0) {
      state.SkipWithError("not every waiting entry was written");
      break;
    }
    for (std::uint32_t k = 0; k < n; ++k) table->entryRemove(k);
    chip->confirmAll(*table);
    nextHops->handleDel(nextHopKey);
    state.ResumeTiming();
  }
  reportPerKey(state, n);
  detach(table);
}
BENCHMARK(fanOut)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bench
