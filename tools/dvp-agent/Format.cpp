#include "tools/dvp-agent/Format.h"

#include <fmt/format.h>

#include <algorithm>

namespace DvpAgent {

namespace {


std::string_view stateText(State state) { return Asic::entryStateName(state); }

bool startsWith(std::string_view text, std::string_view prefix) noexcept {
  return text.substr(0, prefix.size()) == prefix;
}

// The chip's note on a failed call (" -> error: ..." / " -> fault: ..."),
// and the detail before it.
std::pair<std::string_view, std::string_view> splitNote(std::string_view detail) {
  for (std::string_view marker : {"-> error: ", "-> fault: "}) {
    const auto at = detail.find(marker);
    if (at == std::string_view::npos) continue;
    std::string_view before = detail.substr(0, at);
    while (!before.empty() && before.back() == ' ') before.remove_suffix(1);
    return {before, detail.substr(at)};
  }
  return {detail, {}};
}

// The value of `name=` among the words of a detail ("group=3 nextHop=7").
std::string_view wordValue(std::string_view detail, std::string_view name) {
  std::size_t i = 0;
  while (i < detail.size()) {
    const auto end = std::min(detail.find(' ', i), detail.size());
    std::string_view word = detail.substr(i, end - i);
    if (startsWith(word, name) && word.size() > name.size() && word[name.size()] == '=') {
      return word.substr(name.size() + 1);
    }
    i = end + 1;
  }
  return {};
}

std::string numberText(std::string_view decimal) {
  return decimal == "4294967295" ? std::string("none") : std::string(decimal);
}

}  // namespace

std::string indexText(std::uint32_t index) {
  return index == Asic::kExhaustedIndex ? std::string("none") : std::to_string(index);
}

std::string hwLine(Key key, const SimChip::Slot& slot) {
  switch (slot.state) {
    case SimChip::SlotState::valid:
      return fmt::format("hw {} nexthop={} group={}", key, indexText(slot.nextHop), slot.group);
    case SimChip::SlotState::writtenEmpty:
    case SimChip::SlotState::empty:
      return fmt::format("hw {} empty", key);
  }
  // A state this agent does not know: say so rather than guess.
  return fmt::format("hw {} state={}", key, static_cast<unsigned>(slot.state));
}

std::string entryLine(Key key, const std::optional<std::string>& nextHopName, std::uint32_t nextHop,
                      std::uint8_t group) {
  return fmt::format("entry {} nh={} nexthop={} group={}", key, nextHopName.value_or("none"),
                     indexText(nextHop), group);
}

std::string handleLine(const HandleView& h) {
  return fmt::format("handle {} type={} state={} resolved={} hwIndex={} pending={} uses={}", h.key,
                     Asic::entryTypeName(h.type), stateText(h.state), stateText(h.resolved),
                     indexText(h.hwIndex), h.pending, h.uses);
}

std::string nextHopLine(const std::string& name, std::uint32_t index, State state,
                        const std::set<std::uint32_t>& suggested) {
  std::string list = "none";
  if (!suggested.empty()) {
    std::vector<std::string> items;
    items.reserve(suggested.size());
    for (auto i : suggested) items.push_back(indexText(i));
    list = fmt::format("{}", fmt::join(items, ","));
  }
  return fmt::format("nexthop {} index={} state={} suggested={}", name, indexText(index),
                     stateText(state), list);
}

std::string statsLine(const Asic::SwTable::Statistics& s) {
  using Status = Asic::SwTable::ReconciliationStatus;
  return fmt::format("stats matched={} differ={} new={} deleted={}", s.count(Status::matched),
                     s.count(Status::mismatched), s.count(Status::missing), s.count(Status::deleted));
}

std::string trackerLine(std::uint32_t index, std::uint32_t users) {
  return fmt::format("tracker {} users={}", indexText(index), users);
}

std::string trackerFaultLine(const SimChip::Fault& fault) {
  std::string what = fault.operation;
  if (fault.op != SimChip::Fault::kNoOp) what += fmt::format(" op={}", fault.op);
  return fmt::format("tracker-fault {} {}: {}", indexText(fault.index), what, fault.message);
}

std::string absentLine(const Query& query) { return "no " + query.text(); }

std::string adaptorLine(const SimChip::Call& call) {
  const auto [detail, note] = splitNote(call.detail);
  const std::string key = call.hasKey ? fmt::format(" key={}", indexText(call.key)) : std::string();
  std::string line;
  if (call.operation == "tracker") {
    line = fmt::format("adaptor tracker{} op={}", key, wordValue(detail, "op"));
  } else if (call.operation == "write") {
    if (detail == "absent") {
      line = fmt::format("adaptor write{} absent", key);
    } else {
      line = fmt::format("adaptor write{} nexthop={} group={}", key,
                         numberText(wordValue(detail, "nextHop")), wordValue(detail, "group"));
    }
  } else if (call.operation == "delete") {
    line = fmt::format("adaptor delete{}", key);
  } else if (call.operation == "compare") {
    line = fmt::format("adaptor compare{} {}", key, detail == "-> match" ? "match" : "differ");
  } else if (call.operation == "sync" && startsWith(detail, "-> ")) {
    // "-> 3 entries"
    std::string_view count = detail.substr(3);
    count = count.substr(0, count.find(' '));
    line = fmt::format("adaptor sync entries={}", count);
  } else {
    line = "adaptor " + call.line();  // a call this agent does not know: as the chip logged it
    return line;
  }
  if (!note.empty()) line += fmt::format(" {}", note);
  return line;
}

std::string confirmLine(Key key) { return fmt::format("chip confirm key={}", indexText(key)); }

std::string auditLine(const VelarL3Vfi::AuditFinding& f) {
  using Kind = VelarL3Vfi::AuditKind;
  auto value = [](const VelarL3Vfi::LocalDvpTableEntry& e) {
    return fmt::format("nexthop={},group={}", indexText(e.localPortNextHop()), e.dvpNetworkGroup());
  };
  std::string line = fmt::format("audit {} key={}", VelarL3Vfi::auditKindName(f.kind), indexText(f.hw.key));
  if (f.kind == Kind::users) {
    return line + fmt::format(" chip=users={} expected=users={}", f.hw.users.value_or(0), f.hw.allocated ? 1 : 0);
  }
  if (f.kind == Kind::tracker) return line + fmt::format(" chip=refused={}", f.hw.refusedReports);
  if (f.hw.entry) line += " chip=" + value(*f.hw.entry);
  if (f.table) line += " table=" + value(*f.table);
  return line;
}

std::string auditSummaryLine(const VelarL3Vfi::AuditReport& r) {
  return fmt::format("audit checked={} inflight={} findings={}", r.checked, r.inflight, r.findings.size());
}

bool lineHolds(std::string_view line, const std::vector<Field>& fields) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i <= line.size()) {
    const auto end = std::min(line.find(' ', i), line.size());
    if (end > i) words.push_back(line.substr(i, end - i));
    i = end + 1;
  }
  return std::all_of(fields.begin(), fields.end(), [&](const Field& field) {
    const std::string wanted = field.text();
    return std::find(words.begin(), words.end(), wanted) != words.end();
  });
}

}  // namespace DvpAgent
