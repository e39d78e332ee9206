#include "tests/model/Model.h"

#include <algorithm>
#include <type_traits>

#include "AsicSwTable/ProgrammedStateSwitch.h"

namespace VelarModel {

namespace Cmd = DvpAgent::Cmd;

const char* leftoverName(Leftover leftover) noexcept {
  static constexpr const char* kNames[] = {"none", "copyOfKeyRemovedDuringReplay", "copyOfEntryWaitingAtReplayEnd"};
  return kNames[static_cast<std::size_t>(leftover)];
}

namespace {
bool failedState(State s) { return s == State::failedNeededEntry || s == State::indexExhausted; }
bool inHardwarePath(State s) {
  return s == State::inProgress || s == State::indexReconciled || s == State::success;
}
}  // namespace

Model::Model(std::vector<Key> keys, bool hwIndexInHandle)
    : keyList_(std::move(keys)),
      hwIndexInHandle_(hwIndexInHandle),
      programmedState_(Asic::publishEntryHandleProgrammedState()) {
  for (Key k : keyList_) keys_[k];
}

bool Model::syncedEmpty() const noexcept {
  return std::none_of(keys_.begin(), keys_.end(), [](const auto& kv) { return kv.second.synced.has_value(); });
}

bool Model::quiescent() const noexcept {
  return std::all_of(keys_.begin(), keys_.end(), [](const auto& kv) { return kv.second.chip.responses == 0; });
}

std::optional<Value> Model::entry(Key k) const {
  const KeyState& ks = keys_.at(k);
  if (ks.waiting) return ks.waiting;
  if (ks.resolved && *ks.resolved) return **ks.resolved;
  return std::nullopt;
}

bool Model::entryHas(Key k) const {
  const KeyState& ks = keys_.at(k);
  if (!ks.handle || ks.handle->type == Type::inDeletion) return false;
  return ks.waiting.has_value() || ks.resolved.has_value();
}

std::uint32_t Model::handleUses(Key k) const {
  const KeyState& ks = keys_.at(k);
  if (!ks.handle) return 0;
  std::uint32_t uses = ks.holds + (passUses_.count(k) != 0 ? 1 : 0);
  if (ks.handle->type != Type::referenceOnly) ++uses;  // the collection's use
  return uses;
}

Handle& Model::handleOf(Key k) {
  auto& h = at(k).handle;
  if (!h) throw Refused("expect a valid entryHandle, key: " + std::to_string(k));
  return *h;
}

bool Model::usable(const std::string& nh) const {
  if (nh.empty()) return true;
  const NextHop& n = nextHops_.at(nh);
  if (n.state == State::indexReconciled) return true;
  if (n.index == kNone) return false;
  return n.state == State::state3 || n.state == State::success || hwIndexInHandle_;
}

std::uint32_t Model::nextHopIndexOf(const Value& v) const {
  return v.nh.empty() ? v.nextHop : nextHops_.at(v.nh).index;
}

// --- commands ------------------------------------------------------------------

bool Model::allows(const DvpAgent::Action& action) const {
  auto known = [&](Key k) { return keys_.count(k) != 0; };
  const bool fits = std::visit(
      [&](const auto& c) -> bool {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, Cmd::Commit>) {
          return known(c.key) && (!c.nextHopName || nextHops_.count(*c.nextHopName) != 0);
        } else if constexpr (std::is_same_v<C, Cmd::Remove> || std::is_same_v<C, Cmd::Hold>) {
          return known(c.key);
        } else if constexpr (std::is_same_v<C, Cmd::Release>) {
          return known(c.key) && !keys_.at(c.key).holdStack.empty();
        } else if constexpr (std::is_same_v<C, Cmd::Confirm>) {
          return !c.key || known(*c.key);
        } else if constexpr (std::is_same_v<C, Cmd::InitComplete>) {
          return replayOpen_;
        } else {
          return true;
        }
      },
      action);
  if (!fits) return false;
  Model copy(*this);
  try {
    copy.apply(action);
  } catch (const Refused& refused) {
    ++refusals()[refused.what()];
    return false;
  }
  return true;
}

