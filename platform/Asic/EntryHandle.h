#pragma once
// Entry handles of the software-table framework.
//
// A handle stands for one key of a table for as long as anybody needs it. It
// carries the key's hardware index, its entry state, entry type and
// resolved-entry state. The two states change only through entryStateIs and
// resolvedEntryStateIs, which run the handle's matching hook on a change.
#include <cstdint>

#include "platform/Asic/SwTableBase.h"

namespace Asic {

class SwTableBase::EntryHandle : public Quill::Notifier {
 public:
  using EntryState = SwTableBase::EntryState;
  using EntryType = SwTableBase::EntryType;

  static constexpr EntryType unassigned() noexcept { return EntryType::unassigned; }
  static constexpr EntryType referenceOnly() noexcept { return EntryType::referenceOnly; }
  static constexpr EntryType committed() noexcept { return EntryType::committed; }
  static constexpr EntryType inDeletion() noexcept { return EntryType::inDeletion; }

  Asic::Index hwIndex() const noexcept { return hwIndex_; }
  void hwIndexIs(Asic::Index index) noexcept { hwIndex_ = index; }

  EntryState entryState() const noexcept { return entryState_; }
  EntryState resolvedEntryState() const noexcept { return resolvedEntryState_; }
  EntryType entryType() const noexcept { return entryType_; }
  void entryTypeIs(EntryType type) noexcept { entryType_ = type; }

  // Each runs its hook when the state changes, and nothing otherwise.
  void entryStateIs(EntryState state);
  void resolvedEntryStateIs(EntryState state);

  // Lets a handle bring the references it holds up to date before its table
  // cleans it up; framework handles hold none.
  virtual void doAmendReferences() {}

  // Hooks of the concrete handle.
  virtual void handleEntryState() {}
  virtual Asic::Index hwIndexForDependentField() const { return hwIndex_; }
  virtual void handleResolvedEntryState() {}

 protected:
  EntryHandle() noexcept = default;
  ~EntryHandle() override = default;

 private:
  Asic::Index hwIndex_ = kExhaustedIndex;
  EntryState entryState_ = EntryState::unresolved;
  EntryType entryType_ = EntryType::unassigned;
  EntryState resolvedEntryState_ = EntryState::unresolved;
};

}  // namespace Asic
