// Watching needed entries: handles of other tables that unresolved entries
// wait for.
#include <algorithm>

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
  if (watchers_) notifyWatchers();
  handleEntryState();
}

void SwTableBase::EntryHandle::notifyWatchers() {
  if (watchers_->checkPosted || watchers_->list.empty()) return;
  watchers_->checkPosted = true;
  Activity::post([handle = Quill::Ptr<SwTableBase::EntryHandle>(this)] {
    NeededEntryHandleSm::check(handle);
  });
}

void SwTableBase::EntryHandle::indexSuggestionIs(std::set<Asic::Index> indices) {
  if (!suggestions_) suggestions_ = std::make_unique<std::vector<std::set<Asic::Index>>>();
  suggestions_->push_back(std::move(indices));
  handleIndexSuggestions();
}

const std::vector<std::set<Asic::Index>>& SwTableBase::EntryHandle::indexSuggestions() const noexcept {
  static const std::vector<std::set<Asic::Index>> none;
  return suggestions_ ? *suggestions_ : none;
}

NeededEntryHandleSm::NeededEntryHandleSm(SwTableUnresolvedEntry& owner,
                                         Quill::Ptr<const SwTableBase::EntryHandle> needed)
    : owner_(owner), needed_(std::move(needed)) {
  auto& handle = const_cast<SwTableBase::EntryHandle&>(*needed_);
  if (!handle.watchers_) handle.watchers_ = std::make_unique<SwTableBase::EntryHandle::Watchers>();
  handle.watchers_->list.push_back(this);
}

NeededEntryHandleSm::~NeededEntryHandleSm() {
  auto& list = const_cast<SwTableBase::EntryHandle&>(*needed_).watchers_->list;
  list.erase(std::find(list.begin(), list.end(), this));
}

void NeededEntryHandleSm::check(const Quill::Ptr<SwTableBase::EntryHandle>& handle) {
  auto& watchers = *handle->watchers_;
  watchers.checkPosted = false;
  // Callbacks may add or remove watchers on this handle (resolving an entry
  // removes its own): walk a snapshot and skip watchers that went away.
  const auto snapshot = watchers.list;
  for (auto* watcher : snapshot) {
    if (std::find(watchers.list.begin(), watchers.list.end(), watcher) == watchers.list.end()) continue;
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
