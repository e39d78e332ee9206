#include "platform/Asic/SwTableBase.h"

#include "platform/Asic/EntryHandle.h"

namespace Asic {

Asic::Index SwTableBase::getHwEntryIndex(const Quill::Ptr<const EntryHandle>& handle) noexcept {
  return handle ? handle->hwIndex() : kExhaustedIndex;
}

Asic::Index SwTableBase::getHwIndexForDependentField(const Quill::Ptr<const EntryHandle>& handle) {
  return handle ? handle->hwIndexForDependentField() : kExhaustedIndex;
}

void SwTableBase::suggestIndicesToNeededEntryHandle(const Quill::Ptr<const EntryHandle>& handle,
                                                    const std::set<Asic::Index>& indices) {
  if (handle) const_cast<EntryHandle&>(*handle).indexSuggestionIs(indices);
}

void SwTableBase::EntryHandle::resolvedEntryStateIs(EntryState state) {
  if (resolvedEntryState_ == state) return;
  resolvedEntryState_ = state;
  handleResolvedEntryState();
}

std::string_view entryStateName(SwTableBase::EntryState s) noexcept {
  switch (s) {
    case SwTableBase::EntryState::unresolved: return "unresolved";
    case SwTableBase::EntryState::inProgress: return "inProgress";
    case SwTableBase::EntryState::indexReconciled: return "indexReconciled";
    case SwTableBase::EntryState::state3: return "3";
    case SwTableBase::EntryState::success: return "success";
    case SwTableBase::EntryState::failedNeededEntry: return "failedNeededEntry";
    case SwTableBase::EntryState::indexExhausted: return "indexExhausted";
  }
  return "invalid";
}

std::string_view entryTypeName(SwTableBase::EntryType t) noexcept {
  switch (t) {
    case SwTableBase::EntryType::unassigned: return "unassigned";
    case SwTableBase::EntryType::referenceOnly: return "referenceOnly";
    case SwTableBase::EntryType::committed: return "committed";
    case SwTableBase::EntryType::inDeletion: return "inDeletion";
  }
  return "invalid";
}

std::ostream& operator<<(std::ostream& os, SwTableBase::EntryState s) {
  return os << entryStateName(s);
}
std::ostream& operator<<(std::ostream& os, SwTableBase::EntryType t) {
  return os << entryTypeName(t);
}

}  // namespace Asic
