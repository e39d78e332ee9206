#include "tests/model/Harness.h"

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <type_traits>

#include "VelarL3Vfi/LocalDvpTable.h"
#include "simulation/NeededEntryTable.h"
#include "tools/dvp-agent/Format.h"

namespace VelarModel {

namespace Cmd = DvpAgent::Cmd;
using DvpAgent::Object;
using DvpAgent::Query;
using VelarL3Vfi::LocalDvpTable;

std::string dvpLine(const DvpAgent::Action& action) {
  return std::visit(
      [](const auto& c) -> std::string {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, Cmd::NextHop>) {
          std::string line = "nexthop " + c.name;
          if (c.index) line += " index=" + DvpAgent::indexText(*c.index);
          if (c.state) line += " state=" + std::string(Asic::entryStateName(*c.state));
          return line;
        } else if constexpr (std::is_same_v<C, Cmd::Commit>) {
          std::string line = fmt::format("commit {}", c.key);
          if (c.nextHopName) line += " nh=" + *c.nextHopName;
          line += fmt::format(" group={}", c.group);
          if (c.nextHop != 0) line += fmt::format(" nexthop={}", c.nextHop);
          return line;
        } else if constexpr (std::is_same_v<C, Cmd::Remove>) {
          return fmt::format("remove {}", c.key);
        } else if constexpr (std::is_same_v<C, Cmd::RemoveAll>) {
          return c.handles ? (c.unassignedOnly ? "remove-all unassigned" : "remove-all handles") : "remove-all";
        } else if constexpr (std::is_same_v<C, Cmd::Hold>) {
          return fmt::format("hold {}", c.key);
        } else if constexpr (std::is_same_v<C, Cmd::Release>) {
          return fmt::format("release {}", c.key);
        } else if constexpr (std::is_same_v<C, Cmd::Confirm>) {
          return c.key ? fmt::format("confirm {}", *c.key) : std::string("confirm all");
        } else if constexpr (std::is_same_v<C, Cmd::InitComplete>) {
          return "init-complete";
        } else if constexpr (std::is_same_v<C, Cmd::Purge>) {
          return "purge";
        } else if constexpr (std::is_same_v<C, Cmd::Restart>) {
          return c.teardown ? "teardown" : "restart";

        } else {
          return "# (not a model command)";
        }
      },
      action);
}

std::vector<ExpectedLine> expectedLines(const Model& model) {
  std::vector<ExpectedLine> out;
  for (Key k : model.keys()) {
    const KeyState& ks = model.key(k);
    Query hw{Object::hw, k, std::nullopt};
    if (ks.chip.state == SlotState::empty) {
      out.push_back({hw, DvpAgent::absentLine(hw)});
    } else {
      SimChip::Slot slot;
      slot.state = ks.chip.state == SlotState::valid ? SimChip::SlotState::valid : SimChip::SlotState::writtenEmpty;
      if (ks.chip.state == SlotState::valid) {
        slot.nextHop = ks.chip.nextHop;
        slot.group = ks.chip.group;
      }
      out.push_back({hw, DvpAgent::hwLine(k, slot)});
    }

    Query entry{Object::entry, k, std::nullopt};
    if (auto e = model.entry(k)) {
      out.push_back({entry, DvpAgent::entryLine(k, e->nh.empty() ? std::nullopt : std::optional(e->nh),
                                                e->nextHop, e->group)});
    } else {
      out.push_back({entry, DvpAgent::absentLine(entry)});
    }

    Query handle{Object::handle, k, std::nullopt};
    if (const auto& h = ks.handle) {
      out.push_back({handle, DvpAgent::handleLine(DvpAgent::HandleView{k, h->type, h->state, h->resolved, h->hwIndex,
                                                                       h->pending, model.handleUses(k)})});
    } else {
      out.push_back({handle, DvpAgent::absentLine(handle)});
    }

    Query tracker{Object::tracker, k, std::nullopt};
    out.push_back({tracker, DvpAgent::trackerLine(k, ks.chip.users)});
  }
  Asic::SwTable::Statistics stats;
  stats.counts = {model.stats().matched, model.stats().differ, model.stats().added, model.stats().deleted};
  out.push_back({Query{Object::stats, std::nullopt, std::nullopt}, DvpAgent::statsLine(stats)});
  for (const auto& [name, nh] : model.nextHops()) {
    out.push_back({Query{Object::nexthop, std::nullopt, name},
                   DvpAgent::nextHopLine(name, nh.index, nh.state, nh.suggested)});
  }
  return out;
}

