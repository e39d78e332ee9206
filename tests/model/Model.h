#pragma once
// The reference model of the local DVP table on the simulated chip, for the
// randomized model checks of model_test.cpp.
//
// The model is written from the table's behaviour as docs/architecture.md
// describes it, key by key: what is committed (waiting for its next hop or
// resolved), what the key's handle shows, what each dependent holds, what
// the chip holds and how many users the chip's tracker counts for each index,
// which write responses are pending, and what the restart reconciliation
// keeps, rewrites and purges. It never looks at the table; the harness
// compares the two after every command.
//
// It speaks the agent's scenario language: every step is a DvpAgent::Action
// (nexthop, commit, remove, remove-all [handles|unassigned], hold, release,
// confirm, init-complete, purge, restart, teardown), so that a failing
// sequence prints as a scenario that
// dvp-agent runs.
//
// Where the table by design leaves the chip other than "the
// resolved entries, nothing else", the chip slot carries the name of the case
// (Leftover); the outcome checks accept exactly those slots.
//
// A step after which the table would stop with an assertion (a broken
// contract of the caller, such as remove-all before the stale purge) raises
// Model::Refused naming the assertion; the generator never offers it.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Asic/SwTableBase.h"
#include "tools/dvp-agent/Scenario.h"

namespace VelarModel {

using Key = std::uint32_t;
using State = Asic::SwTableBase::EntryState;
using Type = Asic::SwTableBase::EntryType;

inline constexpr std::uint32_t kNone = 0xFFFFFFFF;  // no index; also the exhausted key

// A committed value. Two values are the same configuration when they name the
// same next hop (or both none) and the same group; nextHop is derived from the
// next hop when there is one and is never compared.
struct Value {
  std::string nh;  // "" for no next hop
  std::uint8_t group = 0;
  std::uint32_t nextHop = 0;

  bool sameAs(const Value& o) const noexcept { return nh == o.nh && group == o.group; }
  bool isDefault() const noexcept { return nh.empty() && group == 0; }
};

// The key's handle while the table's entryHandle collection holds it.
struct Handle {
  Type type = Type::unassigned;
  State state = State::unresolved;
  State resolved = State::unresolved;
  std::uint32_t hwIndex = kNone;
  std::uint32_t pending = 0;  // pending-entry queue length
};

enum class SlotState : std::uint8_t { empty, valid, writtenEmpty };

// Why an allocated chip slot that no resolved entry owns, or that the tracker does
// not count, is where it is.
enum class Leftover : std::uint8_t {
  none,
  // The key was removed during the restart's replay while the chip still had
  // its copy from before the restart: the copy leaves the tracker (op 2) and
  // syncedEntry, but stays on the chip until the key is written again or the
  // chip is recovered at the next restart.
  copyOfKeyRemovedDuringReplay,
  // The key's entry was still waiting for its next hop when init completion
  // (or the stale purge) settled its copy from before the restart: the copy
  // leaves the tracker and stays on the chip until the entry resolves and is
  // written (op 0), even if the entry is removed before that. A key that
  // also has a resolved value (committed between init completion and the
  // purge) keeps its slot without user: a rewrite reports none, a delete
  // dance writes it empty (op 3 refused, or the purge settles the copy while
  // the dance runs) and the dance's delete report is refused (op 4).
  copyOfEntryWaitingAtReplayEnd,
};
const char* leftoverName(Leftover leftover) noexcept;

struct ChipSlot {
  SlotState state = SlotState::empty;
  std::uint32_t nextHop = 0;
  std::uint8_t group = 0;
  std::uint32_t users = 0;      // the chip's index-user count
  std::uint32_t responses = 0;  // write responses pending for the key
  std::uint32_t refused = 0;    // tracker reports the chip refused since the agent started
  Leftover leftover = Leftover::none;
};

struct KeyState {
  std::optional<Handle> handle;
  std::optional<Value> waiting;  // unresolvedEntry
  bool watching = false;         // the waiting entry watches its next hop
  bool failureReported = false;  // the watcher told the entry that its next hop failed
  std::uint64_t watchOrder = 0;  // the order of watchers on one next hop
  // resolvedEntry: no slot, a slot without value (delete in flight), a value.
  std::optional<std::optional<Value>> resolved;
  std::optional<Value> synced;  // syncedEntry: the chip's copy at restart
  std::uint32_t holds = 0;      // references dependents hold on the key's handle
  // Every reference dependents hold, in the order they were taken (a release
  // drops the newest): true for one on the key's handle, false for one on a
  // handle that left the table at the end of its delete dance.
  std::vector<bool> holdStack;
  ChipSlot chip;
};

struct NextHop {
  std::uint32_t key = 0;  // its key in the agent's next-hop table
  std::uint32_t index = kNone;
  State state = State::unresolved;
  std::set<std::uint32_t> suggested;
};

struct Stats {
  std::uint64_t matched = 0, differ = 0, added = 0, deleted = 0;
  friend bool operator==(const Stats&, const Stats&) = default;
};

class Model {
 public:
  // The table would stop with this assertion.
  struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
  };

