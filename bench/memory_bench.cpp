// Memory per programmed entry at 1M keys, dense in order and random over a
// 16M index range, against a flat map of key to Entry.
//
// The figure is what the entries took while they were committed and
// confirmed, divided by their number: the heap's growth (the glibc
// allocator's statistics, mmapped chunks included) without the blocks the
// slab allocator reserved from it meanwhile (the hash collections), plus the
// growth of the slab allocator's live objects (handles, queue chunks). Free
// objects in the slab's blocks are the allocator's slack, as free memory in
// the heap is the heap's.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <boost/unordered/unordered_flat_map.hpp>

#include "bench/LifeCycle.h"
#include "platform/Memory/Slab.h"

namespace bench {
namespace {

std::size_t heapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void memoryPerEntry(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  const auto keys = state.range(1) != 0 ? randomKeys(n) : denseKeys(n);
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  nextHops->readyIs(1, 7);
  Entry::HandlePtr nextHop(nextHops->handleIs(1));
  Quill::Ptr<MemoryChip> chip(new MemoryChip(chipSizeFor(keys)));
  auto& slab = Quill::SlabAllocator::instance();
  for (auto _ : state) {
    auto table = tableOn(chip);
    const std::size_t heapBefore = heapBytes();
    const std::size_t slabBefore = slab.inUseBytes();
    const std::size_t reservedBefore = slab.reservedBytes();
    for (std::uint32_t k : keys) table->entryCommit(k, Entry(nextHop, 1));
    chip->confirmAll(*table);
    const double perEntry = 1.0 / n;
    const auto collections = static_cast<double>(heapBytes() - heapBefore - (slab.reservedBytes() - reservedBefore));
    const auto slabObjects = static_cast<double>(slab.inUseBytes() - slabBefore);
    state.counters["bytes_per_entry"] = (collections + slabObjects) * perEntry;
    state.counters["slab_objects_per_entry"] = slabObjects * perEntry;
    state.counters["collections_per_entry"] = collections * perEntry;
    state.counters["handle_bytes"] = static_cast<double>(sizeof(LocalDvpTable::EntryHandle));
    if (table->resolvedEntrys() != n) state.SkipWithError("not every entry was programmed");
    detach(table);
  }
}
BENCHMARK(memoryPerEntry)
    ->ArgNames({"keys", "random"})
    ->Args({1'000'000, 0})
    ->Args({1'000'000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void memoryFloor(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Entry::HandlePtr nextHop(nextHops->handleIs(1));
  for (auto _ : state) {
    const std::size_t heapBefore = heapBytes();
    boost::unordered_flat_map<std::uint32_t, Entry> map;
    for (std::uint32_t k = 0; k < n; ++k) map.emplace(k, Entry(nextHop, 1));
    state.counters["bytes_per_entry"] = static_cast<double>(heapBytes() - heapBefore) / n;
  }
}
BENCHMARK(memoryFloor)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bench