std::vector<std::string> expectLines(const Model& model) {
  std::vector<std::string> out;
  for (const auto& e : expectedLines(model)) {
    if (e.query.object == Object::tracker && e.query.key == kNone) continue;
    out.push_back("expect " + e.line);
  }
  return out;
}

std::string scenarioText(const std::vector<std::string>& header, const std::vector<std::string>& commands,
                         const std::vector<std::string>& expectations) {
  std::string text;
  for (const auto& line : header) text += "# " + line + "\n";
  text += "log adaptor on\n";
  for (const auto& line : commands) text += line + "\n";
  if (!expectations.empty()) text += "echo == What the model expects now:\n";
  for (const auto& line : expectations) text += line + "\n";
  return text;
}

// --- the harness -------------------------------------------------------------------

Harness::Harness(std::string chipFile, std::uint32_t chipEntries, bool hwIndexInHandle)
    : chipFile_(std::move(chipFile)) {
  std::filesystem::remove(chipFile_);
  DvpAgent::AgentOptions options;
  options.chip = chipFile_;
  options.chipEntries = chipEntries;
  options.adaptorLog = true;  // the chip traffic of each command, for the checks
  options.hwIndexInHandle = hwIndexInHandle;
  agent_ = std::make_unique<DvpAgent::Agent>(options, out_);
}

Harness::~Harness() {
  agent_.reset();
  std::filesystem::remove(chipFile_);
}

bool Harness::run(const DvpAgent::Action& action) {
  out_.lines.clear();
  out_.errors.clear();
  const bool ok = agent_->run(DvpAgent::Command{"model", ++line_, action});
  return ok && out_.errors.empty();
}

namespace {

// The name of a next hop in the model, from the handle an entry holds.
std::string nextHopName(const Model& model, const LocalDvpTable::Entry& e) {
  const auto* h = dynamic_cast<const Asic::NeededEntryTable::Handle*>(e.localPortNextHopHandle().get());
  if (h == nullptr) return e.localPortNextHopHandle() ? "?" : "";
  for (const auto& [name, nh] : model.nextHops()) {
    if (nh.key == h->key()) return name;
  }
  return "?";
}

bool sameEntry(const Model& model, const LocalDvpTable::Entry& e, const std::optional<Value>& v) {
  const Value value = v.value_or(Value{});
  return nextHopName(model, e) == value.nh && e.dvpNetworkGroup() == value.group &&
         e.localPortNextHop() == value.nextHop;
}

// The audit's finding lines the model predicts from its own record: the
// copy a named leftover left without index user (and without owner unless
// the key has a resolved value), the tracker reports the chip refused;
// nothing on a key with a write or delete in flight, nothing else.
std::vector<std::string> expectedAudit(const Model& model) {
  std::vector<std::string> lines;
  for (Key k : model.keys()) {
    const KeyState& ks = model.key(k);
    if (ks.resolved && (!*ks.resolved || (ks.handle && ks.handle->resolved == State::inProgress))) continue;
    const bool leftover = ks.chip.leftover != Leftover::none;
    if (leftover && !ks.resolved) {
      lines.push_back(fmt::format("audit unowned key={} chip=nexthop={},group={}", k,
                                  DvpAgent::indexText(ks.chip.nextHop), ks.chip.group));
    }
    if (leftover) lines.push_back(fmt::format("audit users key={} chip=users=0 expected=users=1", k));
    if (ks.chip.refused != 0) lines.push_back(fmt::format("audit tracker key={} chip=refused={}", k, ks.chip.refused));
  }
  return lines;
}

bool usableNextHop(const Asic::SwTableBase::EntryHandle* h, bool hwIndexInHandle) {
  using S = Asic::SwTableBase::EntryState;
  if (h == nullptr || h->entryState() == S::indexReconciled) return true;
  return h->hwIndex() != kNone && (h->entryState() == S::state3 || h->entryState() == S::success || hwIndexInHandle);
}

}  // namespace

