#pragma once
// Entry handles of the software-table framework.
//
// A handle stands for one key of a table for as long as anybody needs it. It
// carries the key's hardware index, its entry state, entry type and
// resolved-entry state. The two states change only through entryStateIs and
// resolvedEntryStateIs, which run the handle's matching hook on a change.
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "platform/Asic/SwTableBase.h"

namespace Asic {

class NeededEntryHandleSm;

class SwTableBase::EntryHandle : public Quill::Notifier {
 public:
  using EntryState = SwTableBase::EntryState;
  using EntryType = SwTableBase::EntryType;

  static constexpr EntryType unassigned() noexcept { return EntryType::unassigned; }
  static constexpr EntryType referenceOnly() noexcept { return EntryType::referenceOnly; }
  static constexpr EntryType committed() noexcept { return EntryType::committed; }
  static constexpr EntryType inDeletion() noexcept { return EntryType::inDeletion; }

  Asic::Index hwIndex() const noexcept { return hwIndex_; }
  // Changes of the index and of the entry state are reported to the
  // watchers of dependent tables (after the current operation, see
  // NeededEntryHandleSm).
  void hwIndexIs(Asic::Index index) noexcept {
    if (hwIndex_ == index) return;
    hwIndex_ = index;
    if (extras_) notifyWatchers();
  }

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

  // Index suggestions from dependent tables: a set of indices the handle's
  // table may prefer when it gives the entry an index. The framework keeps
  // them and runs handleIndexSuggestions.
  void indexSuggestionIs(std::set<Asic::Index> indices);
  const std::vector<std::set<Asic::Index>>& indexSuggestions() const noexcept;
  virtual void handleIndexSuggestions() {}

  // The watchers of dependent tables currently on this handle.
  std::size_t watchers() const noexcept { return extras_ ? extras_->watchers.live : 0; }

  // Hooks of the concrete handle.
  virtual void handleEntryState() {}
  virtual Asic::Index hwIndexForDependentField() const { return hwIndex_; }
  virtual void handleResolvedEntryState() {}

 protected:
  EntryHandle() noexcept = default;
  ~EntryHandle() override;

 private:
  friend class NeededEntryHandleSm;
  // The watchers in the order they started. A watcher knows its slot, so
  // it leaves in constant time by emptying the slot; empty slots are
  // squeezed out once they outnumber the live ones, but never while a check
  // walks the slots (the walk goes by slot number).
  struct Watchers {
    std::vector<NeededEntryHandleSm*> slots;
    std::size_t live = 0;
    unsigned walking = 0;
    bool checkPosted = false;

    std::size_t add(NeededEntryHandleSm* watcher);
    void remove(std::size_t slot) noexcept;
    void compactIfSparse() noexcept;
  };
  // What only some handles need: created on first use, because most handles
  // are never watched or suggested to (every handle pays one pointer).
  struct Extras {
    Watchers watchers;
    std::vector<std::set<Asic::Index>> suggestions;
  };
  Extras& extras();
  void notifyWatchers();

  std::unique_ptr<Extras> extras_;
  Asic::Index hwIndex_ = kExhaustedIndex;
  EntryState entryState_ = EntryState::unresolved;
  EntryType entryType_ = EntryType::unassigned;
  EntryState resolvedEntryState_ = EntryState::unresolved;
};

}  // namespace Asic
