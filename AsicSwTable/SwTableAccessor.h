#pragma once
// The generic algorithms of software tables.
//
// An Accessor is a value holding one plain pointer to a table (no use). Table
// operations that carry an algorithm build one over the table, run the
// algorithm and drop it; the algorithms change the table only through its
// mutators, so that every change is published.
//
// Failures of invariants stop the agent through QASSERT, whose reports name
// this file as their source ("AsicSwTable/SwTableAccessor").
#include <cstdint>
#include <optional>
#include <vector>

#include "AsicSwTable/ProgrammedStateSwitch.h"
#include "platform/FastLog/FastLog.h"
#include "platform/Asic/HwTable.h"
#include "platform/Asic/SwTable.h"
#include "platform/Assert/Assert.h"
#include "platform/Kiv/Optional.h"
#include "platform/Trace/TraceHandle.h"

namespace Asic {

template <class Table>
class SwTable::Accessor {
 public:
  using Index = SwTableBase::Index;
  using State = SwTableBase::EntryState;
  using Status = SwTable::ReconciliationStatus;
  using Util = typename Table::Util;
  using Entry = typename Table::Entry;
  using EntryHandle = typename Table::EntryHandle;
  using UnresolvedEntry = typename Table::UnresolvedEntry;
  using HandleRef = Quill::Ptr<const SwTableBase::EntryHandle>;
  using OpType = IndexUserTracker::OpType;

  explicit Accessor(Table* swTable) noexcept : swTable_(swTable) {}

  Table* swTable() const noexcept { return swTable_; }

  // --- commit ---------------------------------------------------------------

  // Commits `entry` at `key` and returns the key's handle. A value already
  // waiting or already resolved at the key is not committed again; a new
  // value replaces a different waiting one and starts its resolution, which
  // may program the hardware before the call returns.
  Quill::Ptr<const SwTableBase::EntryHandle> entryCommit(const Index& key, const Entry& entry) {
    if (auto ue = swTable_->unresolvedEntry(key)) {
      if (ue->entry() == entry) {
        QTRACE(Table::traceHandle(), 5,
               kName << " : " << "entryCommit" << " : Found existing unresolved entry at key : " << key
                     << ", entry : " << entry);
        auto eh = validEntryHandle(key);
        promote(*eh);
        return eh;
      }
      QTRACE(Table::traceHandle(), 5,
             kName << " : " << "entryCommit" << " : Deleting existing unresolved entry at key : " << key);
      swTable_->unresolvedEntryDel(key);
    }
    if (const auto* resolved = swTable_->resolvedEntryColl().find(key);
        resolved != nullptr && resolved->present() && resolved->value() == entry) {
      QTRACE(Table::traceHandle(), 5,
             kName << " : " << "entryCommit" << " : Found already existing resolved entry at key : " << key
                   << ", entry : " << entry);
      auto eh = validEntryHandle(key);
      promote(*eh);
      eh->entryStateIs(eh->resolvedEntryState());
      return eh;
    }
    QTRACE(Table::traceHandle(), 5, kName << " : " << "entryCommit" << " : Writing new entry at key: " << key);
    auto eh = swTable_->entryHandleIs(key, swTable_);
    promote(*eh);
    eh->entryStateIs(State::unresolved);
    auto ue = swTable_->unresolvedEntryIs(key);
    initUnresolvedEntry(ue, entry);
    return eh;
  }

  // The key's handle; a key with a committed value always has one.
  Quill::Ptr<EntryHandle> validEntryHandle(const Index& key) const {
    auto eh = swTable_->entryHandle(key);
    QSOFT_ASSERT(eh, "expect a valid entryHandle, key: " << key);
    return eh;
  }

  void initUnresolvedEntry(const Quill::Ptr<UnresolvedEntry>& ue, const Entry& entry) {
    FASTLOG("{}: {}", Table::fastLogName, "initUnresolvedEntry");
    QTRACE(Table::traceHandle(), 6, kName << " : " << "initUnresolvedEntry" << ": key:" << ue->key());
    ue->entryIs(entry);
    initUnresolvedEntry(ue);
  }

