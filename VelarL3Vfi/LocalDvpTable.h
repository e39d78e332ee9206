#pragma once
// VelarL3Vfi::LocalDvpTable: the table of local destination-virtual-port
// entries of a layer-3 VFI.
//
// The table keeps its state in five collections and changes them only through
// their mutators (the Is / Del / DelAll family of each), each of which
// publishes every change with the value held before it:
//
//   resolvedEntry   (519) key -> Kiv::Optional<Entry>: values ready for the
//                   hardware; a present key without value is a delete in flight
//   syncedEntry     (522) key -> Entry: hardware copies read back at restart
//   entryHandle     (529) key -> EntryHandle: one handle per key
//   unresolvedEntry (530) key -> UnresolvedEntry: values waiting for their
//                   needed next hop
//   writeResponseSm (534) the hardware write-response state machine
//
// A change of a key's resolved entry runs entry handling for the key.
#include <cstdint>
#include <vector>

#include "AsicSwTable/EntryIterator.h"
#include "AsicSwTable/SwTableAccessor.h"
#include "VelarL3Vfi/Entry.h"
#include "VelarL3Vfi/EntryHandle.h"
#include "VelarL3Vfi/UnresolvedEntry.h"
#include "VelarL3Vfi/Util.h"
#include "platform/Asic/HwTableRecoverGroup.h"
#include "platform/Asic/SwTable.h"
#include "platform/Asic/WriteResponseSm.h"
#include "platform/Ledger/Ledger.h"
#include "platform/Trace/TraceHandle.h"
#include "platform/Kiv/IndexMap.h"
#include "platform/Kiv/Optional.h"
#include "platform/Memory/AllocationTracker.h"
#include "platform/Quill/SlabAllocated.h"

namespace VelarL3Vfi {

class LocalDvpTable : public Asic::SwKnownIndexTable, public Quill::SlabAllocated<LocalDvpTable> {
 public:
  using Index = Asic::SwTableBase::Index;
  using Entry = LocalDvpTableEntry;
  using EntryHandle = LocalDvpTableEntryHandle;
  using UnresolvedEntry = LocalDvpTableUnresolvedEntry;
  using Util = LocalDvpTableUtil;
  using Accessor = Asic::SwTable::Accessor<LocalDvpTable>;
  using ConstAccessor = Asic::SwTable::Accessor<const LocalDvpTable>;
  using EntryIteratorConst = Asic::SwTable::EntryIteratorConst<LocalDvpTable>;
  // The table's collections: a member per index, kept in index pages.
  template <class V>
  using Collection = Kiv::IndexMap<Index, V>;

  static constexpr Quill::FieldId kResolvedEntryId = 519;
  static constexpr Quill::FieldId kSyncedEntryId = 522;
  static constexpr Quill::FieldId kEntryHandleId = 529;
  static constexpr Quill::FieldId kUnresolvedEntryId = 530;
  static constexpr Quill::FieldId kWriteResponseSmId = 534;

  // Type constants.
  static constexpr bool isOwnedByMergeTable = false;
  static constexpr bool isExternalKeyType = false;
  static constexpr std::uint64_t setResolvedEntryBlockMetaDataDefinedByUser = 0;
  static constexpr std::uint64_t setResolvedEntryMetaDataDefinedByUser = 0;
  static constexpr bool readAccess = false;
  static constexpr bool writeAccess = true;

  static inline Quill::AllocationTracker memAllocationTracker_{kLocalDvpTableTypeName};

  LocalDvpTable();

  // resolvedEntry
  void resolvedEntryIs(Index key, const Kiv::Optional<Entry>& value);
  Kiv::Optional<Entry> resolvedEntryDel(Index key);
  void resolvedEntryDelAll();
  Kiv::Optional<Entry> resolvedEntry(Index key) const;
  bool resolvedEntryHas(Index key) const { return resolvedEntry_.has(key); }
  std::uint32_t resolvedEntrys() const noexcept { return count(resolvedEntry_); }

  // syncedEntry
  void syncedEntryIs(Index key, const Entry& entry);
  Entry syncedEntryDel(Index key);
  void syncedEntryDelAll();
  Entry syncedEntry(Index key) const;
  bool syncedEntryHas(Index key) const { return syncedEntry_.has(key); }
  std::uint32_t syncedEntrys() const noexcept { return count(syncedEntry_); }

  // entryHandle
  Quill::Ptr<EntryHandle> entryHandleIs(Index key, LocalDvpTable* swTable);
  Quill::Ptr<EntryHandle> entryHandleDel(Index key);
  void entryHandleDelAll();
  Quill::Ptr<EntryHandle> entryHandle(Index key) const;
  bool entryHandleHas(Index key) const { return entryHandle_.has(key); }
  // The number of keys with a handle (attribute entrys).
  std::uint32_t entrys() const noexcept { return count(entryHandle_); }
  static Quill::Ptr<EntryHandle> entryHandleFactory(Index key, LocalDvpTable* swTable);
  // Detached handles: handles bound to this table that entryHandle does not
  // hold. A handle becomes one when it leaves the collection while it is
  // still bound (a dependent may hold it past the end of its delete dance)
  // or when it is made for the table outside the collection; it stops being
  // one when it is cut loose, rebound or destroyed. Teardown cuts them all
  // loose. Kept by the handles and the entryHandle mutators.
  void noteDetached(EntryHandle* handle);
  void forgetDetached(EntryHandle* handle) noexcept;
  std::uint32_t detachedHandles() const noexcept {
    return static_cast<std::uint32_t>(detachedHandles_.size());
  }

