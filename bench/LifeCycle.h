#pragma once
// The key life cycle on a memory chip, shared by the benchmarks that measure
// it under different conditions (sizes, key orders, traces, observers).
#include <algorithm>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

#include "bench/MemoryChip.h"

namespace bench {

// The index range random keys are drawn from.
inline constexpr std::uint32_t kRandomKeyRange = 1U << 24;

// The keys 0 to n-1 in order, as an agent allocating indices from a pool
// makes them.
inline std::vector<std::uint32_t> denseKeys(std::uint32_t n) {
  std::vector<std::uint32_t> keys(n);
  for (std::uint32_t k = 0; k < n; ++k) keys[k] = k;
  return keys;
}

// n distinct keys drawn uniformly from the random-key range, in random
// order; the same keys for the same n.
inline std::vector<std::uint32_t> randomKeys(std::uint32_t n) {
  std::mt19937 random(n);
  std::vector<bool> taken(kRandomKeyRange);
  std::vector<std::uint32_t> keys;
  keys.reserve(n);
  std::uniform_int_distribution<std::uint32_t> pick(0, kRandomKeyRange - 1);
  while (keys.size() < n) {
    const std::uint32_t k = pick(random);
    if (!taken[k]) {
      taken[k] = true;
      keys.push_back(k);
    }
  }
  return keys;
}

// The chip a key list needs: one slot per index up to the largest key.
inline std::uint32_t chipSizeFor(const std::vector<std::uint32_t>& keys) {
  return keys.empty() ? 1 : *std::max_element(keys.begin(), keys.end()) + 1;
}

class LifeCycle {
 public:
  explicit LifeCycle(std::uint32_t keys) : LifeCycle(denseKeys(keys)) {}
  explicit LifeCycle(std::vector<std::uint32_t> keys)
      : keys_(std::move(keys)), chip_(new MemoryChip(chipSizeFor(keys_))), table_(tableOn(chip_)),
        nextHops_(Asic::NeededEntryTable::NeededEntryTableIs("nextHop")) {
    nextHops_->readyIs(1, 7);
    nextHop_ = nextHops_->handleIs(1);
  }
  ~LifeCycle() { detach(table_); }
  LifeCycle(const LifeCycle&) = delete;
  LifeCycle& operator=(const LifeCycle&) = delete;

  LocalDvpTable& table() { return *table_; }

  // Every key committed, confirmed, removed, its removal confirmed.
  void pass() {
    for (std::uint32_t k : keys_) table_->entryCommit(k, Entry(nextHop_, 1));
    chip_->confirmAll(*table_);
    for (std::uint32_t k : keys_) table_->entryRemove(k);
    chip_->confirmAll(*table_);
    if (table_->entrys() != 0) throw std::logic_error("handles left behind");
  }

 private:
  std::vector<std::uint32_t> keys_;
  Quill::Ptr<MemoryChip> chip_;
  Quill::Ptr<LocalDvpTable> table_;
  Quill::Ptr<Asic::NeededEntryTable> nextHops_;
  Entry::HandlePtr nextHop_;
};

}  // namespace bench
