// Watching needed entries: handles of other tables that unresolved entries
// wait for.
#include "platform/Activity/Activity.h"
#include "platform/Asic/EntryHandle.h"
#include "platform/Asic/UnresolvedEntry.h"

namespace Asic {

namespace {
bool failed(SwTableBase::EntryState s) {
  return s == SwTableBase::EntryState::failedNeededEntry || s == SwTableBase::EntryState::indexExhausted;
}
}  // namespace

SwTableBase::EntryHandle::~EntryHandle() = default;

void SwTableBase::EntryHandle::entryStateIs(EntryState state) {
  if (entryState_ == state) return;
  entryState_ = state;
  if (extras_) notifyWatchers();
  handleEntryState();
}

std::size_t SwTableBase::EntryHandle::Watchers::add(NeededEntryHandleSm* watcher) {
  slots.push_back(watcher);
  ++live;
  return slots.size() - 1;
}

void SwTableBase::EntryHandle::Watchers::remove(std::size_t slot) noexcept {
  slots[slot] = nullptr;
  --live;
  compactIfSparse();
}

void SwTableBase::EntryHandle::Watchers::compactIfSparse() noexcept {
  if (walking != 0 || slots.size() <= 2 * live + 8) return;
  std::size_t kept = 0;
  for (NeededEntryHandleSm* watcher : slots) {
    if (watcher == nullptr) continue;
    watcher->slotIs(kept);
    slots[kept++] = watcher;
  }
  slots.resize(kept);
}

SwTableBase::EntryHandle::Extras& SwTableBase::EntryHandle::extras() {
  if (!extras_) extras_ = std::make_unique<Extras>();
  return *extras_;
}

void SwTableBase::EntryHandle::notifyWatchers() {
  Watchers& watchers = extras_->watchers;
  if (watchers.checkPosted || watchers.live == 0) return;
  watchers.checkPosted = true;
  Activity::post([handle = Quill::Ptr<SwTableBase::EntryHandle>(this)] {
    NeededEntryHandleSm::check(handle);
  });
}

void SwTableBase::EntryHandle::indexSuggestionIs(std::set<Asic::Index> indices) {
  extras().suggestions.push_back(std::move(indices));
  handleIndexSuggestions();
}

const std::vector<std::set<Asic::Index>>& SwTableBase::EntryHandle::indexSuggestions() const noexcept {
  static const std::vector<std::set<Asic::Index>> none;
  return extras_ ? extras_->suggestions : none;
}

NeededEntryHandleSm::NeededEntryHandleSm(SwTableUnresolvedEntry& owner,
                                         Quill::Ptr<const SwTableBase::EntryHandle> needed)
    : owner_(owner), needed_(std::move(needed)) {
  auto& handle = const_cast<SwTableBase::EntryHandle&>(*needed_);
  slot_ = handle.extras().watchers.add(this);
}

NeededEntryHandleSm::~NeededEntryHandleSm() {
  const_cast<SwTableBase::EntryHandle&>(*needed_).extras_->watchers.remove(slot_);
}

void NeededEntryHandleSm::check(const Quill::Ptr<SwTableBase::EntryHandle>& handle) {
  auto& watchers = handle->extras_->watchers;
  watchers.checkPosted = false;
  // Callbacks may add or remove watchers on this handle (resolving an entry
  // removes its own): walk the slots that existed when the check began, skip
  // the ones emptied meanwhile, and leave watchers added meanwhile to the
  // next check.
  struct Walk {
    SwTableBase::EntryHandle::Watchers& watchers;
    explicit Walk(SwTableBase::EntryHandle::Watchers& w) : watchers(w) { ++watchers.walking; }
    ~Walk() {
      --watchers.walking;
      watchers.compactIfSparse();
    }
  } walk(watchers);
  const std::size_t end = watchers.slots.size();
  for (std::size_t i = 0; i < end; ++i) {
    NeededEntryHandleSm* watcher = watchers.slots[i];
    if (watcher == nullptr) continue;
    Quill::Ptr<SwTableUnresolvedEntry> owner(&watcher->owner_);  // alive through the callback
    if (owner->neededEntryUsable(*handle)) {
      owner->neededEntryHandleSmDelAll();
      owner->doResolve();
    } else if (failed(handle->entryState())) {
      if (!watcher->failureReported_) {
        watcher->failureReported_ = true;
        owner->markFailedNeededEntry();
      }
    } else {
      watcher->failureReported_ = false;
    }
  }
}

void SwTableUnresolvedEntry::neededEntryHandleSmIs(
    const Quill::Ptr<const SwTableBase::EntryHandle>& needed) {
  watchers_.push_back(std::make_unique<NeededEntryHandleSm>(*this, needed));
}

bool SwTableUnresolvedEntry::neededEntryUsable(const SwTableBase::EntryHandle& needed) const {
  using State = SwTableBase::EntryState;
  auto state = needed.entryState();
  if (state == State::indexReconciled) return true;
  return needed.hwIndex() != kExhaustedIndex && (state == State::state3 || state == State::success);
}

SwTableUnresolvedEntry::~SwTableUnresolvedEntry() = default;

}  // namespace Asic