  // --- resolution -----------------------------------------------------------

  // Whether a dependent entry can take its needed handle's index now, or must
  // watch the handle until it can.
  static bool neededEntryUsable(const Util* util, const SwTableBase::EntryHandle* h) noexcept {
    if (h == nullptr || h->entryState() == State::indexReconciled) return true;
    if (h->hwIndex() == kExhaustedIndex) return false;
    if (h->entryState() == State::state3 || h->entryState() == State::success) return true;
    return util != nullptr && util->hwIndexInEntryHandle();
  }

  // Starts resolving a new unresolved entry: at once when its needed entry is
  // usable, otherwise through a watcher; while the configuration is replayed
  // after a restart, the needed table is told which index the hardware
  // already uses for the key.
  void initUnresolvedEntry(const Quill::Ptr<UnresolvedEntry>& ue) {
    const Util* util = utilIfExists();
    Quill::Ptr<UnresolvedEntry> hold(ue);
    const HandleRef& h = ue->entry().localPortNextHopHandle();
    if (!neededEntryUsable(util, h.get())) ue->neededEntryHandleSmIs(h);
    if (ue->neededEntryHandleSms() == 0) {
      Accessor(static_cast<Table*>(ue->parent())).doResolve(ue.get());
      return;
    }
    const Index key = ue->key();
    if (swTable_->configReplayComplete() || !swTable_->syncedEntryHas(key)) return;
    Entry swEntry = ue->entry();
    Entry synced = swTable_->syncedEntry(key);
    QTRACE(Table::traceHandle(), 8,
           kName << " : " << "suggestIndexToNeededTable" << ": swEntry:" << swEntry
                 << ", syncedEntry:" << synced);
    if (h && h->entryState() == State::unresolved) {
      SwTableBase::suggestIndicesToNeededEntryHandle(h, {synced.localPortNextHop()});
    }
  }

  // Resolves an unresolved entry whose needed entry is usable: the needed
  // index goes into the value, the previous resolved value waits on the
  // handle's pending queue until the hardware has the new one, and the value
  // becomes the key's resolved entry (programming it).
  void doResolve(UnresolvedEntry* ue) {
    QSOFT_ASSERT(ue->neededEntryHandleSms() == 0, "function should not have been called" << this);
    FASTLOG("{}: {}", Table::fastLogName, "doResolve");
    const Index key = ue->key();
    auto eh = validEntryHandle(key);
    if (const auto* previous = swTable_->resolvedEntryColl().find(key);
        previous != nullptr && previous->present() && previous->value().isNonDefault()) {
      eh->pendingEntryEnq(previous->value());
    }
    if (const HandleRef& h = ue->entry().localPortNextHopHandle()) {
      ue->entryRef().localPortNextHopIs(SwTableBase::getHwIndexForDependentField(h));
    }
    QTRACE(Table::traceHandle(), 6, kName << " : " << "doResolve" << ": key:" << key);
    setResolvedEntry(key, Kiv::Optional<Entry>(ue->entry()));
    swTable_->unresolvedEntryDel(key);
  }

  void markFailedNeededEntry(UnresolvedEntry* ue) {
    if (auto eh = swTable_->entryHandle(ue->key())) eh->entryStateIs(State::failedNeededEntry);
  }

  // The hardware index of this table's entry as a dependent table sees it.
  Asic::Index hwIndexForDependentField(const EntryHandle* eh) const {
    const Util* util = utilIfExists();
    if (util == nullptr) return eh->hwIndex();
    return util->hwIndexForDependentField(HandleRef(eh));
  }

  // --- entry handling and programming ---------------------------------------