std::map<std::string, std::uint64_t>& Model::refusals() {
  static std::map<std::string, std::uint64_t> counts;
  return counts;
}

void Model::apply(const DvpAgent::Action& action) {
  pulled_.clear();
  std::visit(
      [&](const auto& c) {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, Cmd::NextHop>) {
          nextHop(c);
        } else if constexpr (std::is_same_v<C, Cmd::Commit>) {
          commit(c.key, Value{c.nextHopName.value_or(""), c.group, c.nextHop});
        } else if constexpr (std::is_same_v<C, Cmd::Remove>) {
          remove(c.key);
        } else if constexpr (std::is_same_v<C, Cmd::RemoveAll>) {
          if (c.handles) {
            handleRemoveAll(c.unassignedOnly);
          } else {
            removeAll();
          }
        } else if constexpr (std::is_same_v<C, Cmd::Hold>) {
          hold(c.key);
        } else if constexpr (std::is_same_v<C, Cmd::Release>) {
          release(c.key);
        } else if constexpr (std::is_same_v<C, Cmd::Confirm>) {
          if (c.key) {
            confirm(*c.key);
          } else {
            for (Key k : keyList_) confirm(k);
          }
        } else if constexpr (std::is_same_v<C, Cmd::InitComplete>) {
          initComplete();
        } else if constexpr (std::is_same_v<C, Cmd::Purge>) {
          purge();
        } else if constexpr (std::is_same_v<C, Cmd::Restart>) {
          if (c.teardown) teardown();
          restart();
        }
        // show, expect, trace, log, echo, get, walk, call change nothing here.
      },
      action);
}

// A next hop changes: the watchers of entries waiting for it look again once
// the command is over.
void Model::nextHop(const Cmd::NextHop& c) {
  auto [it, added] = nextHops_.try_emplace(c.name);
  if (added) it->second.key = static_cast<std::uint32_t>(nextHops_.size());
  NextHop& n = it->second;
  bool changed = false;
  if (c.index && *c.index != n.index) {
    n.index = *c.index;
    changed = true;
  }
  if (c.state && *c.state != n.state) {
    n.state = *c.state;
    changed = true;
  }
  if (changed) runWatchers(c.name);
}

void Model::runWatchers(const std::string& nh) {
  std::vector<std::pair<std::uint64_t, Key>> watching;
  for (auto& [k, ks] : keys_) {
    if (ks.waiting && ks.watching && ks.waiting->nh == nh) watching.emplace_back(ks.watchOrder, k);
  }
  std::sort(watching.begin(), watching.end());
  for (const auto& [order, k] : watching) {
    KeyState& ks = at(k);
    if (!ks.waiting || !ks.watching || ks.watchOrder != order) continue;
    if (usable(nh)) {
      ks.watching = false;
      resolve(k);
    } else if (failedState(nextHops_.at(nh).state)) {
      if (!ks.failureReported) {
        ks.failureReported = true;
        markFailed(k);
      }
    } else {
      ks.failureReported = false;
    }
  }
}

void Model::commit(Key k, const Value& v) {
  KeyState& ks = at(k);
  if (ks.waiting) {
    if (ks.waiting->sameAs(v)) {
      promote(handleOf(k));
      return;
    }
    ks.waiting.reset();
    ks.watching = false;
  }
  if (ks.resolved && *ks.resolved && (*ks.resolved)->sameAs(v)) {
    promote(handleOf(k));
    entryStateIs(k, handleOf(k).resolved);
    return;
  }
  if (!ks.handle) ks.handle = Handle{};
  promote(*ks.handle);
  entryStateIs(k, State::unresolved);
  ks.waiting = v;
  initUnresolved(k);
}

