#include "VelarL3Vfi/EntryHandle.h"

#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/TypeModule.h"

namespace VelarL3Vfi {

// Every key has a handle; keeping it to one 64-byte slab object keeps a
// programmed entry's memory, and the lines a key's operations touch, small.
static_assert(sizeof(LocalDvpTableEntryHandle) <= 64);

Quill::Ptr<LocalDvpTableEntryHandle> LocalDvpTableEntryHandle::EntryHandleIs(
    Asic::SwTableBase::Index key, LocalDvpTable* swTable) {
  Quill::Ptr<LocalDvpTableEntryHandle> handle(new LocalDvpTableEntryHandle(key, swTable));
  // Bound to the table but not (yet) in its collection.
  if (swTable != nullptr) swTable->noteDetached(handle.get());
  return handle;
}

LocalDvpTableEntryHandle::~LocalDvpTableEntryHandle() {
  nodeFlagSet(kFlagLive, false);
  if (detached()) swTable_->forgetDetached(this);
  pendingEntry_.clear(false);
}

void LocalDvpTableEntryHandle::swTableIs(LocalDvpTable* swTable) {
  if (swTable == swTable_) return;
  LocalDvpTable* previous = swTable_;
  if (detached()) previous->forgetDetached(this);
  swTable_ = swTable;
  if (swTable != nullptr && swTable->entryHandle(key_).get() != this) swTable->noteDetached(this);
  publishChangeRecursive(kSwTableId, nullptr, &previous, nullptr);
}

void LocalDvpTableEntryHandle::pendingEntryEnq(const Entry& entry) {
  std::uint32_t seq = pendingEntry_.enq(entry);
  publishChange(kPendingEntryId, &seq);
}

LocalDvpTableEntryHandle::Entry LocalDvpTableEntryHandle::pendingEntryDeq() {
  auto dequeued = pendingEntry_.deq();
  if (!dequeued) return Entry();
  std::uint32_t seq = dequeued->seq;
  publishChange(kPendingEntryId, &seq);
  return std::move(dequeued->value);
}

LocalDvpTableEntryHandle::Entry LocalDvpTableEntryHandle::pendingEntryFront() const {
  const Entry* front = pendingEntry_.front();
  return front ? *front : Entry();
}

LocalDvpTableEntryHandle::Entry LocalDvpTableEntryHandle::pendingEntryBack() const {
  const Entry* back = pendingEntry_.back();
  return back ? *back : Entry();
}

LocalDvpTableEntryHandle::Entry LocalDvpTableEntryHandle::pendingEntry(std::uint32_t seq) const {
  const Entry* found = pendingEntry_.lookup(seq);
  return found ? *found : Entry();
}

void LocalDvpTableEntryHandle::pendingEntryDelAll() {
  if (publisherRef().idle()) {
    pendingEntry_.clear(true);
    return;
  }
  while (!pendingEntry_.empty()) pendingEntryDeq();
}

void LocalDvpTableEntryHandle::lastUserGone() {
  Quill::Node::lastUserGone();
  LocalDvpTable::Accessor(swTable_).cleanup(this);
}

void LocalDvpTableEntryHandle::cleanup() { LocalDvpTable::Accessor(swTable_).cleanup(this); }

void LocalDvpTableEntryHandle::handleEntryState() {
  LocalDvpTable::Accessor(swTable_).handleEntryState(this, key_);
}

void LocalDvpTableEntryHandle::handleResolvedEntryState() {
  // A handle cut loose from its table has nothing left to settle.
  if (swTable_ != nullptr) LocalDvpTable::Accessor(swTable_).handleResolvedEntryState(this);
}

Asic::Index LocalDvpTableEntryHandle::hwIndexForDependentField() const {
  if (swTable_ == nullptr) return hwIndex();
  return LocalDvpTable::Accessor(swTable_).hwIndexForDependentField(this);
}

const Quill::TypeData* LocalDvpTableEntryHandle::typeData() const noexcept {
  return &VelarL3Vfi::typeData(kEntryHandleType);
}

}  // namespace VelarL3Vfi
