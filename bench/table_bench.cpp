// The table's own cost per key, against the floor of a plain hash map.
//
// The adaptor here does no work of its own (it keeps the keys it was asked
// to write and confirms them on request), so the figures are the table's:
// commit with a ready next hop (resolved and written inside the commit),
// confirmation, removal (the delete dance's absent write), its confirmation
// (the delete) and the handle freed. Traces are off.
#include <benchmark/benchmark.h>

#include <boost/unordered/unordered_flat_map.hpp>
#include <vector>

#include "VelarL3Vfi/LocalDvpTable.h"
#include "platform/Asic/NeededEntryTable.h"

namespace {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using Index = Asic::SwTableBase::Index;

class NullChip : public LocalDvpTable::Util {
 public:
  NullChip() : LocalDvpTable::Util("null") {}
  std::uint32_t minIndex() const override { return 0; }
  std::uint32_t maxIndex() const override { return 0xFFFFFFFE; }
  void hwTableEntryIs(LocalDvpTable*, Index key, const Kiv::Optional<Entry>&) const override {
    pending_.push_back(key.value);
  }
  void hwTableEntryDel(LocalDvpTable*, Index) const override {}
  void updateHwIndexRefCountTracker(Asic::HwTable*, Index, Asic::IndexUserTracker::OpType) const override {}
  bool compareHwEntries(LocalDvpTable*, Index, const Entry&) const override { return true; }
  void syncEntries(Asic::HwTable*, const Quill::Ptr<LocalDvpTable>&) const override {}

  // Confirms every pending write, in write order.
  void confirmAll(LocalDvpTable& table) const {
    std::vector<std::uint32_t> keys;
    keys.swap(pending_);
    for (std::uint32_t key : keys) {
      Asic::WriteResponseRecord record{key, key};
      table.hwWriteResponseIs(&record, sizeof record);
    }
  }

 private:
  mutable std::vector<std::uint32_t> pending_;
};

void keyLifeCycle(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  Quill::Ptr<LocalDvpTable> table(new LocalDvpTable());
  Quill::Ptr<NullChip> chip(new NullChip());
  table->utilIs(chip);
  table->configReplayCompleteIs(true);
  table->writeResponseSmIs(table.get());
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  nextHops->readyIs(1, 7);
  Entry::HandlePtr nh(nextHops->handleIs(1));
  for (auto _ : state) {
    for (std::uint32_t k = 0; k < n; ++k) table->entryCommit(k, Entry(nh, 1));
    chip->confirmAll(*table);
    for (std::uint32_t k = 0; k < n; ++k) table->entryRemove(k);
    chip->confirmAll(*table);
    if (table->entrys() != 0) state.SkipWithError("handles left behind");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
  state.counters["ns_per_key"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(keyLifeCycle)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The floor: insert, find and erase of the same keys in a flat map.
void flatMapFloor(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Entry::HandlePtr nh(nextHops->handleIs(1));
  boost::unordered_flat_map<std::uint32_t, Entry> map;
  for (auto _ : state) {
    for (std::uint32_t k = 0; k < n; ++k) map.emplace(k, Entry(nh, 1));
    for (std::uint32_t k = 0; k < n; ++k) benchmark::DoNotOptimize(map.find(k));
    for (std::uint32_t k = 0; k < n; ++k) map.erase(k);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
  state.counters["ns_per_key"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(flatMapFloor)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