void Model::promote(Handle& h) { h.type = Type::committed; }

void Model::initUnresolved(Key k) {
  KeyState& ks = at(k);
  const Value v = *ks.waiting;
  if (usable(v.nh)) {
    resolve(k);
    return;
  }
  ks.watching = true;
  ks.failureReported = false;
  ks.watchOrder = ++watchCounter_;
  // During the replay the next hop hears which index the chip already uses.
  if (!replayComplete_ && ks.synced && nextHops_.at(v.nh).state == State::unresolved) {
    nextHops_.at(v.nh).suggested.insert(ks.synced->nextHop);
  }
}

void Model::resolve(Key k) {
  KeyState& ks = at(k);
  Handle& h = handleOf(k);
  if (ks.resolved && *ks.resolved && !(*ks.resolved)->isDefault()) ++h.pending;
  ks.waiting->nextHop = nextHopIndexOf(*ks.waiting);
  const Value value = *ks.waiting;
  setResolvedEntry(k, value);
  ks.waiting.reset();
  ks.watching = false;
}

void Model::markFailed(Key k) {
  if (at(k).handle) entryStateIs(k, State::failedNeededEntry);
}

// --- programming -----------------------------------------------------------------

void Model::setResolvedEntry(Key k, std::optional<Value> value) {
  KeyState& ks = at(k);
  std::uint8_t kind = 0;
  if (ks.resolved) kind = !*ks.resolved ? 1 : (handleOf(k).resolved == State::indexExhausted ? 0 : 2);
  changeKind_ = kind;
  if (ks.resolved) {
    const auto& old = *ks.resolved;
    if ((!old && !value) || (old && value && old->sameAs(*value))) return;
  }
  ks.resolved = std::move(value);
  handleEntry(k);
}

void Model::deleteResolvedEntry(Key k) {
  KeyState& ks = at(k);
  changeKind_ = !ks.resolved ? 0 : (*ks.resolved ? 2 : 1);
  if (!ks.resolved) return;
  ks.resolved.reset();
  handleEntry(k);
}

void Model::handleEntry(Key k) {
  KeyState& ks = at(k);
  if (ks.resolved) {
    if (replayComplete_) {
      programHwEntry(k, State::inProgress);
      return;
    }
    if (!ks.synced) {
      programHwEntry(k, State::inProgress);
      reconciling_ = false;
      ++stats_.added;
      return;
    }
    // The chip compares its slot with the committed entry at the key.
    const Value e = entry(k).value_or(Value{});
    const bool match = ks.chip.state == SlotState::valid && ks.chip.group == e.group &&
                       ks.chip.nextHop == nextHopIndexOf(e);
    handleOf(k).hwIndex = k;
    if (match) {
      entryStateIs(k, State::indexReconciled);
      resolvedEntryStateIs(k, State::indexReconciled);
      completeProgrammed(k);
      ks.synced.reset();
      reconciling_ = false;
      ++stats_.matched;
    } else {
      programHwEntry(k, State::indexReconciled);
      ks.synced.reset();
      reconciling_ = false;
      ++stats_.differ;
    }
    return;
  }
  if (k == kNone) return;  // the exhausted index has no hardware entry
  hwDelete(k);
  if (!replayComplete_) ++stats_.deleted;
}

void Model::programHwEntry(Key k, State state) {
  if (at(k).handle) {
    entryStateIs(k, state);
    resolvedEntryStateIs(k, state);
  }
  if (k == kNone) {
    if (state == State::indexReconciled) throw Refused("entryState != indexReconciled()");
    if (at(k).handle) resolvedEntryStateIs(k, State::indexExhausted);
    return;
  }
  reconciling_ = state == State::indexReconciled;
  hwWrite(k);
  if (at(k).handle) completeProgrammed(k);
}

