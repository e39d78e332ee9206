#pragma once
// An entry of the table that waits for its dependent field (the needed next
// hop's hardware index). The table's unresolvedEntry collection holds one use
// of each; its parent is the table.
#include "VelarL3Vfi/Entry.h"
#include "platform/Asic/SwTableBase.h"
#include "platform/Asic/UnresolvedEntry.h"
#include "platform/Memory/AllocationTracker.h"
#include "platform/Quill/SlabAllocated.h"

namespace VelarL3Vfi {

class LocalDvpTableUnresolvedEntry : public Asic::SwTableUnresolvedEntry,
                                     public Quill::SlabAllocated<LocalDvpTableUnresolvedEntry> {
 public:
  using Entry = LocalDvpTableEntry;
  static inline Quill::AllocationTracker memAllocationTracker_{"VelarL3Vfi::LocalDvpTable::UnresolvedEntry"};

  explicit LocalDvpTableUnresolvedEntry(Asic::SwTableBase::Index key) noexcept : key_(key) {}

  Asic::SwTableBase::Index key() const noexcept { return key_; }
  const Entry& entry() const noexcept { return entry_; }
  Entry& entryRef() noexcept { return entry_; }
  void entryIs(const Entry& entry) { entry_ = entry; }

  // Framework callbacks of the watcher on the needed entry.
  void doResolve() override;
  void markFailedNeededEntry() override;
  bool neededEntryUsable(const Asic::SwTableBase::EntryHandle& needed) const override;
  const Quill::TypeData* typeData() const noexcept override;

 private:
  ~LocalDvpTableUnresolvedEntry() override;

  Asic::SwTableBase::Index key_;
  Entry entry_;
};

}  // namespace VelarL3Vfi
