#include "VelarL3Vfi/LocalDvpTable.h"

#include "VelarL3Vfi/Library.h"
#include "VelarL3Vfi/TypeModule.h"
#include "platform/Kiv/Exceptions.h"

namespace VelarL3Vfi {

namespace {
constexpr Quill::KeyEq kKeyEq = &Asic::SwTableBase::Index::isEq;

// Takes a member out of a collection of counted handles. A member that the
// collection holds without a use (see Quill::Node) gets that use back first,
// so the pointer handed back always owns a real use.
template <class Map, class Node>
bool extractCounted(Map& map, typename Map::key_type key, Quill::Ptr<Node>& out) {
  if (!map.extract(key, out)) return false;
  out->ownerUseRetake();
  return true;
}
}  // namespace

LocalDvpTable::LocalDvpTable() : Asic::SwKnownIndexTable(Quill::String()) {
  hwResponseNeededIs(true);
}

LocalDvpTable::~LocalDvpTable() {
  nodeFlagSet(kFlagLive, false);
  Accessor(this).cleanup();
  // Handles that left the collection while somebody held them, or were made
  // for the table outside it, outlive the table: cut them loose too, all of
  // them before any of their pending values goes (dropping one may release
  // another), so that no later release runs a cleanup on this table.
  std::vector<Quill::Ptr<EntryHandle>> detached(detachedHandles_.begin(), detachedHandles_.end());
  for (const auto& handle : detached) handle->swTableIs(nullptr);
  for (const auto& handle : detached) handle->pendingEntryDropAll();
  detached.clear();
  // The handles are cut loose: no confirmation will settle their pending
  // values any more. Dropping them also lets go of handles of this table
  // that pending values name, which would otherwise keep each other (or
  // themselves) alive after the table is gone.
  for (const auto& member : entryHandle_) member.second->pendingEntryDropAll();
  entryHandleDelAll();
  unresolvedEntryDelAll();
  writeResponseSmDel();
  // Whatever is left goes without publication and without entry handling.
  unresolvedEntry_.clear();
  for (const auto& member : entryHandle_) member.second->ownerUseRetake();
  entryHandle_.clear();
  syncedEntry_.clear();
  resolvedEntry_.clear();
}

void LocalDvpTable::handleEntry(Index key) { Accessor(this).handleEntry(key); }

Quill::Ptr<const Asic::SwTableBase::EntryHandle> LocalDvpTable::entryCommit(Index key,
                                                                          const Entry& entry) {
  return Accessor(this).entryCommit(key, entry);
}

LocalDvpTable::Entry LocalDvpTable::entry(Index key) const { return ConstAccessor(this).entry(key); }

void LocalDvpTable::entryRemove(Index key) { Accessor(this).entryRemove(key); }

void LocalDvpTable::cleanup() { Accessor(this).cleanup(); }

void LocalDvpTable::entryHandleRemoveAll(bool unassignedOnly) {
  Accessor(this).entryHandleRemoveAll(unassignedOnly);
}

void LocalDvpTable::syncEntries() { Accessor(this).syncEntries(); }

void LocalDvpTable::doInitComplete() { Accessor(this).doInitComplete(); }

void LocalDvpTable::purgeStaleEntries() { Accessor(this).purgeStaleEntries(); }

void LocalDvpTable::entryRemoveAll() { Accessor(this).entryRemoveAll(); }

Quill::Ptr<Asic::SwTableBase::EntryHandle> LocalDvpTable::getEntryHandle(Index key) {
  if (auto existing = entryHandle(key)) return existing;
  auto handle = entryHandleIs(key, this);
  handle->entryTypeIs(EntryHandle::referenceOnly());
  // Only the other table counts as a user of a reference-only handle.
  handle->ownerUseRelease();
  return handle;
}

// --- resolvedEntry ---------------------------------------------------------

void LocalDvpTable::resolvedEntryIs(Index key, const Kiv::Optional<Entry>& value) {
  Kiv::Optional<Entry> previous;
  auto [stored, inserted] = resolvedEntry_.tryEmplace(key, value);
  if (!inserted) {
    if (stored == &value) return;
    if (*stored == value) return;  // both absent, or both present and equal
    previous = std::move(*stored);
    *stored = value;
  }
  handleEntry(key);
  publishChangeRecursive(kResolvedEntryId, &key, &previous, kKeyEq);
}

Kiv::Optional<LocalDvpTable::Entry> LocalDvpTable::resolvedEntryDel(Index key) {
  Kiv::Optional<Entry> removed;
  if (!resolvedEntry_.extract(key, removed)) return removed;
  handleEntry(key);
  publishChangeRecursive(kResolvedEntryId, &key, &removed, kKeyEq);
  return removed;
}

void LocalDvpTable::resolvedEntryDelAll() {
  for (auto it = resolvedEntry_.begin(); it != resolvedEntry_.end(); ++it) {
    resolvedEntryDel(it.key());
  }
}

Kiv::Optional<LocalDvpTable::Entry> LocalDvpTable::resolvedEntry(Index key) const {
  const auto* stored = resolvedEntry_.find(key);
  return stored ? *stored : Kiv::Optional<Entry>();
}

// --- syncedEntry -----------------------------------------------------------

void LocalDvpTable::syncedEntryIs(Index key, const Entry& entry) {
  auto [stored, inserted] = syncedEntry_.tryEmplace(key, entry);
  if (inserted) {
    const Entry none;
    publishChangeRecursive(kSyncedEntryId, &key, &none, kKeyEq);
    return;
  }
  if (stored == &entry || *stored == entry) return;
  Entry previous = std::move(*stored);
  *stored = entry;
  publishChangeRecursive(kSyncedEntryId, &key, &previous, kKeyEq);
}

LocalDvpTable::Entry LocalDvpTable::syncedEntryDel(Index key) {
  Entry removed;
  if (syncedEntry_.extract(key, removed)) {
    publishChangeRecursive(kSyncedEntryId, &key, &removed, kKeyEq);
  }
  return removed;
}

void LocalDvpTable::syncedEntryDelAll() {
  if (publisherRef().idle()) {
    syncedEntry_.clear();
    return;
  }
  for (auto it = syncedEntry_.begin(); it != syncedEntry_.end(); ++it) syncedEntryDel(it.key());
}

LocalDvpTable::Entry LocalDvpTable::syncedEntry(Index key) const {
  const auto* stored = syncedEntry_.find(key);
  return stored ? *stored : Entry();
}

// --- entryHandle -----------------------------------------------------------

Quill::Ptr<LocalDvpTable::EntryHandle> LocalDvpTable::entryHandleFactory(Index key,
                                                                         LocalDvpTable* swTable) {
  return EntryHandle::EntryHandleIs(key, swTable);
}

Quill::Ptr<LocalDvpTable::EntryHandle> LocalDvpTable::entryHandleIs(Index key,
                                                                    LocalDvpTable* swTable) {
  if (auto* existing = entryHandle_.find(key)) {
    if ((*existing)->swTable() != swTable) {
      Kiv::Impl::throwMutatorReinstantiating("EntryHandle", "swTable", EntryHandle::kSwTableId,
                                             swTable, (*existing)->swTable());
    }
    return *existing;
  }
  auto handle = entryHandleFactory(key, swTable);
  entryHandle_.tryEmplace(key, handle);
  if (handle->detached()) forgetDetached(handle.get());
  const Quill::Ptr<EntryHandle> none;
  publishChangeRecursive(kEntryHandleId, &key, &none, kKeyEq);
  return handle;
}

Quill::Ptr<LocalDvpTable::EntryHandle> LocalDvpTable::entryHandleDel(Index key) {
  Quill::Ptr<EntryHandle> removed;
  if (extractCounted(entryHandle_, key, removed)) {
    if (removed->swTable() == this) noteDetached(removed.get());
    publishChangeRecursive(kEntryHandleId, &key, &removed, kKeyEq);
  }
  return removed;
}

void LocalDvpTable::noteDetached(EntryHandle* handle) {
  QASSERT(!handle->detached());
  handle->detachedSlot_ = static_cast<std::uint32_t>(detachedHandles_.size());
  detachedHandles_.push_back(handle);
}

void LocalDvpTable::forgetDetached(EntryHandle* handle) noexcept {
  const std::uint32_t slot = handle->detachedSlot_;
  QASSERT(slot < detachedHandles_.size() && detachedHandles_[slot] == handle);
  EntryHandle* last = detachedHandles_.back();
  detachedHandles_[slot] = last;
  last->detachedSlot_ = slot;
  detachedHandles_.pop_back();
  handle->detachedSlot_ = EntryHandle::kNotDetached;
}

void LocalDvpTable::entryHandleDelAll() {
  for (auto it = entryHandle_.begin(); it != entryHandle_.end(); ++it) entryHandleDel(it.key());
}

Quill::Ptr<LocalDvpTable::EntryHandle> LocalDvpTable::entryHandle(Index key) const {
  const auto* stored = entryHandle_.find(key);
  return stored ? *stored : Quill::Ptr<EntryHandle>();
}

// --- unresolvedEntry -------------------------------------------------------

Quill::Ptr<LocalDvpTable::UnresolvedEntry> LocalDvpTable::unresolvedEntryIs(Index key) {
  if (auto* existing = unresolvedEntry_.find(key)) return *existing;
  Quill::Ptr<UnresolvedEntry> entry(new UnresolvedEntry(key));
  unresolvedEntry_.tryEmplace(key, entry);
  entry->parentIs(this);
  const Quill::Ptr<UnresolvedEntry> none;
  publishChangeRecursive(kUnresolvedEntryId, &key, &none, kKeyEq);
  return entry;
}

Quill::Ptr<LocalDvpTable::UnresolvedEntry> LocalDvpTable::unresolvedEntryDel(Index key) {
  Quill::Ptr<UnresolvedEntry> removed;
  if (unresolvedEntry_.extract(key, removed)) {
    // An entry that left the table no longer waits for anything.
    removed->neededEntryHandleSmDelAll();
    publishChangeRecursive(kUnresolvedEntryId, &key, &removed, kKeyEq);
  }
  return removed;
}

void LocalDvpTable::unresolvedEntryDelAll() {
  for (auto it = unresolvedEntry_.begin(); it != unresolvedEntry_.end(); ++it) {
    unresolvedEntryDel(it.key());
  }
}

Quill::Ptr<LocalDvpTable::UnresolvedEntry> LocalDvpTable::unresolvedEntry(Index key) const {
  const auto* stored = unresolvedEntry_.find(key);
  return stored ? *stored : Quill::Ptr<UnresolvedEntry>();
}

// --- writeResponseSm -------------------------------------------------------

Quill::Ptr<Asic::WriteResponseSm> LocalDvpTable::writeResponseSmIs(Asic::SwTable* swTable) {
  if (writeResponseSm_ && writeResponseSm_->swTable() == swTable) return writeResponseSm_;
  Quill::Ptr<Asic::WriteResponseSm> previous = std::move(writeResponseSm_);
  writeResponseSm_ = Asic::WriteResponseSm::WriteResponseSmIs(swTable);
  publishChangeRecursive(kWriteResponseSmId, nullptr, &previous, nullptr);
  writeResponseSm_->hasNotificationActiveIs(true);
  return writeResponseSm_;
}

Quill::Ptr<Asic::WriteResponseSm> LocalDvpTable::writeResponseSmDel() {
  Quill::Ptr<Asic::WriteResponseSm> removed = std::move(writeResponseSm_);
  if (removed) {
    publishChangeRecursive(kWriteResponseSmId, nullptr, &removed, nullptr);
    removed->hasNotificationActiveIs(false);
  }
  return removed;
}

// --- queries ---------------------------------------------------------------

bool LocalDvpTable::entryHas(Index key) const {
  const auto* handle = entryHandle_.find(key);
  if (handle == nullptr || (*handle)->entryType() == EntryHandle::inDeletion()) return false;
  return unresolvedEntry_.has(key) || resolvedEntry_.has(key);
}

bool LocalDvpTable::entryInHwTable(Index key) const {
  const auto* handle = entryHandle_.find(key);
  if (handle == nullptr) return false;
  using State = Asic::SwTableBase::EntryState;
  auto state = (*handle)->resolvedEntryState();
  return state == State::inProgress || state == State::indexReconciled || state == State::success;
}

void LocalDvpTable::utilChanged() noexcept {
  typedUtil_ = dynamic_cast<Util*>(Asic::SwKnownIndexTable::util());
}

std::uint32_t LocalDvpTable::minIndex() const {
  const auto* adaptor = util();
  return adaptor ? adaptor->minIndex() : 0;
}

std::uint32_t LocalDvpTable::maxIndex() const {
  const auto* adaptor = util();
  return adaptor ? adaptor->maxIndex() : Asic::kExhaustedIndex;
}

// --- framework hooks, mounts ----------------------------------------------

const Quill::TypeData* LocalDvpTable::typeData() const noexcept {
  return &VelarL3Vfi::typeData(kLocalDvpTableType);
}

Quill::Ptr<Asic::SwTableBase::EntryHandle> LocalDvpTable::entryHandleBase(Index key) const {
  return entryHandle(key);
}

Trace::Handle& LocalDvpTable::statTraceHandle() { return VelarL3Vfi::statTraceHandle(); }

Trace::Handle& LocalDvpTable::traceHandle() {
  static Trace::Handle handle(traceName);
  return handle;
}

void LocalDvpTable::doMountHwTableMountInfo(const Quill::Ptr<Ledger::MountGroup>& mg) {
  Util::doMountHwTableMountInfo(VelarL3Vfi::typeData(kUtilType), mg, Quill::String());
}

void LocalDvpTable::doMountHwTableRecoveryStatus(const Quill::Ptr<Ledger::MountGroup>& mg) {
  Util::doMountHwTableRecoveryStatus(VelarL3Vfi::typeData(kUtilType), mg, Quill::String());
}

void LocalDvpTable::doRecoverHwTable(const Quill::Ptr<Asic::HwTableRecoverGroup>& rg,
                                     Asic::UnitId unitId,
                                     const Quill::Ptr<Ledger::EntityManager>& ledgerEm,
                                     const Asic::ChipInfo& chipInfo) {
  Util::doRecoverHwTable(VelarL3Vfi::typeData(kLocalDvpTableType), rg, unitId, ledgerEm, chipInfo,
                         Quill::String());
}

Asic::Index LocalDvpTable::hwIndexOnlyForCrossAgentCommunication(Index key) const {
  auto handle = entryHandle(key);
  if (!handle) return Asic::kExhaustedIndex;
  return Asic::SwTableBase::getHwIndexForDependentField(
      Quill::Ptr<const Asic::SwTableBase::EntryHandle>(handle));
}

}  // namespace VelarL3Vfi