void Model::hwWrite(Key k) {
  KeyState& ks = at(k);
  const std::optional<Value>& value = *ks.resolved;
  if (!reconciling_) {
    if (value) {
      if (changeKind_ == 0) tracker(k, 0);
      if (changeKind_ == 1) tracker(k, 1);
    } else {
      if (changeKind_ != 2) throw Refused("false (absent value written over no value)");
      tracker(k, 3);
    }
  }
  ChipSlot& slot = ks.chip;
  if (slot.users == 0) ++faults_;  // a write to an index with no user
  if (value) {
    slot.state = SlotState::valid;
    slot.nextHop = value->nextHop;
    slot.group = value->group;
  } else {
    slot.state = SlotState::writtenEmpty;
    slot.nextHop = 0;
    slot.group = 0;
    if (pullsFromDependents(k)) pulled_.push_back(k);
  }
  ++slot.responses;
  if (hwIndexInHandle_ && ks.handle) ks.handle->hwIndex = k;  // the written index
}

void Model::hwDelete(Key k) {
  KeyState& ks = at(k);
  if (reconciling_) {
    tracker(k, 2);
  } else if (changeKind_ == 0) {
    throw Refused("false (delete of a key that had no resolved slot)");
  } else {
    tracker(k, changeKind_ == 2 ? 2 : 4);
  }
  ChipSlot& slot = ks.chip;
  if (slot.users != 0) ++faults_;  // a delete of an index that still has a user
  if (slot.state == SlotState::valid && pullsFromDependents(k)) pulled_.push_back(k);
  slot.state = SlotState::empty;
  slot.nextHop = 0;
  slot.group = 0;
  slot.leftover = Leftover::none;
}

// A dependent points at the key's hardware entry through the index its handle
// gives; one holding a handle without an index (a reference taken during the
// replay to a key nobody commits again, whose old copy the purge deletes; a
// key committed again while its delete was half done) has nothing there.
bool Model::pullsFromDependents(Key k) const {
  const KeyState& ks = keys_.at(k);
  return !tearingDown_ && ks.holds != 0 && ks.handle && ks.handle->hwIndex != kNone;
}

// The chip's index-user count (see plugins/simchip/SimChipUtil.h); a report that does
// not fit is a fault and changes nothing.
void Model::tracker(Key k, int op) {
  ChipSlot& slot = at(k).chip;
  const std::uint32_t faults = faults_;
  switch (op) {
    case 0:  // a first write: the index gains its user
    case 1:  // a write over an empty slot, which may still count its user
      if (slot.users == 0) {
        slot.users = 1;
      } else if (op == 0 || slot.state != SlotState::writtenEmpty) {
        ++faults_;
      }
      break;
    case 2:
    case 4:
      if (slot.users == 0) {
        ++faults_;
      } else {
        --slot.users;
      }
      break;
    case 3:
      if (slot.users == 0) ++faults_;
      break;
    default:
      ++faults_;
  }
  if (faults_ != faults) ++slot.refused;
  if (slot.users != 0) slot.leftover = Leftover::none;
}

// --- handle states ---------------------------------------------------------------

void Model::entryStateIs(Key k, State s) {
  Handle& h = handleOf(k);
  if (h.state == s) return;
  h.state = s;
  if ((s == State::state3 || s == State::failedNeededEntry || s == State::indexExhausted) &&
      h.type == Type::inDeletion) {
    throw Refused("entryHandle->entryType() != EntryHandle::inDeletion()");
  }
}

void Model::resolvedEntryStateIs(Key k, State r) {
  Handle& h = handleOf(k);
  if (h.resolved == r) return;
  h.resolved = r;
  handleResolvedEntryState(k);
}