  // Runs after every change of the key's resolved slot: programs the slot's
  // value (reconciling it with the hardware's copy while the configuration
  // is replayed after a restart), or deletes the hardware entry when the slot
  // is gone.
  void handleEntry(const Index& key) {
    FASTLOG("{}: {}", Table::fastLogName, "handleEntry");
    QTRACE(Table::traceHandle(), 8,
           kName << " : " << "handleEntry" << " key: " << key
                 << ", configReplayComplete: " << swTable_->configReplayComplete());
    const Util* util = utilIfExists();
    if (swTable_->resolvedEntryHas(key)) {
      if (swTable_->configReplayComplete()) {
        programHwEntry(key, State::inProgress);
        return;
      }
      const Status status = reconcileSyncedEntry(key);
      QTRACE(Table::traceHandle(), 8, kName << " : " << "handleEntry" << ": reconcileStatus: " << status);
      switch (status) {
        case Status::matched: {
          auto eh = validEntryHandle(key);
          eh->hwIndexIs(key.value);
          eh->entryStateIs(State::indexReconciled);
          eh->resolvedEntryStateIs(State::indexReconciled);
          doCompleteEntryHandleForTesting(key);
          swTable_->syncedEntryDel(key);
          break;
        }
        case Status::mismatched:
          validEntryHandle(key)->hwIndexIs(key.value);
          programHwEntry(key, State::indexReconciled);
          swTable_->syncedEntryDel(key);
          break;
        case Status::missing:
          programHwEntry(key, State::inProgress);
          break;
        default:
          QASSERT(false);
      }
      swTable_->reconcilingHwEntryIs(false);
      swTable_->updateStatistic(status);
      return;
    }
    const Asic::Index index = key.value;
    QTRACE(Table::traceHandle(), 8, kName << " : " << "traceHwIndex" << " Acquired hwIndex : " << index);
    if (util == nullptr) return;
    if (index == kExhaustedIndex) {
      QTRACE(Table::traceHandle(), 8,
             kName << " : " << "handleEntry" << "No entry in HwTable for this key. Skip delete");
      return;
    }
    hwTableEntryDel(util, key, index);
    if (!swTable_->configReplayComplete()) swTable_->updateStatistic(Status::deleted);
  }

  // Programs the key's resolved value at its hardware index (the key itself),
  // marking the handle with `entryState`.
  void programHwEntry(const Index& key, SwTableBase::EntryState entryState) {
    FASTLOG("{}: {}", Table::fastLogName, "programHwEntry");
    QTRACE(Table::traceHandle(), 8,
           kName << " : " << "programHwEntry" << " key: " << key << ", entryState:" << entryState);
    auto eh = swTable_->entryHandle(key);
    if (eh) {
      eh->entryStateIs(entryState);
      eh->resolvedEntryStateIs(entryState);
    }
    const Asic::Index index = key.value;
    QTRACE(Table::traceHandle(), 8, kName << " : " << "traceHwIndex" << " Acquired hwIndex : " << index);
    if (const Util* util = utilIfExists()) {
      if (index == kExhaustedIndex) {
        QASSERT(entryState != indexReconciled());
        if (eh) eh->resolvedEntryStateIs(State::indexExhausted);
        return;
      }
      swTable_->reconcilingHwEntryIs(entryState == State::indexReconciled);
      hwTableEntryIs(util, key, index);
    }
    if (eh) doCompleteEntryHandleForTesting(key);
  }

  // Sets the key's resolved slot (present or absent value); the table's
  // mutator then runs entry handling for the key.
  void setResolvedEntry(const Index& key, const Kiv::Optional<Entry>& value) const {
    std::uint8_t kind = 0;
    if (const auto* slot = swTable_->resolvedEntryColl().find(key)) {
      if (!slot->present()) {
        kind = 1;
      } else {
        kind = validEntryHandle(key)->resolvedEntryState() == State::indexExhausted ? 0 : 2;
      }
    }
    swTable_->resolvedChangeKindIs(kind);
    swTable_->resolvedEntryIs(key, value);
  }

