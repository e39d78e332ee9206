// The table's own cost per key, against the floor of a plain hash map, for
// dense keys in order and for random keys spread over a 16M index range.
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

void lifeCycleOf(benchmark::State& state, std::vector<std::uint32_t> keys) {
  const auto n = static_cast<std::uint32_t>(keys.size());
  LifeCycle cycle(std::move(keys));
  cycle.pass();
  for (auto _ : state) cycle.pass();
  reportPerKey(state, n);
}

// The floor: insert, find and erase of the same keys in a flat map.
void flatMapFloorOf(benchmark::State& state, const std::vector<std::uint32_t>& keys) {
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Entry::HandlePtr nh(nextHops->handleIs(1));
  boost::unordered_flat_map<std::uint32_t, Entry> map;
  auto pass = [&] {
    for (std::uint32_t k : keys) map.emplace(k, Entry(nh, 1));
    for (std::uint32_t k : keys) benchmark::DoNotOptimize(map.find(k));
    for (std::uint32_t k : keys) map.erase(k);
  };
  pass();
  for (auto _ : state) pass();
  reportPerKey(state, keys.size());
}

std::uint32_t keysOf(const benchmark::State& state) { return static_cast<std::uint32_t>(state.range(0)); }

void keyLifeCycle(benchmark::State& state) { lifeCycleOf(state, denseKeys(keysOf(state))); }
void keyLifeCycleRandom(benchmark::State& state) { lifeCycleOf(state, randomKeys(keysOf(state))); }
void flatMapFloor(benchmark::State& state) { flatMapFloorOf(state, denseKeys(keysOf(state))); }
void flatMapFloorRandom(benchmark::State& state) { flatMapFloorOf(state, randomKeys(keysOf(state))); }

BENCHMARK(keyLifeCycle)->RangeMultiplier(10)->Range(1'000, 1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(flatMapFloor)->RangeMultiplier(10)->Range(1'000, 1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(keyLifeCycleRandom)->RangeMultiplier(10)->Range(1'000, 1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(flatMapFloorRandom)->RangeMultiplier(10)->Range(1'000, 1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bench
