#pragma once
// The software table of the framework: the adaptor reference, reconciliation
// statistics and the framework types shared by all tables of this kind.
#include <array>
#include <cstdint>
#include <ostream>

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/Asic/EntryHandle.h"
#include "platform/Asic/HwTable.h"
#include "platform/Asic/SwTableBase.h"
#include "platform/Quill/Ptr.h"

namespace Asic {

class WriteResponseSm;
class HwTableRecoverGroup;
}  // namespace Asic

namespace Ledger {
class MountGroup;
class EntityManager;
}  // namespace Ledger

namespace Quill {
struct TypeData;
}  // namespace Quill

namespace Asic {

// One confirmed hardware write, as adaptors report it in a response buffer:
// the key that was written and the hardware index it was written at.
struct WriteResponseRecord {
  std::uint32_t key;
  std::uint32_t hwIndex;
};

class SwTable : public SwTableBase {
 public:
  class EntryHandle;
  class Util;
  // The generic table algorithms, instantiated per concrete table.
  template <class Table>
  class Accessor;
  // The merged view of a table's committed entries.
  template <class Table>
  class EntryIteratorConst;

  // Outcome of reconciling one entry with its hardware copy after a restart.
  enum class ReconciliationStatus : std::uint8_t {
    matched = 1,     // the hardware copy matches the committed entry
    mismatched = 2,  // the copy differs, or the entry is still unresolved
    missing = 3,     // no hardware copy
    deleted = 4,     // a hardware entry deleted during reconciliation
  };

  // Reconciliation counters, one per status.
  struct Statistics {
    std::array<std::uint64_t, 4> counts{};
    std::uint64_t count(ReconciliationStatus s) const noexcept {
      return counts[static_cast<std::size_t>(s) - 1];
    }
    friend std::ostream& operator<<(std::ostream& os, const Statistics& s);
  };

  explicit SwTable(Quill::String name);
  ~SwTable() override;

  // The hardware adaptor, or null when no adaptor plug-in provided one.
  Util* util() const noexcept { return util_.get(); }
  const Quill::Ptr<Util>& utilPtr() const noexcept { return util_; }
  void utilIs(Quill::Ptr<Util> util) noexcept;

  // The hardware table the table is programmed into (null until recovered).
  HwTable* hwTable() const noexcept { return hwTable_.get(); }
  void hwTableIs(Quill::Ptr<HwTable> hwTable) noexcept;

  // The key's entry handle, if it has one; the framework's way to find the
  // handle a hardware response is about.
  virtual Quill::Ptr<SwTableBase::EntryHandle> entryHandleBase(SwTableBase::Index key) const;

  // The framework's reference path for other tables: the key's handle,
  // created if needed (a new one is marked reference-only), as a counted
  // reference. Tables without handles of their own return null.
  virtual Quill::Ptr<SwTableBase::EntryHandle> getEntryHandle(SwTableBase::Index key);

  // The state machine that passes write responses on, when the table has an
  // active one.
  virtual WriteResponseSm* activeWriteResponseSm() const noexcept { return nullptr; }

  // Hardware write responses arrive here: through the table's write-response
  // state machine when it is active, otherwise (e.g. during the configuration
  // replay after a restart, before the state machine exists) the framework
  // dispatches them itself.
  void hwWriteResponseIs(const void* buffer, std::size_t length);
  // Applies a response buffer: each confirmed key's handle records the
  // hardware index and its resolved-entry state becomes success. Responses
  // for keys that no longer have a handle are dropped.
  virtual void dispatchResponse(const void* buffer, std::size_t length);

  bool hwResponseNeeded() const noexcept { return hwResponseNeeded_; }
  void hwResponseNeededIs(bool needed) noexcept { hwResponseNeeded_ = needed; }

  const Statistics& statistics() const noexcept { return statistics_; }
  void updateStatistic(ReconciliationStatus status) noexcept;

 protected:
  // Runs after the adaptor changed, so that a table can keep its own typed
  // view of it.
  virtual void utilChanged() noexcept {}