  // Removes the key's resolved slot; entry handling then deletes the
  // hardware entry.
  void deleteResolvedEntry(const Index& key) const {
    std::uint8_t kind = 0;
    if (const auto* slot = swTable_->resolvedEntryColl().find(key)) kind = slot->present() ? 2 : 1;
    swTable_->resolvedChangeKindIs(kind);
    swTable_->resolvedEntryDel(key);
  }

  // --- restart reconciliation -----------------------------------------------

  // Classifies the committed entry at the key against the hardware's copy
  // read back at restart.
  Status reconcileSyncedEntry(const Index& key) const {
    if (!swTable_->syncedEntryHas(key)) return Status::missing;
    const Util* util = utilIfExists();
    QASSERT(util != nullptr);
    return util->compareHwEntries(swTable_, key, entry(key)) ? Status::matched : Status::mismatched;
  }

  // Reads the hardware's entries back into syncedEntry, before the replay
  // resolves anything.
  void syncEntries() {
    QTRACE(Table::traceHandle(), 6,
           kName << " : " << "syncEntries" << ": swTableInstPtr:" << static_cast<const void*>(swTable_));
    QASSERT(hwTable());
    QASSERT(!swTable_->resolvedEntrys());
    if (const Util* util = utilIfExists()) {
      Quill::Ptr<Table> hold(swTable_);
      util->syncEntries(swTable_->hwTable(), hold);
    }
  }

  // Ends the configuration replay: entries still unresolved but held by the
  // hardware are counted as differing and their synced copies settled (the
  // hardware keeps them until they resolve); write responses now go through
  // the write-response state machine.
  void doInitComplete() {
    QTRACE(Table::traceHandle(), 9, kName << " : " << "doInitComplete");
    swTable_->configReplayCompleteIs(true);
    const Util* util = utilIfExists();
    for (const auto& [key, ue] : swTable_->unresolvedEntryColl()) {
      Quill::Ptr<UnresolvedEntry> hold(ue);
      if (!swTable_->syncedEntryHas(key)) continue;
      swTable_->updateStatistic(Status::mismatched);
      if (util) util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::deleteWritten);
      swTable_->syncedEntryDel(key);
    }
    if (hwTable()) swTable_->writeResponseSmIs(swTable_);
  }

  // --- entry-handle states ---------------------------------------------------

  // The hook of a change of a handle's entry state: traces it and checks it.
  void handleEntryState(const EntryHandle* entryHandle, const Index& key) const {
    const State s = entryHandle->entryState();
    QTRACE(Table::traceHandle(), 6,
           kName << " : " << "handleEntryState" << " entryhandle state: " << s << " at key : " << key);
    switch (s) {
      case State::unresolved:
      case State::inProgress:
      case State::indexReconciled:
      case State::success:
        break;
      case State::state3:
      case State::failedNeededEntry:
      case State::indexExhausted:
        QASSERT(entryHandle->entryType() != EntryHandle::inDeletion());
        break;
      default:
        QASSERT(0);
    }
    QTRACE(Table::traceHandle(), 6,
           kName << " : " << "handleEntryState" << " entryhandle state: COMPLETE  " << s << " at key : "
                 << key);
  }

  // The hook of a change of a handle's resolved-entry state: the hardware
  // path's progress becomes the entry's state; once the hardware has caught
  // up with a write the pending values go, and once it has caught up with a
  // delete the resolved slot goes too (and, at the end of a delete dance,
  // the handle).
  void handleResolvedEntryState(EntryHandle* eh) {
    const State resolvedEntryState = eh->resolvedEntryState();
    if (resolvedEntryState == State::inProgress || resolvedEntryState == State::indexReconciled) {
      eh->entryStateIs(resolvedEntryState);
      return;
    }
    const Index key = eh->key();
    const State entryState = eh->entryState();
    QASSERT(swTable_->resolvedEntryHas( key ));
    const auto* slot = swTable_->resolvedEntryColl().find(key);
    if (slot != nullptr && slot->present()) {
      eh->pendingEntryDelAll();
      if (entryState == State::inProgress || entryState == State::indexReconciled) {
        eh->entryStateIs(eh->resolvedEntryState());
        return;
      }
      QASSERT(entryState == unresolved() || entryState == failedNeededEntry());
      QASSERT(resolvedEntryState == success());
      return;
    }
    QASSERT(resolvedEntryState == success());
    deleteResolvedEntry(key);
    eh->pendingEntryDelAll();
    if (entryState == State::inProgress) swTable_->entryHandleDel(key);
  }

