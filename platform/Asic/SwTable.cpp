#include "platform/Asic/SwTable.h"

namespace Asic {

SwTable::SwTable(Quill::String name) : SwTableBase(std::move(name)) {}
SwTable::~SwTable() = default;

void SwTable::utilIs(Quill::Ptr<Util> util) noexcept { util_ = std::move(util); }

void SwTable::updateStatistic(ReconciliationStatus status) noexcept {
  ++statistics_.counts[static_cast<std::size_t>(status) - 1];
}

std::ostream& operator<<(std::ostream& os, const SwTable::Statistics& s) {
  return os << "matched: " << s.counts[0] << ", mismatched: " << s.counts[1]
            << ", missing: " << s.counts[2] << ", deleted: " << s.counts[3];
}

std::ostream& operator<<(std::ostream& os, SwTable::ReconciliationStatus s) {
  switch (s) {
    case SwTable::ReconciliationStatus::matched: return os << "matched";
    case SwTable::ReconciliationStatus::mismatched: return os << "mismatched";
    case SwTable::ReconciliationStatus::missing: return os << "missing";
    case SwTable::ReconciliationStatus::deleted: return os << "deleted";
  }
  return os << "invalid";
}

}  // namespace Asic