void Model::handleResolvedEntryState(Key k) {
  KeyState& ks = at(k);
  const State r = handleOf(k).resolved;
  if (r == State::inProgress || r == State::indexReconciled) {
    entryStateIs(k, r);
    return;
  }
  const State s = handleOf(k).state;
  if (!ks.resolved) throw Refused("swTable_->resolvedEntryHas( key )");
  if (*ks.resolved) {
    handleOf(k).pending = 0;
    if (s == State::inProgress || s == State::indexReconciled) {
      entryStateIs(k, r);
      return;
    }
    if (s != State::unresolved && s != State::failedNeededEntry) {
      throw Refused("entryState == unresolved() || entryState == failedNeededEntry()");
    }
    if (r != State::success) throw Refused("resolvedEntryState == success()");
    return;
  }
  if (r != State::success) throw Refused("resolvedEntryState == success()");
  deleteResolvedEntry(k);
  handleOf(k).pending = 0;
  if (s == State::inProgress) {
    // The dance ends: the handle leaves the table. Dependents that took a
    // reference during the dance keep the handle outside it; the last
    // release only notes the end.
    for (auto&& onCurrent : ks.holdStack) onCurrent = false;
    ks.holds = 0;
    ks.handle.reset();
  }
}

// --- removal ---------------------------------------------------------------------

void Model::remove(Key k) {
  KeyState& ks = at(k);
  if (!replayComplete_ && ks.synced) {
    tracker(k, 2);
    ks.synced.reset();
    if (ks.chip.state == SlotState::valid && ks.chip.users == 0) {
      ks.chip.leftover = Leftover::copyOfKeyRemovedDuringReplay;
    }
  }
  if (!ks.handle) return;
  if (ks.handle->type == Type::unassigned) {
    ks.handle.reset();
    return;
  }
  if (ks.handle->type != Type::committed) return;
  ks.waiting.reset();
  ks.watching = false;
  ks.handle->type = Type::referenceOnly;
  if (handleUses(k) == 0) cleanup(k);
}

void Model::cleanup(Key k) {
  KeyState& ks = at(k);
  ks.waiting.reset();
  ks.watching = false;
  if (!replayComplete_ && handleOf(k).resolved == State::unresolved) {
    removeNow(k);
    return;
  }
  Handle& h = handleOf(k);
  if (h.type != Type::referenceOnly) throw Refused("unexpected entryType");
  const bool hasValue = ks.resolved && *ks.resolved;
  if (hasValue) ++h.pending;
  if (h.pending == 0 || !inHardwarePath(h.resolved)) {
    removeNow(k);
    return;
  }
  h.type = Type::inDeletion;
  entryStateIs(k, State::unresolved);
  if (hasValue) {
    setResolvedEntry(k, std::nullopt);
    return;
  }
  if (handleOf(k).resolved != State::inProgress) throw Refused("eh->resolvedEntryState() == inProgress()");
  entryStateIs(k, State::inProgress);
}

void Model::removeNow(Key k) {
  deleteResolvedEntry(k);
  at(k).handle.reset();
}

void Model::removeAll() {
  handleRemoveAll(false);
  if (!syncedEmpty()) throw Refused("Should call purgeStaleEntries instead");
}

void Model::hold(Key k) {
  KeyState& ks = at(k);
  if (!ks.handle) ks.handle = Handle{Type::referenceOnly};
  ++ks.holds;
  ks.holdStack.push_back(true);
}

void Model::release(Key k) {
  KeyState& ks = at(k);
  const bool onCurrent = ks.holdStack.back();
  ks.holdStack.pop_back();
  if (!onCurrent) return;  // a handle outside the table: its cleanup notes the dance's end
  --ks.holds;
  if (ks.handle && handleUses(k) == 0) cleanup(k);
}

// --- the chip's answers and the restart ----------------------------------------

void Model::confirm(Key k) {
  const std::uint32_t n = at(k).chip.responses;
  for (std::uint32_t i = 0; i < n; ++i) {
    KeyState& ks = at(k);
    --ks.chip.responses;
    if (!ks.handle) continue;
    ks.handle->hwIndex = k;
    resolvedEntryStateIs(k, State::success);
  }
}

