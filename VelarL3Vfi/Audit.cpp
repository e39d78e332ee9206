#include "VelarL3Vfi/Audit.h"

#include <algorithm>

#include "VelarL3Vfi/LocalDvpTable.h"

namespace VelarL3Vfi {

HwTableView::~HwTableView() = default;

const char* auditKindName(AuditKind kind) noexcept {
  switch (kind) {
    case AuditKind::unowned: return "unowned";
    case AuditKind::missing: return "missing";
    case AuditKind::differs: return "differs";
    case AuditKind::users: return "users";
    case AuditKind::tracker: return "tracker";
  }
  return "?";
}

namespace {

using State = Asic::SwTableBase::EntryState;

class Auditor {
 public:
  Auditor(const LocalDvpTable& table, AuditReport& report) : table_(table), report_(report) {}

  // Compares one key; returns whether the table has a resolved slot there.
  bool examine(const HwTableView::Slot& hw) {
    const auto* resolved = table_.resolvedEntryColl().find(hw.key);
    State state = State::unresolved;
    if (resolved != nullptr && resolved->present()) {
      if (const auto* handle = table_.entryHandleColl().find(hw.key)) state = (*handle)->resolvedEntryState();
    }
    if ((resolved != nullptr && !resolved->present()) || state == State::inProgress) {
      ++report_.inflight;
      return true;
    }
    ++report_.checked;
    const LocalDvpTableEntry* value = resolved != nullptr ? &resolved->value() : nullptr;
    if (hw.entry) {
      if (value == nullptr && !table_.syncedEntryHas(hw.key)) {
        add(AuditKind::unowned, hw, value);
      } else if (value != nullptr && (hw.entry->localPortNextHop() != value->localPortNextHop() ||
                                      hw.entry->dvpNetworkGroup() != value->dvpNetworkGroup())) {
        add(AuditKind::differs, hw, value);
      }
    } else if (state == State::success || state == State::indexReconciled) {
      add(AuditKind::missing, hw, value);
    }
    if (hw.users && *hw.users != (hw.allocated ? 1u : 0u)) add(AuditKind::users, hw, value);
    if (hw.refusedReports != 0) add(AuditKind::tracker, hw, value);
    return resolved != nullptr;
  }

 private:
  void add(AuditKind kind, const HwTableView::Slot& hw, const LocalDvpTableEntry* value) {
    report_.findings.push_back(AuditFinding{kind, hw, value ? std::optional(*value) : std::nullopt});
  }

  const LocalDvpTable& table_;
  AuditReport& report_;
};

}  // namespace

// One pass over the hardware's slots in key order looks each key up in the
// table. Only when some resolved keys were not among them does a second pass
// go over the resolved entries for the keys the hardware has nothing at.
AuditReport audit(const LocalDvpTable& table, const HwTableView& view) {
  AuditReport report;
  Auditor auditor(table, report);
  std::uint64_t resolvedSeen = 0;
  view.forEachSlot([&](const HwTableView::Slot& hw) { resolvedSeen += auditor.examine(hw) ? 1 : 0; });
  if (resolvedSeen < table.resolvedEntrys()) {
    for (auto it = table.resolvedEntryColl().begin(); it != table.resolvedEntryColl().end(); ++it) {
      if (auto hw = view.slotOf(it.key().value); hw.blank()) {
        hw.key = it.key().value;
        auditor.examine(hw);
      }
    }
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const AuditFinding& a, const AuditFinding& b) { return a.hw.key < b.hw.key; });
  }
  return report;
}

}  // namespace VelarL3Vfi