  // --- removal ----------------------------------------------------------------

  // Withdraws the committed entry at the key. The resolved entry and the
  // hardware entry stay while anybody holds the key's handle; when its last
  // user goes, cleanup removes the key or runs the delete dance.
  void entryRemove(const Index& key) {
    auto eh = swTable_->entryHandle(key);
    const std::int32_t type = eh ? static_cast<std::int32_t>(eh->entryType()) : -1;
    const std::uint32_t refCnt = eh ? eh->useCount() : 0;
    FASTLOG("{}: {} entryType: {}, refCnt: {}", Table::fastLogName, "entryRemove", type, refCnt);
    QTRACE(Table::traceHandle(), 5,
           kName << " : " << "entryRemove" << ": key:" << key << ", entryType:" << type
                 << ", refCnt:" << refCnt);
    if (!swTable_->configReplayComplete() && swTable_->syncedEntryHas(key)) {
      if (const Util* util = utilIfExists()) {
        util->updateHwIndexRefCountTracker(hwTable(), key, OpType::deleteWritten);
      }
      swTable_->syncedEntryDel(key);
    }
    if (eh && eh->entryType() == EntryHandle::unassigned()) {
      swTable_->entryHandleDel(key);
      return;
    }
    if (eh && eh->entryType() == EntryHandle::committed()) {
      QTRACE(Table::traceHandle(), 5, kName << " : " << "entryRemove" << " : Removing entry at key : " << key);
      swTable_->unresolvedEntryDel(key);
      eh->entryTypeIs(EntryHandle::referenceOnly());
      // The use that stood for the committed entry: the collection keeps the
      // handle without it from now on.
      eh->ownerUseRelease();
      return;
    }
    QTRACE(Table::traceHandle(), 5,
           kName << " : " << "entryRemove" << " : Found no committed entry at key : " << key);
  }

  // Runs when a handle's last user is gone (and on request): removes the key
  // at once, or starts the delete dance so that the hardware entry goes
  // before the handle does, or notes the dance's end.
  //
  // A handle that a dependent held past the end of its dance may be released
  // after its key was committed again. The key's unresolved entry, resolved
  // entry and handle then belong to the key's new handle, so the cleanup of
  // the old, superseded one leaves them alone and only ends by its type.
  void cleanup(EntryHandle* eh) {
    if (swTable_ == nullptr) return;
    eh->doAmendReferences();
    const Index key = eh->key();
    FASTLOG("{}: {} entryHandle : 0x{:x}", Table::fastLogName, "cleanup", static_cast<const void*>(eh));
    QTRACE(Table::traceHandle(), 6,
           kName << " : " << "cleanup" << " : entryhandle cleanup, eh : " << static_cast<const void*>(eh)
                 << ", key :" << key << ", refCnt:" << eh->useCount());
    const auto* current = swTable_->entryHandleColl().find(key);
    const bool superseded = current != nullptr && current->get() != eh;
    if (superseded) {
      cleanupEnd(eh, key, superseded);
      return;
    }
    swTable_->unresolvedEntryDel(key);
    if (!swTable_->configReplayComplete() && eh->resolvedEntryState() == State::unresolved) {
      removeNow(eh);
      return;
    }
    if (swTable_->entryHandleHas(key)) {
      QSOFT_ASSERT(eh->entryType() == EntryHandle::referenceOnly(), "unexpected entryType");
      if (const auto* resolved = swTable_->resolvedEntryColl().find(key); resolved && resolved->present()) {
        eh->pendingEntryEnq(resolved->value());
      }
      if (eh->pendingEntryCount() == 0) {
        removeNow(eh);
        return;
      }
      auto held = swTable_->entryHandle(key);
      if (!held || !inHardwarePath(held->resolvedEntryState())) {
        removeNow(eh);
        return;
      }
      QTRACE(Table::traceHandle(), 6, kName << " : " << "cleanup" << " begin delete dance, key : " << key);
      eh->entryTypeIs(EntryHandle::inDeletion());
      eh->entryStateIs(State::unresolved);
      if (const auto* resolved = swTable_->resolvedEntryColl().find(key); resolved && resolved->present()) {
        setResolvedEntry(key, Kiv::Optional<Entry>());
        return;
      }
      QASSERT(eh->resolvedEntryState() == inProgress());
      eh->entryStateIs(State::inProgress);
      return;
    }
    cleanupEnd(eh, key, false);
  }