std::vector<std::string> Harness::check(const Model& before, const Model& after) {
  std::vector<std::string> problems;
  auto problem = [&](std::string text) { problems.push_back(std::move(text)); };
  const LocalDvpTable& table = agent_->table();
  SimChip::Control& chip = agent_->chip();

  // What the agent shows, line by line.
  for (const auto& expected : expectedLines(after)) {
    const auto lines = agent_->show(expected.query);
    const std::string got = lines.empty() ? DvpAgent::absentLine(expected.query) : lines.front();
    if (got != expected.line) problem(fmt::format("show {}: \"{}\", the model says \"{}\"", expected.query.text(), got, expected.line));
  }

  // The chip's index-user counts.
  if (chip.faults().size() != after.trackerFaults()) {
    problem(fmt::format("the chip reports {} faults, the model counts {}", chip.faults().size(), after.trackerFaults()));
    for (const auto& fault : chip.faults()) problem("chip fault: " + fault.line());
  }
  for (Key k : after.keys()) {
    if (k == kNone) continue;
    const auto slot = chip.slot(k);
    const std::uint32_t users = chip.trackerCount(k);
    if (users == (slot.allocated() ? 1u : 0u)) continue;
    const Leftover leftover = after.key(k).chip.leftover;
    if (slot.allocated() && users == 0 && leftover != Leftover::none) continue;
    problem(fmt::format("index {} has {} users and its slot is {}", k, users, SimChip::slotStateName(slot.state)));
  }

  // Hardware entries pulled from under a dependent: a value written empty or
  // deleted while a dependent holds the key's handle, which gave it the
  // index. (A handle without an index points nowhere: a reference taken
  // during the replay to a key nobody commits again, whose old copy the purge
  // deletes. The delete of a slot written empty before the command ends a
  // delete that began earlier and takes no value away.)
  for (const auto& line : out_.lines) {
    Key k = 0;
    int end = 0;
    const auto whole = [&](const char* format) {
      end = 0;
      return std::sscanf(line.c_str(), format, &k, &end) == 1 && static_cast<std::size_t>(end) == line.size();
    };
    if (whole("adaptor delete key=%u%n")) {
      if (before.key(k).chip.state != SlotState::valid) continue;
    } else if (!whole("adaptor write key=%u absent%n")) {
      continue;
    }
    const auto& h = before.key(k).handle;
    if (h && h->hwIndex != kNone && after.key(k).holds != 0) {
      problem(fmt::format("`{}` while a dependent holds the handle of key {}", line, k));
    }
  }
  for (Key k : after.pulledFromDependents()) {
    problem(fmt::format("the model deletes key {} while a dependent holds its handle", k));
  }

  // Lookup and iteration.
  std::map<Key, int> visits;
  for (auto it = table.entryIteratorConst(); !it.isEnd(); it.advance()) {
    const Key k = it.key().value;
    if (++visits[k] > 1) problem(fmt::format("iteration visits key {} twice", k));
    if (!(it.entry() == table.entry(k)) || it.entry().localPortNextHop() != table.entry(k).localPortNextHop()) {
      problem(fmt::format("iteration shows {} at key {}, entry(key) {}", it.entry().toStrep(), k, table.entry(k).toStrep()));
    }
  }
  for (Key k : after.keys()) {
    const auto expected = after.entry(k);
    if (table.entryHas(k) != after.entryHas(k)) {
      problem(fmt::format("entryHas({}) is {}, the model says {}", k, table.entryHas(k), after.entryHas(k)));
    }
    if (!sameEntry(after, table.entry(k), expected)) {
      problem(fmt::format("entry({}) is {}", k, table.entry(k).toStrep()));
    }
    if ((visits.count(k) != 0) != expected.has_value()) {
      problem(fmt::format("iteration {} key {}", visits.count(k) != 0 ? "visits" : "misses", k));
    }
  }

  // Write responses.
  std::map<Key, std::uint32_t> responses;
  for (const auto& r : chip.pendingResponses()) ++responses[r.key];
  for (Key k : after.keys()) {
    if (responses[k] != after.key(k).chip.responses) {
      problem(fmt::format("key {} has {} write responses pending, the model {}", k, responses[k],
                          after.key(k).chip.responses));
    }
  }

  // Waiting entries wait only for next hops that are not usable.
  for (auto it = table.unresolvedEntryColl().begin(); it != table.unresolvedEntryColl().end(); ++it) {
    if (usableNextHop(it.value()->entry().localPortNextHopHandle().get(), after.hwIndexInHandle())) {
      problem(fmt::format("entry {} waits for a usable next hop", it.key().value));
    }
  }

  std::vector<std::string> audited;
  for (const auto& finding : agent_->audit().findings) audited.push_back(DvpAgent::auditLine(finding));
  if (const auto predicted = expectedAudit(after); audited != predicted) {
    problem(fmt::format("the audit finds [{}], the model predicts [{}]", fmt::join(audited, "; "), fmt::join(predicted, "; ")));
  }

  for (const auto& error : out_.errors) problem("agent: " + error);
  if (after.quiescent() && chip.pendingResponses().empty()) {
    for (auto& p : outcome(after)) problems.push_back(std::move(p));
  }
  return problems;
}