  // A fresh agent on an empty chip, the keys it will be asked about; with
  // `hwIndexInHandle` the chip's adaptor has the framework publish hardware
  // indices in entry handles. The programmed-state switch is read from the
  // environment, as the table reads it.
  explicit Model(std::vector<Key> keys, bool hwIndexInHandle = false);

  // Carries out one command. Throws Refused.
  void apply(const DvpAgent::Action& action);
  // Whether the command may be given now: the language's own rules (a known
  // next hop, a hold to release, one init-complete per start) and no
  // assertion of the table.
  bool allows(const DvpAgent::Action& action) const;

  // How often allows() turned a command down because the table would
  // assert after it, by assertion (for the run's summary).
  static std::map<std::string, std::uint64_t>& refusals();

  const std::vector<Key>& keys() const noexcept { return keyList_; }
  const KeyState& key(Key k) const { return keys_.at(k); }
  const std::map<std::string, NextHop>& nextHops() const noexcept { return nextHops_; }
  bool replayComplete() const noexcept { return replayComplete_; }
  bool hwIndexInHandle() const noexcept { return hwIndexInHandle_; }
  // The scenario language's view: no init-complete since the agent started.
  bool replayOpen() const noexcept { return replayOpen_; }
  const Stats& stats() const noexcept { return stats_; }
  bool syncedEmpty() const noexcept;
  // No write response pending anywhere.
  bool quiescent() const noexcept;
  // Tracker faults the chip reports (the model's arithmetic of the chip's
  // index-user counts; the checks require none).
  std::uint32_t trackerFaults() const noexcept { return faults_; }

  // What the lookup and iteration of the table show for the key.
  std::optional<Value> entry(Key k) const;
  bool entryHas(Key k) const;
  // The handle's use count: the dependents' references and, unless it is
  // reference-only, the collection's use.
  std::uint32_t handleUses(Key k) const;
  // Keys whose value the last command deleted or wrote empty on the chip
  // while a dependent held their handle with its hardware index (must stay
  // empty).
  const std::vector<Key>& pulledFromDependents() const noexcept { return pulled_; }

 private:
  KeyState& at(Key k) { return keys_.at(k); }
  Handle& handleOf(Key k);
  bool usable(const std::string& nh) const;
  std::uint32_t nextHopIndexOf(const Value& v) const;

  void nextHop(const DvpAgent::Cmd::NextHop& c);
  void runWatchers(const std::string& nh);
  void commit(Key k, const Value& v);
  void promote(Handle& h);
  void initUnresolved(Key k);
  void resolve(Key k);
  void markFailed(Key k);
  void setResolvedEntry(Key k, std::optional<Value> value);
  void deleteResolvedEntry(Key k);
  void handleEntry(Key k);
  void programHwEntry(Key k, State state);
  void hwWrite(Key k);
  void hwDelete(Key k);
  void tracker(Key k, int op);
  bool pullsFromDependents(Key k) const;
  void entryStateIs(Key k, State s);
  void resolvedEntryStateIs(Key k, State r);
  void handleResolvedEntryState(Key k);
  void remove(Key k);
  void cleanup(Key k);
  void removeNow(Key k);
  void removeAll();
  void hold(Key k);
  void release(Key k);
  void confirm(Key k);
  void initComplete();
  void purge();
  void restart();
  void settleCopyOfWaitingEntry(Key k);
  // Beyond the everyday commands: the table torn down on the attached chip,
  // the bulk handle removal, the programmed-state completion.
  void teardown();
  void handleRemoveAll(bool unassignedOnly);
  void completeProgrammed(Key k);

  std::vector<Key> keyList_;
  std::map<Key, KeyState> keys_;
  std::map<std::string, NextHop> nextHops_;
  bool replayComplete_ = false;
  bool replayOpen_ = true;
  bool reconciling_ = false;
  std::uint8_t changeKind_ = 0;
  std::uint64_t watchCounter_ = 0;
  std::set<Key> passUses_;  // handles the remove-all pass keeps in use
  std::uint32_t faults_ = 0;
  Stats stats_;
  std::vector<Key> pulled_;
  bool hwIndexInHandle_ = false;
  bool programmedState_ = false;  // PUBLISH_ENTRY_HANDLE_PROGRAMMED_STATE
  bool tearingDown_ = false;
};

}  // namespace VelarModel