  // unresolvedEntry
  Quill::Ptr<UnresolvedEntry> unresolvedEntryIs(Index key);
  Quill::Ptr<UnresolvedEntry> unresolvedEntryDel(Index key);
  void unresolvedEntryDelAll();
  Quill::Ptr<UnresolvedEntry> unresolvedEntry(Index key) const;
  std::uint32_t unresolvedEntrys() const noexcept { return count(unresolvedEntry_); }

  // writeResponseSm
  Quill::Ptr<Asic::WriteResponseSm> writeResponseSmIs(Asic::SwTable* swTable);
  Quill::Ptr<Asic::WriteResponseSm> writeResponseSmDel();
  const Quill::Ptr<Asic::WriteResponseSm>& writeResponseSm() const noexcept {
    return writeResponseSm_;
  }

  // Queries.
  bool entryHas(Index key) const;
  bool entryInHwTable(Index key) const;
  std::uint32_t minIndex() const;
  std::uint32_t maxIndex() const;
  // The adaptor as this table's Util (null without adaptor, or when the
  // framework's adaptor is of another kind). Kept on every change of the
  // adaptor, so the hot paths read a pointer.
  Util* util() const noexcept { return typedUtil_; }

  // Read-only views for iteration (generic interface, lookups).
  const Collection<Kiv::Optional<Entry>>& resolvedEntryColl() const noexcept {
    return resolvedEntry_;
  }
  const Collection<Entry>& syncedEntryColl() const noexcept { return syncedEntry_; }
  const Collection<Quill::Ptr<EntryHandle>>& entryHandleColl() const noexcept {
    return entryHandle_;
  }
  const Collection<Quill::Ptr<UnresolvedEntry>>& unresolvedEntryColl() const noexcept {
    return unresolvedEntry_;
  }

  // Carried out by the accessor.
  void handleEntry(Index key);
  // Commits `entry` at `key`; returns the key's handle (one use).
  Quill::Ptr<const Asic::SwTableBase::EntryHandle> entryCommit(Index key, const Entry& entry);
  // The committed entry at the key (waiting or resolved), or the default entry.
  Entry entry(Index key) const;
  EntryIteratorConst entryIteratorConst() const { return EntryIteratorConst(this); }
  EntryIteratorConst entryIteratorConst(Index key) const { return EntryIteratorConst(this, key); }
  // Withdraws the committed entry at the key (see the delete dance in
  // docs/architecture.md).
  void entryRemove(Index key);
  // Teardown: cuts every handle loose, deletes every resolved entry, drops
  // the hardware table's index tracker.
  void cleanup();
  void entryHandleRemoveAll(bool unassignedOnly);
  // Restart reconciliation.
  void syncEntries() override;
  void doInitComplete() override;
  void purgeStaleEntries() override;
  // Withdraws every committed entry (refused while hardware entries read back
  // after a restart are still unsettled: purge them first).
  void entryRemoveAll();
  // The reference path for other tables: the key's handle, whatever its
  // type; a new handle is reference-only.
  Quill::Ptr<Asic::SwTableBase::EntryHandle> getEntryHandle(Index key) override;

  // Class-level mount and recovery of the table's hardware-table state: the
  // mounts name the adaptor type, the recovery the table type, each with the
  // empty name.
  static void doMountHwTableMountInfo(const Quill::Ptr<Ledger::MountGroup>& mg);
  static void doMountHwTableRecoveryStatus(const Quill::Ptr<Ledger::MountGroup>& mg);
  static void doRecoverHwTable(const Quill::Ptr<Asic::HwTableRecoverGroup>& rg, Asic::UnitId unitId,
                               const Quill::Ptr<Ledger::EntityManager>& ledgerEm,
                               const Asic::ChipInfo& chipInfo);
  // The hardware index of the key's entry as a table depending on it sees it,
  // for other agents; 0xFFFFFFFF when the key has no handle.
  Asic::Index hwIndexOnlyForCrossAgentCommunication(Index key) const;

  // Framework hooks.
  const Quill::TypeData* typeData() const noexcept override;
  Quill::Ptr<Asic::SwTableBase::EntryHandle> entryHandleBase(Index key) const override;
  Asic::WriteResponseSm* activeWriteResponseSm() const noexcept override {
    return writeResponseSm_.get();
  }

  // The names the accessor's traces give the table: the text trace handle
  // and its lines use traceName, the binary log's messages fastLogName.
  static constexpr const char* traceName = kLocalDvpTableTypeName;
  static constexpr const char* fastLogName = "LocalDvpTable";

  // The accessor's text trace handle, named traceName, and the statistics
  // handle "SwTableStat".
  static Trace::Handle& traceHandle();
  static Trace::Handle& statTraceHandle();

 private:
  ~LocalDvpTable() override;
  void utilChanged() noexcept override;

  template <class Map>
  static std::uint32_t count(const Map& map) noexcept {
    return static_cast<std::uint32_t>(map.count());
  }

  Collection<Kiv::Optional<Entry>> resolvedEntry_;
  Collection<Entry> syncedEntry_;
  Collection<Quill::Ptr<EntryHandle>> entryHandle_;
  Collection<Quill::Ptr<UnresolvedEntry>> unresolvedEntry_;
  Quill::Ptr<Asic::WriteResponseSm> writeResponseSm_;
  std::vector<EntryHandle*> detachedHandles_;  // each knows its slot
  Util* typedUtil_ = nullptr;
};

}  // namespace VelarL3Vfi
