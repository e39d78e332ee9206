#pragma once
// The entry handle of one key of the local DVP table.
//
// A handle lives as long as anybody needs its key: the caller that committed
// an entry, tables whose entries depend on this key, and the table's own
// entryHandle collection (see Quill::Node for how that collection's use is
// counted). It holds a plain pointer to its table (null once cleanup has cut
// it loose), its key, and the pending-entry queue: the values of the key that
// were superseded while the hardware had not yet confirmed their replacement.
// Every element carries a sequence number; every enqueue and dequeue is
// published under that number (attribute pendingEntry, 389).
#include <cstdint>

#include "AsicSwTable/RQueue.h"
#include "VelarL3Vfi/Entry.h"
#include "platform/Asic/SwTable.h"
#include "platform/Memory/AllocationTracker.h"
#include "platform/Quill/SlabAllocated.h"

namespace VelarL3Vfi {

class LocalDvpTable;

// The queue-entry type of pending entries (names the queue's element tracker).
struct QE_PendingEntry {};

class LocalDvpTableEntryHandle : public Asic::SwTable::EntryHandle,
                                 public Quill::SlabAllocated<LocalDvpTableEntryHandle> {
 public:
  using Entry = LocalDvpTableEntry;
  using PendingQueue = Quill::RQueue<Entry, QE_PendingEntry>;
  using PendingIterator = Quill::RQueueBaseConstIter<Entry>;

  static constexpr Quill::FieldId kKeyId = 386;
  static constexpr Quill::FieldId kSwTableId = 387;
  static constexpr Quill::FieldId kPendingEntryId = 389;
  static constexpr Quill::FieldId kCleanupId = 390;

  static inline Quill::AllocationTracker memAllocationTracker_{"VelarL3Vfi::LocalDvpTable::EntryHandle"};

  // Creates a handle (counted, slab storage) and returns the first use of it.
  static Quill::Ptr<LocalDvpTableEntryHandle> EntryHandleIs(Asic::SwTableBase::Index key,
                                                            LocalDvpTable* swTable);

  LocalDvpTableEntryHandle(Asic::SwTableBase::Index key, LocalDvpTable* swTable) noexcept
      : swTable_(swTable), key_(key) {}

  Asic::SwTableBase::Index key() const noexcept { return key_; }
  LocalDvpTable* swTable() const noexcept { return swTable_; }
  // Rebinds the handle (null cuts it loose); publishes swTable on a change.
  void swTableIs(LocalDvpTable* swTable);
  // Whether the handle is bound to its table without being in the table's
  // entryHandle collection (see LocalDvpTable's detached handles).
  bool detached() const noexcept { return detachedSlot_ != kNotDetached; }

  // The pending-entry queue. Lookups return copies; the default entry stands
  // for "nothing there".
  void pendingEntryEnq(const Entry& entry);
  Entry pendingEntryDeq();
  Entry pendingEntryFront() const;
  Entry pendingEntryBack() const;
  Entry pendingEntry(std::uint32_t seq) const;
  bool pendingEntryHas(std::uint32_t seq) const noexcept { return pendingEntry_.has(seq); }
  // Empties the queue; numbering continues. Publishes one change per element,
  // front to back, unless nobody observes the handle.
  void pendingEntryDelAll();
  // Drops every pending value without publication: the table's teardown,
  // after which no confirmation will settle them.
  void pendingEntryDropAll() noexcept { pendingEntry_.clear(true); }
  std::uint32_t pendingEntryCount() const noexcept {
    return static_cast<std::uint32_t>(pendingEntry_.size());
  }
  PendingIterator pendingEntryIter() const noexcept { return pendingEntry_.begin(); }
  const PendingQueue& pendingEntryQueue() const noexcept { return pendingEntry_; }

  // The hardware index of this key as dependent tables see it.
  Asic::Index hwIndexForDependentField() const override;

  // The runtime's part first (the table's collection takes its use back if
  // it holds the handle), then the table's cleanup of the handle.
  void lastUserGone() override;
  // The procedure attribute: the table's cleanup of this handle.
  void cleanup();
  // Framework hooks of the two states.
  void handleEntryState() override;
  void handleResolvedEntryState() override;
  const Quill::TypeData* typeData() const noexcept override;

 private:
  friend class LocalDvpTable;  // keeps detachedSlot_
  static constexpr std::uint32_t kNotDetached = 0xFFFFFFFF;

  ~LocalDvpTableEntryHandle() override;

  LocalDvpTable* swTable_;
  PendingQueue pendingEntry_;
  Asic::SwTableBase::Index key_;
  // The handle's place in its table's list of detached handles.
  std::uint32_t detachedSlot_ = kNotDetached;
};

}  // namespace VelarL3Vfi
