#include "plugins/simchip/SimChipUtil.h"

#include <fmt/format.h>

#include <algorithm>
#include <deque>
#include <map>
#include <utility>

#include "platform/Activity/Activity.h"
#include "plugins/simchip/SimChipHwTable.h"

namespace SimChip {

using OpType = Asic::IndexUserTracker::OpType;
using VelarL3Vfi::LocalDvpTable;

// What dies with the util: deferred deliveries reach it only through a
// weak_ptr.
struct Util::State {
  struct Pending {
    std::uint64_t seq;
    Asic::WriteResponseRecord record;
  };

  LocalDvpTable* table = nullptr;
  std::deque<Pending> pending;
  std::uint64_t nextSeq = 0;
  bool autoDeliver = false;
  std::vector<Call> log;
  std::vector<Fault> faults;
};

namespace {

using State = Util::State;

void logCall(State& state, const char* operation, bool hasKey, std::uint32_t key,
             std::string detail) {
  state.log.push_back(Call{operation, hasKey, key, std::move(detail)});
}

// Records a fault and returns the note its call's log line ends with.
std::string recordFault(State& state, Fault::Kind kind, const char* operation, std::uint32_t index,
                        int op, std::string message) {
  const char* label = kind == Fault::Kind::keyOutOfRange ? "error" : "fault";
  std::string note = fmt::format(" -> {}: {}", label, message);
  state.faults.push_back(Fault{kind, operation, index, op, std::move(message)});
  return note;
}

std::string withNote(std::string detail, const std::string& note) {
  if (note.empty()) return detail;
  if (detail.empty()) return note.substr(1);
  return detail + note;
}

// Hands one response to its table. The table is held across the call: a
// handle hook inside it may drop the table's last other use, and with it this
// util, which then ends when the call returns.
void deliverTo(LocalDvpTable& table, const Asic::WriteResponseRecord& record) {
  Quill::Ptr<LocalDvpTable> keep;
  if (table.useCount() != 0) keep = Quill::Ptr<LocalDvpTable>(&table);
  table.hwWriteResponseIs(&record, sizeof record);
}

// Delivers the responses that `pick` selects among those pending when
// delivery starts, oldest first. Works on the state alone and re-checks it
// after every response, so a delivery that ends the util stops the loop.
template <class Pick>
std::size_t deliverPending(const std::weak_ptr<State>& weak, Pick pick) {
  std::uint64_t end = 0;
  if (auto state = weak.lock()) {
    end = state->nextSeq;
  } else {
    return 0;
  }
  std::size_t delivered = 0;
  for (;;) {
    Asic::WriteResponseRecord record{};
    LocalDvpTable* table = nullptr;
    {
      auto state = weak.lock();
      if (!state) break;
      auto it = std::find_if(state->pending.begin(), state->pending.end(),
                             [&](const State::Pending& p) { return p.seq < end && pick(p); });
      if (it == state->pending.end()) break;
      record = it->record;
      table = state->table;
      state->pending.erase(it);
    }
    if (table == nullptr) continue;  // written with no table to answer
    deliverTo(*table, record);
    ++delivered;
  }
  return delivered;
}

void postDelivery(const std::shared_ptr<State>& state, std::uint64_t seq) {
  Activity::post([weak = std::weak_ptr<State>(state), seq] {
    if (auto live = weak.lock(); !live || !live->autoDeliver) return;
    deliverPending(weak, [seq](const State::Pending& p) { return p.seq == seq; });
  });
}

}  // namespace

Util::Util(std::shared_ptr<Chip> chip, LocalDvpTable* table)
    : VelarL3Vfi::LocalDvpTableUtil("SimChip::Util"),
      chip_(std::move(chip)),
      state_(std::make_shared<State>()) {
  state_->table = table;
}

Util::~Util() { nodeFlagSet(kFlagLive, false); }

bool Util::keyInRange(const char* operation, std::uint32_t key, std::string detail) const {
  if (chip_->inRange(key)) return true;
  auto note =
      recordFault(*state_, Fault::Kind::keyOutOfRange, operation, key, Fault::kNoOp,
                  fmt::format("key outside [{}, {}]", chip_->minIndex(), chip_->maxIndex()));
  logCall(*state_, operation, true, key, withNote(std::move(detail), note));
  return false;
}

// --- the adaptor contract --------------------------------------------------

std::uint32_t Util::minIndex() const { return chip_->minIndex(); }
std::uint32_t Util::maxIndex() const { return chip_->maxIndex(); }

void Util::hwTableEntryIs(LocalDvpTable* swTable, Index key,
                          const Kiv::Optional<Entry>& entry) const {
  const std::uint32_t k = key.value;
  std::string detail =
      entry.present()
          ? fmt::format("group={} nextHop={}", entry->dvpNetworkGroup(), entry->localPortNextHop())
          : std::string("absent");
  if (!keyInRange("write", k, detail)) return;
  std::string note;
  if (chip_->users(k) == 0) {
    note = recordFault(*state_, Fault::Kind::tracker, "write", k, Fault::kNoOp,
                       "write to an index with no user");
  }
  if (entry.present()) {
    chip_->valueIs(k, entry->dvpNetworkGroup(), entry->localPortNextHop());
  } else {
    chip_->emptyValueIs(k);
  }
  logCall(*state_, "write", true, k, withNote(std::move(detail), note));

  if (swTable != nullptr) state_->table = swTable;
  const std::uint64_t seq = state_->nextSeq++;
  state_->pending.push_back(State::Pending{seq, Asic::WriteResponseRecord{k, k}});
  if (state_->autoDeliver) postDelivery(state_, seq);
}

void Util::hwTableEntryDel(LocalDvpTable* swTable, Index key) const {
  const std::uint32_t k = key.value;
  if (!keyInRange("delete", k, std::string())) return;
  std::string note;
  if (chip_->users(k) != 0) {
    note =
        recordFault(*state_, Fault::Kind::tracker, "delete", k, Fault::kNoOp,
                    fmt::format("delete of an index that still has {} user(s)", chip_->users(k)));
  }
  chip_->slotClear(k);
  logCall(*state_, "delete", true, k, withNote(std::string(), note));
  if (swTable != nullptr) state_->table = swTable;
}

void Util::updateHwIndexRefCountTracker(Asic::HwTable* /*hwTable: the util's own chip*/, Index key,
                                        OpType updateOperation) const {
  const std::uint32_t k = key.value;
  const int op = static_cast<int>(updateOperation);
  std::string detail = fmt::format("op={}", op);
  if (!keyInRange("tracker", k, detail)) return;

  const std::uint32_t users = chip_->users(k);
  std::string problem;
  switch (updateOperation) {
    case OpType::firstWrite:
      if (users == 0) {
        chip_->usersIs(k, 1);
      } else {
        problem = "first write to an index that already has its user";
      }
      break;
    case OpType::writeIntoEmptySlot:
      if (users == 0) {
        chip_->usersIs(k, 1);
      } else if (chip_->slot(k).state != SlotState::writtenEmpty) {
        problem = fmt::format("write into an empty slot, but the slot is {} and has its user",
                              slotStateName(chip_->slot(k).state));
      }
      break;
    case OpType::deleteWritten:
    case OpType::deleteEmptySlot:
      if (users == 0) {
        problem = "delete of an index with no user";
      } else {
        chip_->usersIs(k, users - 1);
      }
      break;
    case OpType::writeAbsent:
      if (users == 0) problem = "absent write to an index with no user";
      break;
    default:
      problem = "unknown op";
      break;
  }
  std::string note;
  if (!problem.empty()) {
    note = recordFault(*state_, Fault::Kind::tracker, "tracker", k, op, std::move(problem));
  }
  logCall(*state_, "tracker", true, k, withNote(std::move(detail), note));
}

bool Util::compareHwEntries(LocalDvpTable* /*swTable*/, Index key,
                            const Entry& resolvedEntry) const {
  const std::uint32_t k = key.value;
  if (!keyInRange("compare", k, std::string())) return false;
  const Slot s = chip_->slot(k);
  const auto& handle = resolvedEntry.localPortNextHopHandle();
  const std::uint32_t nextHop =
      handle ? Asic::SwTableBase::getHwEntryIndex(handle) : resolvedEntry.localPortNextHop();
  const bool match = s.state == SlotState::valid && s.group == resolvedEntry.dvpNetworkGroup() &&
                     s.nextHop == nextHop;
  logCall(*state_, "compare", true, k, match ? "-> match" : "-> mismatch");
  return match;
}

void Util::syncEntries(Asic::HwTable* /*hwTable: the util's own chip*/,
                       const Quill::Ptr<LocalDvpTable>& swTable) const {
  if (!swTable) {
    logCall(*state_, "sync", false, 0, "-> error: no table");
    return;
  }
  std::uint32_t synced = 0;
  for (std::uint32_t i = chip_->minIndex(); i <= chip_->maxIndex(); ++i) {
    const Slot s = chip_->slot(i);
    if (s.state != SlotState::valid) continue;
    swTable->syncedEntryIs(i, Entry(nullptr, s.group, s.nextHop));
    ++synced;
  }
  logCall(*state_, "sync", false, 0, fmt::format("-> {} entries", synced));
}

// --- control ---------------------------------------------------------------

std::vector<Call> Util::callLog() const { return state_->log; }

std::string Util::callLogText() const {
  std::string text;
  for (const auto& call : state_->log) {
    text += call.line();
    text += '\n';
  }
  return text;
}

void Util::callLogClear() { state_->log.clear(); }

std::size_t Util::deliver(std::uint32_t key) {
  return deliverPending(state_, [key](const State::Pending& p) { return p.record.key == key; });
}

std::size_t Util::deliverAll() {
  return deliverPending(state_, [](const State::Pending&) { return true; });
}

std::vector<Asic::WriteResponseRecord> Util::pendingResponses() const {
  std::vector<Asic::WriteResponseRecord> out;
  out.reserve(state_->pending.size());
  for (const auto& p : state_->pending) out.push_back(p.record);
  return out;
}

void Util::autoDeliverIs(bool on) {
  if (on == state_->autoDeliver) return;
  state_->autoDeliver = on;
  if (on) {
    for (const auto& p : state_->pending) postDelivery(state_, p.seq);
  }
}

bool Util::autoDeliver() const { return state_->autoDeliver; }

void Util::hwIndexInEntryHandleIs(bool on) { Asic::SwTable::Util::hwIndexInEntryHandleIs(on); }

std::uint32_t Util::trackerCount(std::uint32_t index) const {
  return chip_->inRange(index) ? chip_->users(index) : 0;
}

std::vector<Fault> Util::faults() const { return state_->faults; }

std::vector<Fault> Util::trackerFaults() const {
  std::vector<Fault> out;
  std::copy_if(state_->faults.begin(), state_->faults.end(), std::back_inserter(out),
               [](const Fault& f) { return f.kind == Fault::Kind::tracker; });
  return out;
}

void Util::faultsClear() { state_->faults.clear(); }

Slot Util::slot(std::uint32_t index) const {
  return chip_->inRange(index) ? chip_->slot(index) : Slot{};
}

std::uint32_t Util::entries() const { return chip_->entries(); }

std::string Util::location() const { return chip_->location(); }

// --- the view --------------------------------------------------------------

namespace {

// The tracker reports refused per index: the faults of a report (which has
// an op), not those of a write or delete that the count did not fit.
std::map<std::uint32_t, std::uint32_t> refusedReports(const State& state) {
  std::map<std::uint32_t, std::uint32_t> refused;
  for (const auto& fault : state.faults) {
    if (fault.kind == Fault::Kind::tracker && fault.op != Fault::kNoOp) ++refused[fault.index];
  }
  return refused;
}

VelarL3Vfi::HwTableView::Slot viewSlot(const Chip& chip, std::uint32_t key, std::uint32_t refused) {
  const Slot s = chip.slot(key);
  VelarL3Vfi::HwTableView::Slot out{key, std::nullopt, s.allocated(), chip.users(key), refused};
  if (s.state == SlotState::valid) out.entry.emplace(nullptr, s.group, s.nextHop);
  return out;
}

}  // namespace

void Util::forEachSlot(const std::function<void(const HwTableView::Slot&)>& visit) const {
  const auto refused = refusedReports(*state_);
  auto next = refused.begin();
  for (std::uint32_t i = chip_->minIndex(); i <= chip_->maxIndex(); ++i) {
    const std::uint32_t reports = next != refused.end() && next->first == i ? (next++)->second : 0;
    if (auto s = viewSlot(*chip_, i, reports); !s.blank()) visit(s);
  }
}

VelarL3Vfi::HwTableView::Slot Util::slotOf(std::uint32_t key) const {
  if (!chip_->inRange(key)) return HwTableView::Slot{key, std::nullopt, false, std::nullopt, 0};
  const auto refused = refusedReports(*state_);
  const auto found = refused.find(key);
  return viewSlot(*chip_, key, found != refused.end() ? found->second : 0);
}

// --- factory ---------------------------------------------------------------

Quill::Ptr<Asic::SwTable::Util> makeUtil(Asic::SwTable& table) {
  std::shared_ptr<Chip> chip;
  if (auto* hw = dynamic_cast<HwTable*>(table.hwTable())) chip = hw->chip();
  if (!chip) chip = Chip::anonymous(kDefaultEntries);
  return Quill::Ptr<Asic::SwTable::Util>(
      new Util(std::move(chip), dynamic_cast<LocalDvpTable*>(&table)));
}

}  // namespace SimChip
