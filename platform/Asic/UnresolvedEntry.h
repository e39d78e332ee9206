#pragma once
// Framework base of an entry that waits for its dependent field.
//
// The entry lives in its table's collection (its parent is the table). When
// its needed entry (a handle of another table) has no usable hardware index
// yet, the entry starts a watcher on it (neededEntryHandleSmIs). The
// framework then calls back, on the activity thread and only after the
// operation that changed the needed handle has returned:
//   doResolve()             once the needed handle is usable (neededEntryUsable),
//                           after removing the entry's watchers;
//   markFailedNeededEntry() when the needed entry failed (its entry state is
//                           failedNeededEntry or indexExhausted); the watcher
//                           stays, so a later recovery still resolves.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Asic/EntryHandle.h"
#include "platform/Quill/Notifier.h"
#include "platform/Quill/Ptr.h"

namespace Asic {

class SwTable;
class SwTableUnresolvedEntry;

// One watcher of one unresolved entry on one needed handle.
class NeededEntryHandleSm {
 public:
  NeededEntryHandleSm(SwTableUnresolvedEntry& owner, Quill::Ptr<const SwTableBase::EntryHandle> needed);
  ~NeededEntryHandleSm();
  NeededEntryHandleSm(const NeededEntryHandleSm&) = delete;
  NeededEntryHandleSm& operator=(const NeededEntryHandleSm&) = delete;

  const SwTableBase::EntryHandle& needed() const noexcept { return *needed_; }
  void slotIs(std::size_t slot) noexcept { slot_ = slot; }

  // Runs the checks of every watcher on `handle` (the posted work of a change).
  static void check(const Quill::Ptr<SwTableBase::EntryHandle>& handle);

 private:
  SwTableUnresolvedEntry& owner_;
  Quill::Ptr<const SwTableBase::EntryHandle> needed_;
  std::size_t slot_;  // in the needed handle's watchers
  bool failureReported_ = false;
};

class SwTableUnresolvedEntry : public Quill::Notifier {
 public:
  SwTable* parent() const noexcept { return parent_; }
  void parentIs(SwTable* parent) noexcept { parent_ = parent; }

  // Starts one watcher on a needed handle.
  void neededEntryHandleSmIs(const Quill::Ptr<const SwTableBase::EntryHandle>& needed);
  std::uint32_t neededEntryHandleSms() const noexcept {
    return static_cast<std::uint32_t>(watchers_.size());
  }
  void neededEntryHandleSmDelAll() noexcept { watchers_.clear(); }

  // Whether the needed handle now has what this entry waits for.
  virtual bool neededEntryUsable(const SwTableBase::EntryHandle& needed) const;
  virtual void doResolve() = 0;
  virtual void markFailedNeededEntry() = 0;

 protected:
  SwTableUnresolvedEntry() noexcept = default;
  ~SwTableUnresolvedEntry() override;

 private:
  SwTable* parent_ = nullptr;
  std::vector<std::unique_ptr<NeededEntryHandleSm>> watchers_;
};

}  // namespace Asic
