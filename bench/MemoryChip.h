#pragma once
// A chip adaptor for benchmarks that does as little as an adaptor can: it
// keeps one slot per key in a vector, remembers which writes await their
// confirmation and confirms them on request, and counts writes and deletes.
// Reading back after a restart hands the table every valid slot. So the
// figures measured with it are the table's own.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "VelarL3Vfi/LocalDvpTable.h"
#include "platform/Asic/HwTable.h"
#include "simulation/NeededEntryTable.h"

namespace bench {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using Index = Asic::SwTableBase::Index;

class MemoryChip : public LocalDvpTable::Util {
 public:
  struct Slot {
    bool valid = false;
    std::uint8_t group = 0;
    std::uint32_t nextHop = 0;
  };

  explicit MemoryChip(std::uint32_t entries) : LocalDvpTable::Util("memory"), slots_(entries) {}

  std::uint32_t minIndex() const override { return 0; }
  std::uint32_t maxIndex() const override { return static_cast<std::uint32_t>(slots_.size()) - 1; }

  void hwTableEntryIs(LocalDvpTable*, Index key, const Kiv::Optional<Entry>& entry) const override {
    Slot& slot = slots_[key.value];
    if (entry) {
      slot = Slot{true, entry->dvpNetworkGroup(), entry->localPortNextHop()};
    } else {
      slot = Slot{};
    }
    ++writes_;
    pending_.push_back(key.value);
  }
  void hwTableEntryDel(LocalDvpTable*, Index key) const override {
    slots_[key.value] = Slot{};
    ++deletes_;
  }
  void updateHwIndexRefCountTracker(Asic::HwTable*, Index, Asic::IndexUserTracker::OpType) const override {}
  bool compareHwEntries(LocalDvpTable*, Index key, const Entry& entry) const override {
    const Slot& slot = slots_[key.value];
    return slot.valid && slot.group == entry.dvpNetworkGroup() && slot.nextHop == entry.localPortNextHop();
  }
  void syncEntries(Asic::HwTable*, const Quill::Ptr<LocalDvpTable>& table) const override {
    for (std::uint32_t i = 0; i < slots_.size(); ++i) {
      if (slots_[i].valid) table->syncedEntryIs(i, Entry(nullptr, slots_[i].group, slots_[i].nextHop));
    }
  }

  // Confirms every pending write, in write order.
  void confirmAll(LocalDvpTable& table) const {
    std::vector<std::uint32_t> keys;
    keys.swap(pending_);
    for (std::uint32_t key : keys) {
      Asic::WriteResponseRecord record{key, key};
      table.hwWriteResponseIs(&record, sizeof record);
    }
  }

  std::uint64_t writes() const noexcept { return writes_; }
  std::uint64_t deletes() const noexcept { return deletes_; }

 private:
  mutable std::vector<Slot> slots_;
  mutable std::vector<std::uint32_t> pending_;
  mutable std::uint64_t writes_ = 0;
  mutable std::uint64_t deletes_ = 0;
};

// A table on a memory chip outside any restart: the replay is over and the
// write-response state machine runs. With `hardware`, the table also has a
// hardware table (needed for read-back and init completion).
inline Quill::Ptr<LocalDvpTable> tableOn(const Quill::Ptr<MemoryChip>& chip, bool replayComplete = true) {
  Quill::Ptr<LocalDvpTable> table(new LocalDvpTable());
  table->utilIs(chip);
  table->hwTableIs(Quill::Ptr<Asic::HwTable>(new Asic::HwTable("memory", 0)));
  table->configReplayCompleteIs(replayComplete);
  if (replayComplete) table->writeResponseSmIs(table.get());
  return table;
}

// Stops a table the way a stopping agent does: nothing more reaches the chip,
// so tearing the table down does not delete what it programmed.
inline void detach(Quill::Ptr<LocalDvpTable>& table) {
  table->utilIs(nullptr);
  table = nullptr;
}

// Reports the time per item (`items` per iteration) as the counter `name`.
inline void reportPerKey(benchmark::State& state, std::uint64_t items, const char* name = "ns_per_key") {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * items));
  state.counters[name] = benchmark::Counter(static_cast<double>(state.iterations() * items),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace bench