  // The end of a cleanup of a handle that the table's collection does not
  // hold, by its entry type.
  void cleanupEnd(EntryHandle* eh, const Index& key, bool superseded) {
    switch (eh->entryType()) {
      case EntryHandle::inDeletion():
        QTRACE(Table::traceHandle(), 6, kName << " : " << "cleanup" << " delete dance complete, key : " << key);
        return;
      case EntryHandle::unassigned():
        if (superseded) return;  // the key's resolved entry is its new handle's
        QASSERT(!swTable_->entryHandleHas( key ));
        deleteResolvedEntry(key);
        return;
      case EntryHandle::referenceOnly():
        QASSERT(swTable_->entryHandleHas( key ));
        return;
      default:
        QASSERT(0);
    }
  }

  // Table teardown: cuts every handle loose, deletes every resolved entry and
  // drops the hardware table's index tracker.
  void cleanup() {
    QTRACE(Table::traceHandle(), 6, kName << " : " << "cleanup");
    for (auto it = swTable_->entryHandleColl().begin(); it != swTable_->entryHandleColl().end(); ++it) {
      Quill::Ptr<EntryHandle> eh(it.value());
      eh->swTableIs(nullptr);
      eh->doAmendReferences();
    }
    for (auto it = swTable_->resolvedEntryColl().begin(); it != swTable_->resolvedEntryColl().end(); ++it) {
      deleteResolvedEntry(it.key());
    }
    if (utilIfExists()) IndexUserTracker::Stub::deleteTracker(hwTable(), 0, false);
  }

  // Removes the entries of every key with a handle (or only of keys whose
  // handle is unassigned) in one pass; the cleanups that the removals cause
  // run after the pass, one handle after the other.
  void entryHandleRemoveAll(bool unassignedOnly) {
    QTRACE(Table::traceHandle(), 5, kName << " : " << "entryHandleRemoveAll");
    std::vector<Quill::Ptr<SwTable::EntryHandle>> visited;
    visited.reserve(swTable_->entrys());
    for (auto it = swTable_->entryHandleColl().begin(); it != swTable_->entryHandleColl().end(); ++it) {
      const Index key = it.key();
      Quill::Ptr<EntryHandle> eh(it.value());
      if (unassignedOnly && eh->entryType() != EntryHandle::unassigned()) continue;
      visited.push_back(eh);
      entryRemove(key);
    }
    for (auto& eh : visited) eh = nullptr;
  }

  // --- stale entries and bulk removal -----------------------------------------

  // The last step of restart reconciliation: hardware entries that the
  // replay did not claim are deleted, the copies it left are settled, and
  // the reconciliation statistics are reported on "SwTableStat".
  void purgeStaleEntries() {
    syncedEntryRemoveAll();
    QTRACE(Table::statTraceHandle(), 0,
           kName << " : " << "purgeStaleEntries" << " " << swTable_->statistics());
  }

