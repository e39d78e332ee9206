#pragma once
// VelarL3Vfi::audit: what the hardware holds, checked against what the local
// DVP table owns.
//
// The audit reads the table's collections and a read-only view of the
// hardware (HwTableView) and nothing else: it calls no adaptor operation,
// changes no collection (syncedEntry included) and publishes nothing, so it
// may run at any point between two table operations without changing what
// the table sends to the hardware.
//
// A key is its own hardware index, and each key that holds its slot is that
// index's one user. Per key the audit finds, in this order:
//   unowned  the hardware holds a value where the table has no resolved
//            entry, no synced copy and no delete in flight;
//   missing  the hardware holds no value where the table's resolved value
//            has been confirmed (resolved-entry state success or
//            indexReconciled);
//   differs  the hardware's value and the resolved value differ in next-hop
//            index or group;
//   users    the index users the view counts differ from what the slot
//            implies (one for an allocated slot, none for an empty one);
//   tracker  the view refused tracker reports for the key.
// A key whose resolved slot has no value (a delete in flight), or whose
// handle waits for the hardware to confirm a write (inProgress), is counted
// as in flight and has no findings.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "VelarL3Vfi/Entry.h"

namespace VelarL3Vfi {

class LocalDvpTable;

// A read-only view of the hardware table of a local DVP table. Separate from
// the adaptor contract (Util): an adaptor may implement it as well.
class HwTableView {
 public:
  // What the hardware has at one key.
  struct Slot {
    std::uint32_t key = 0;
    std::optional<LocalDvpTableEntry> entry;  // the value held, if any
    bool allocated = false;                   // holds a value, or was written without one
    std::optional<std::uint32_t> users;       // the index users, where the view knows them
    std::uint32_t refusedReports = 0;         // tracker reports refused for the key

    // Nothing held, allocated, counted or refused.
    bool blank() const noexcept {
      return !entry && !allocated && users.value_or(0) == 0 && refusedReports == 0;
    }
  };

  virtual ~HwTableView();
  // Every key whose slot is not blank, in key order.
  virtual void forEachSlot(const std::function<void(const Slot&)>& visit) const = 0;
  // The slot at one key, as forEachSlot would visit it (blank when it would
  // not, and outside the hardware table).
  virtual Slot slotOf(std::uint32_t key) const = 0;

 protected:
  HwTableView() = default;
  HwTableView(const HwTableView&) = default;
  HwTableView& operator=(const HwTableView&) = default;
};

enum class AuditKind : std::uint8_t { unowned, missing, differs, users, tracker };
const char* auditKindName(AuditKind kind) noexcept;

// One finding: the hardware's side as the view reported it, the table's side
// its resolved value (absent when it has none).
struct AuditFinding {
  AuditKind kind = AuditKind::unowned;
  HwTableView::Slot hw;
  std::optional<LocalDvpTableEntry> table;
};

struct AuditReport {
  std::uint64_t checked = 0;   // keys compared
  std::uint64_t inflight = 0;  // keys left out: a write or delete in flight
  std::vector<AuditFinding> findings;  // by key, then in the order of AuditKind
};

AuditReport audit(const LocalDvpTable& table, const HwTableView& view);

}  // namespace VelarL3Vfi