// Every write is confirmed.
std::vector<std::string> Harness::outcome(const Model& model) {
  std::vector<std::string> problems;
  auto problem = [&](std::string text) { problems.push_back(std::move(text)); };
  const LocalDvpTable& table = agent_->table();
  SimChip::Control& chip = agent_->chip();
  for (Key k : model.keys()) {
    if (const auto* h = table.entryHandleColl().find(k); h != nullptr && (*h)->pendingEntryCount() != 0) {
      problem(fmt::format("handle {} keeps {} pending entries with every write confirmed", k, (*h)->pendingEntryCount()));
    }
    const auto* resolved = table.resolvedEntryColl().find(k);
    if (resolved != nullptr && !resolved->present()) problem(fmt::format("key {} has a resolved slot without value", k));
    if (k == kNone) continue;
    const auto slot = chip.slot(k);
    if (slot.state == SimChip::SlotState::writtenEmpty) problem(fmt::format("slot {} is written empty", k));
    if (resolved != nullptr && resolved->present()) {
      const auto& v = resolved->value();
      if (slot.state != SimChip::SlotState::valid || slot.nextHop != v.localPortNextHop() ||
          slot.group != v.dvpNetworkGroup()) {
        problem(fmt::format("key {} is resolved to {} but the chip shows {}", k, v.toStrep(),
                            DvpAgent::hwLine(k, slot)));
      }
    } else if (slot.state == SimChip::SlotState::valid && !table.syncedEntryHas(k) &&
               model.key(k).chip.leftover == Leftover::none) {
      problem(fmt::format("the chip holds key {} ({}) and no resolved entry owns it", k, DvpAgent::hwLine(k, slot)));
    }
  }
  return problems;
}

std::vector<std::string> Harness::stop() {
  agent_.reset();
  return leaks_.leaks();
}

}  // namespace VelarModel