  void syncedEntryRemoveAll() {
    FASTLOG("{}: {}", Table::fastLogName, "syncedEntryRemoveAll");
    QTRACE(Table::traceHandle(), 8, kName << " : " << "syncedEntryRemoveAll");
    if (utilIfExists() == nullptr || swTable_->syncedEntrys() == 0) {
      QTRACE(Table::traceHandle(), 8,
             kName << " : " << "syncedEntryRemoveAll" << " No stale entries in syncedEntryColl");
      return;
    }
    swTable_->resolvedChangeKindIs(0);
    swTable_->reconcilingHwEntryIs(true);
    handleStaleEntries();
    swTable_->syncedEntryDelAll();
    swTable_->reconcilingHwEntryIs(false);
  }

  // One pass over the hardware's copies: a committed key settles its copy
  // (counted when the entry is still unresolved), anything else is stale and
  // is deleted from the hardware.
  void handleStaleEntries() {
    const Util* util = utilIfExists();
    const auto& synced = swTable_->syncedEntryColl();
    for (auto it = synced.begin(); it != synced.end(); ++it) {
      const Index key = it.key();
      if (swTable_->unresolvedEntryColl().has(key)) {
        QTRACE(Table::traceHandle(), 8, kName << " : " << "handleStaleEntries" << "Skip unresolved key:" << key);
        swTable_->updateStatistic(Status::mismatched);
        if (util) util->updateHwIndexRefCountTracker(hwTable(), key, OpType::deleteWritten);
        swTable_->syncedEntryDel(key);
      } else if (swTable_->resolvedEntryHas(key)) {
        QTRACE(Table::traceHandle(), 8, kName << " : " << "handleStaleEntries" << "Skip resolved key:" << key);
        swTable_->syncedEntryDel(key);
      } else {
        const Asic::Index hwIndex = key.value;
        QASSERT(!isExhausted( hwIndex ));
        hwTableEntryDel(util, key, hwIndex);
        QTRACE(Table::traceHandle(), 8,
               kName << " : " << "handleStaleEntries" << ": Deleting stale hwEntry for key:" << key);
        swTable_->updateStatistic(Status::deleted);
      }
    }
  }

  // Withdraws every committed entry through the single-key removal. Hardware
  // entries read back after a restart must be purged first.
  void entryRemoveAll() {
    FASTLOG("{}: {}", Table::fastLogName, "entryRemoveAll");
    QTRACE(Table::traceHandle(), 5, kName << " : " << "entryRemoveAll");
    entryHandleRemoveAll(false);
    if (utilIfExists() != nullptr && swTable_->syncedEntrys() != 0) {
      QSOFT_ASSERT(false, "Should call purgeStaleEntries instead");
    }
  }

  // --- lookup ---------------------------------------------------------------

  // The committed entry at the key: the waiting value if there is one, else
  // the resolved value, else the default entry.
  Entry entry(const Index& key) const {
    if (const auto* ue = swTable_->unresolvedEntryColl().find(key)) {
      Quill::Ptr<UnresolvedEntry> hold(*ue);
      return hold->entry();
    }
    if (const auto* resolved = swTable_->resolvedEntryColl().find(key); resolved && resolved->present()) {
      return resolved->value();
    }
    return Entry();
  }

  // --- hardware writes --------------------------------------------------------
  // The table's adaptor, or null when it has none. The adaptor is owned by
  // the table base; a use is held while it is looked up.
  const Util* utilIfExists() const {
    const auto& util = swTable_->utilPtr();
    if (!util) return nullptr;
    Quill::Ptr<SwTable::Util> hold(util);
    return swTable_->util();
  }