 private:
  // The write-response state machines that serve this table (normally its
  // own, but a machine can be set up to serve another table). A table that
  // goes first cuts them off: they drop later responses instead of passing
  // them to a table that is gone.
  friend class WriteResponseSm;
  std::vector<WriteResponseSm*> servedBy_;

  Quill::Ptr<Util> util_;
  Quill::Ptr<HwTable> hwTable_;
  Statistics statistics_;
  bool hwResponseNeeded_ = false;
};

// Handles of tables of this kind.
class SwTable::EntryHandle : public SwTableBase::EntryHandle {
 protected:
  EntryHandle() noexcept = default;
};

// The base of every hardware adaptor: a runtime node found through the
// table's util().
class SwTable::Util : public Quill::Notifier {
 public:
  using WriteResponseCallback = std::function<void(SwTableBase::EntryHandle&, Asic::Index)>;

  explicit Util(Quill::String name) : name_(std::move(name)) {}
  const Quill::String& name() const noexcept { return name_; }

  // Hardware indices are published in entry handles when they are written.
  bool hwIndexInEntryHandle() const noexcept { return hwIndexInEntryHandle_; }
  void hwIndexInEntryHandleIs(bool on) noexcept { hwIndexInEntryHandle_ = on; }

  // Decodes a write-response buffer (an array of WriteResponseRecord) and
  // calls `callback` with the handle and hardware index of each confirmed key
  // that still has a handle in `table`.
  virtual void doNotifyWriteResponse(const void* buffer, std::size_t length, const SwTable& table,
                                     const WriteResponseCallback& callback) const;

  // Class-level mount and recovery of a table type's hardware-table state.
  // `type` names the type the state belongs to. The mounts are recorded in
  // the mount group. The recovery asks the adaptor registered for the table
  // type to recover the unit's hardware table, records it in the recover
  // group and the entity manager, and keeps it for the tables of the type
  // that the agent creates afterwards.
  static void doMountHwTableMountInfo(const Quill::TypeData& type,
                                      const Quill::Ptr<Ledger::MountGroup>& mg,
                                      const Quill::String& name);
  static void doMountHwTableRecoveryStatus(const Quill::TypeData& type,
                                           const Quill::Ptr<Ledger::MountGroup>& mg,
                                           const Quill::String& name);
  static void doRecoverHwTable(const Quill::TypeData& type,
                               const Quill::Ptr<HwTableRecoverGroup>& rg, UnitId unitId,
                               const Quill::Ptr<Ledger::EntityManager>& ledgerEm,
                               const ChipInfo& chipInfo, const Quill::String& name);

 private:
  Quill::String name_;
  bool hwIndexInEntryHandle_ = false;
};

// A software table whose keys are known indices.
class SwKnownIndexTable : public SwTable {
 public:
  explicit SwKnownIndexTable(Quill::String name) : SwTable(std::move(name)) {}

  // False while the configuration is replayed after an agent restart.
  bool configReplayComplete() const noexcept { return configReplayComplete_; }
  void configReplayCompleteIs(bool complete) noexcept { configReplayComplete_ = complete; }

  // What the key being programmed held before the change: 0 no resolved
  // slot, 1 a slot without value, 2 a slot with a value.
  std::uint8_t resolvedChangeKind() const noexcept { return resolvedChangeKind_; }
  void resolvedChangeKindIs(std::uint8_t kind) noexcept { resolvedChangeKind_ = kind; }

  // True while a hardware entry is being reconciled.
  bool reconcilingHwEntry() const noexcept { return reconcilingHwEntry_; }
  void reconcilingHwEntryIs(bool reconciling) noexcept { reconcilingHwEntry_ = reconciling; }

  // Restart reconciliation, driven by the host framework in this order.
  virtual void syncEntries() {}
  virtual void doInitComplete() {}
  virtual void purgeStaleEntries() {}

 private:
  bool configReplayComplete_ = false;
  bool reconcilingHwEntry_ = false;
  std::uint8_t resolvedChangeKind_ = 0;
};

std::ostream& operator<<(std::ostream& os, SwTable::ReconciliationStatus s);

}  // namespace Asic