// A waiting entry's copy from before the restart is settled without a write:
// counted as differing, its index user reported gone; the chip keeps it.
void Model::settleCopyOfWaitingEntry(Key k) {
  KeyState& ks = at(k);
  ++stats_.differ;
  tracker(k, 2);
  ks.synced.reset();
  if (ks.chip.state != SlotState::empty && ks.chip.users == 0) {
    ks.chip.leftover = Leftover::copyOfEntryWaitingAtReplayEnd;
  }
}

void Model::initComplete() {
  replayComplete_ = true;
  replayOpen_ = false;
  for (Key k : keyList_) {
    if (at(k).waiting && at(k).synced) settleCopyOfWaitingEntry(k);
  }
}

void Model::purge() {
  if (syncedEmpty()) return;
  changeKind_ = 0;
  reconciling_ = true;
  for (Key k : keyList_) {
    KeyState& ks = at(k);
    if (!ks.synced) continue;
    if (ks.waiting) {
      settleCopyOfWaitingEntry(k);
    } else if (ks.resolved) {
      ks.synced.reset();
    } else {
      if (k == kNone) throw Refused("!isExhausted( hwIndex )");
      hwDelete(k);
      ++stats_.deleted;
    }
  }
  for (auto& [k, ks] : keys_) ks.synced.reset();
  reconciling_ = false;
}

// The agent stops (the chip keeps every slot; pending responses are lost with
// the process) and starts again: the chip file is recovered (a delete in
// flight completes, index users are recounted from the allocated slots), a
// new table reads the chip back, and the next hops are new.
void Model::restart() {
  for (auto& [k, ks] : keys_) {
    ChipSlot chip = ks.chip;
    chip.responses = 0;
    if (chip.state == SlotState::writtenEmpty) chip = ChipSlot{};
    chip.users = chip.state == SlotState::empty ? 0 : 1;
    chip.leftover = Leftover::none;
    chip.refused = 0;
    ks = KeyState{};
    ks.chip = chip;
    if (chip.state == SlotState::valid) ks.synced = Value{"", chip.group, chip.nextHop};
  }
  nextHops_.clear();
  faults_ = 0;  // the fault log belongs to the adaptor of one agent process
  replayComplete_ = false;
  replayOpen_ = true;
  reconciling_ = false;
  stats_ = Stats{};
}

// --- teardown, bulk handle removal, programmed-state completion ----------------

// The table is torn down with the chip attached: every handle is cut loose
// (the cleanups of its later release do nothing) and every resolved slot is
// deleted, each reaching the chip as a delete; what dependents hold points
// nowhere from then on. The agent then starts again (restart()).
void Model::teardown() {
  tearingDown_ = true;
  for (Key k : keyList_) {
    if (at(k).resolved) deleteResolvedEntry(k);
  }
  tearingDown_ = false;
}

// entryHandleRemoveAll: every key with a handle (or only those whose handle
// is unassigned) is removed in one pass that keeps each visited handle in
// use; their cleanups run after the pass. remove-all is this pass over
// every key, and insists that the stale purge has run.
void Model::handleRemoveAll(bool unassignedOnly) {
  std::vector<Key> visited;
  for (Key k : keyList_) {
    const auto& h = at(k).handle;
    if (h && (!unassignedOnly || h->type == Type::unassigned)) visited.push_back(k);
  }
  for (Key k : visited) {
    passUses_.insert(k);
    remove(k);
  }
  for (Key k : visited) {
    passUses_.erase(k);
    if (at(k).handle && handleUses(k) == 0) cleanup(k);
  }
}

// With the programmed-state switch on, a programmed handle is complete at
// once: its index is the key and its write counts as confirmed.
void Model::completeProgrammed(Key k) {
  if (!programmedState_ || !at(k).handle) return;
  handleOf(k).hwIndex = k;
  resolvedEntryStateIs(k, k == kNone ? State::indexExhausted : State::success);
}

}  // namespace VelarModel
