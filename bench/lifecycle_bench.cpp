// The table's own cost per key, against the floor of a plain hash map.
//
// One pass takes every key through its whole life: commit with a ready next
// hop (resolved and written inside the commit), confirmation, removal (the
// delete dance's absent write), its confirmation (the delete) and the handle
// freed. Traces are off. Both benchmarks run one untimed pass first, so the
// collections have grown to size and the figures are those of a table that
// has been running.
#include <benchmark/benchmark.h>

#include <boost/unordered/unordered_flat_map.hpp>

#include "bench/LifeCycle.h"

namespace bench {
namespace {

void keyLifeCycle(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  LifeCycle cycle(n);
  cycle.pass();
  for (auto _ : state) cycle.pass();
  reportPerKey(state, n);
}
BENCHMARK(keyLifeCycle)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);


// The floor: insert, find and erase of the same keys in a flat map.
void flatMapFloor(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Entry::HandlePtr nh(nextHops->handleIs(1));
  boost::unordered_flat_map<std::uint32_t, Entry> map;
  auto pass = [&] {
    for (std::uint32_t k = 0; k < n; ++k) map.emplace(k, Entry(nh, 1));
    for (std::uint32_t k = 0; k < n; ++k) benchmark::DoNotOptimize(map.find(k));
    for (std::uint32_t k = 0; k < n; ++k) map.erase(k);
  };
  pass();
  for (auto _ : state) pass();
  reportPerKey(state, n);
}
BENCHMARK(flatMapFloor)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bench
