#pragma once
// The key life cycle on a memory chip, shared by the benchmarks that measure
// it under different conditions (sizes, traces, observers).
#include <cstdint>
#include <stdexcept>

#include "bench/MemoryChip.h"

namespace bench {

class LifeCycle {
 public:
  explicit LifeCycle(std::uint32_t keys)
      : keys_(keys), chip_(new MemoryChip(keys)), table_(tableOn(chip_)),
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
    for (std::uint32_t k = 0; k < keys_; ++k) table_->entryCommit(k, Entry(nextHop_, 1));
    chip_->confirmAll(*table_);
    for (std::uint32_t k = 0; k < keys_; ++k) table_->entryRemove(k);
    chip_->confirmAll(*table_);
    if (table_->entrys() != 0) throw std::logic_error("handles left behind");
  }

 private:
  std::uint32_t keys_;
  Quill::Ptr<MemoryChip> chip_;
  Quill::Ptr<LocalDvpTable> table_;
  Quill::Ptr<Asic::NeededEntryTable> nextHops_;
  Entry::HandlePtr nextHop_;
};

}  // namespace bench