  // Writes the key's resolved value (absent when its slot holds none) to the
  // hardware, telling the index-user tracker first. With the adaptor's
  // hwIndexInEntryHandle set, the written index is recorded in the key's
  // handle.
  void hwTableEntryIs(const Util* util, const Index& key, std::optional<Asic::Index> hwIndex) {
    QTRACE(Table::traceHandle(), 8,
           kName << " : " << "hwTableEntryIs" << " : key: " << key);
    const Kiv::Optional<typename Table::Entry> value = swTable_->resolvedEntry(key);
    if (!swTable_->reconcilingHwEntry()) {
      const auto kind = swTable_->resolvedChangeKind();
      if (value.present()) {
        if (kind == 0) {
          util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::firstWrite);
        } else if (kind == 1) {
          util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::writeIntoEmptySlot);
        }
      } else {
        // An absent value only ever replaces a written one.
        if (kind != 2) QASSERT(false);
        util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::writeAbsent);
      }
    }
    util->hwTableEntryIs(swTable_, key, value);
    if (util->hwIndexInEntryHandle() && hwIndex) {
      if (auto handle = swTable_->entryHandle(key)) handle->hwIndexIs(*hwIndex);
    }
  }

  // Deletes the key's hardware entry, telling the index-user tracker first.
  void hwTableEntryDel(const Util* util, const Index& key, std::optional<Asic::Index> /*hwIndex*/) {
    QTRACE(Table::traceHandle(), 8,
           kName << " : " << "hwTableEntryDel" << ": Deleting entry at key:" << key);
    if (swTable_->reconcilingHwEntry()) {
      util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::deleteWritten);
    } else {
      const auto kind = swTable_->resolvedChangeKind();
      // A delete always follows a resolved slot.
      if (kind == 0) QASSERT(false);
      util->updateHwIndexRefCountTracker(swTable_->hwTable(), key,
                                         kind == 2 ? OpType::deleteWritten : OpType::deleteEmptySlot);
    }
    util->hwTableEntryDel(swTable_, key);
  }

  // With the environment's switch on, marks the key's handle as programmed at
  // the key's index without waiting for the hardware (see
  // ProgrammedStateSwitch.h). The key must have a handle.
  void doCompleteEntryHandleForTesting(const Index& key) {
    if (!publishEntryHandleProgrammedState()) return;
    auto handle = swTable_->entryHandle(key);
    QASSERT(handle);
    handle->hwIndexIs(key.value);
    handle->resolvedEntryStateIs(key.value == kExhaustedIndex ? SwTableBase::EntryState::indexExhausted
                                                              : SwTableBase::EntryState::success);
  }

 private:
  static constexpr const char* kName = Table::traceName;
  static constexpr State indexReconciled() noexcept { return State::indexReconciled; }
  static constexpr State inProgress() noexcept { return State::inProgress; }
  static constexpr State unresolved() noexcept { return State::unresolved; }
  static constexpr State failedNeededEntry() noexcept { return State::failedNeededEntry; }
  static constexpr State success() noexcept { return State::success; }
  static constexpr bool isExhausted(Asic::Index index) noexcept { return index == kExhaustedIndex; }
  static constexpr bool inHardwarePath(State s) noexcept {
    return s == State::inProgress || s == State::indexReconciled || s == State::success;
  }

  // Cuts the handle loose (so later cleanups of it do nothing), deletes the
  // key's resolved entry (and with it the hardware entry) and takes the
  // handle out of the table.
  void removeNow(EntryHandle* eh) {
    const Index key = eh->key();
    if (eh->swTable() != nullptr) eh->swTableIs(nullptr);
    deleteResolvedEntry(key);
    swTable_->entryHandleDel(key);
  }

  // Takes the committed entry's use of a handle (see Quill::Node: a
  // reference-only handle is held by its collection without a use) and marks
  // the handle committed.
  static void promote(EntryHandle& eh) {
    if (eh.entryType() == EntryHandle::referenceOnly()) eh.ownerUseRetake();
    eh.entryTypeIs(EntryHandle::committed());
  }

  HwTable* hwTable() const noexcept { return swTable_->hwTable(); }

  Table* swTable_;
};

}  // namespace Asic
