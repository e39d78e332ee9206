#include "tools/dvp-agent/Agent.h"

#include <dlfcn.h>
#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "VelarL3Vfi/AgentSession.h"
#include "VelarL3Vfi/Inspect.h"
#include "platform/Activity/Activity.h"
#include "platform/Trace/TraceConfig.h"
#include "platform/Trace/TraceSink.h"
#include "simulation/NeededEntryTable.h"
#include "tools/dvp-agent/Format.h"

#ifndef VELAR_TABLE_LIBRARY
#define VELAR_TABLE_LIBRARY "libVelarL3Vfi.so.0"
#endif

namespace DvpAgent {

using VelarL3Vfi::LocalDvpTable;
using HandleRef = Quill::Ptr<Asic::SwTableBase::EntryHandle>;

// The table library as an agent reaches it: opened by name, its factory
// found by its mangled name. The program links the library as well, so the
// loader has already run its initialiser (agent name, type module, adaptor
// plug-ins of the search path) by the time main starts, and the open finds
// the loaded copy. The simulated chip is no plug-in of the search path: it
// has a root of its own beside the library (velar-simchip), which the agent
// loads by name before it makes a table.
class Agent::Library {
 public:
  using Factory = Quill::Ptr<LocalDvpTable> (*)();
  using LoadPlugins = std::size_t (*)(const char*);
  static constexpr const char* kFactorySymbol = "_ZN10VelarL3Vfi20localDvpTableFactoryEv";
  static constexpr const char* kLoadPluginsSymbol = "_ZN10VelarL3Vfi18loadAdaptorPluginsEPKc";

  Library() : handle_(::dlopen(VELAR_TABLE_LIBRARY, RTLD_NOW | RTLD_GLOBAL)) {
    if (handle_ == nullptr) {
      throw StartError(fmt::format("cannot open the table library {}: {}", VELAR_TABLE_LIBRARY, ::dlerror()));
    }
    factory_ = reinterpret_cast<Factory>(::dlsym(handle_, kFactorySymbol));
    if (factory_ == nullptr) {
      ::dlclose(handle_);
      throw StartError(fmt::format("the table library {} has no factory {}", VELAR_TABLE_LIBRARY, kFactorySymbol));
    }
    Dl_info library{};
    if (auto load = reinterpret_cast<LoadPlugins>(::dlsym(handle_, kLoadPluginsSymbol));
        load != nullptr && ::dladdr(reinterpret_cast<void*>(factory_), &library) != 0) {
      load((std::filesystem::absolute(library.dli_fname).parent_path() / "velar-simchip").c_str());
    }
  }
  ~Library() { ::dlclose(handle_); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  Factory factory() const noexcept { return factory_; }

 private:
  void* handle_;
  Factory factory_ = nullptr;
};

// Trace lines go to the agent's output, after the adaptor calls made before
// them.
class Agent::TraceSink final : public Trace::Sink {
 public:
  explicit TraceSink(Agent& agent) : agent_(agent), previous_(Trace::sink()) { Trace::sinkIs(this); }
  ~TraceSink() override { Trace::sinkIs(previous_); }
  TraceSink(const TraceSink&) = delete;
  TraceSink& operator=(const TraceSink&) = delete;

  void line(const Trace::Handle&, std::string_view text) override {
    agent_.drainAdaptorLog();
    agent_.out_.line(text);
  }

 private:
  Agent& agent_;
  Trace::Sink* previous_;
};

// One agent incarnation: the agent's start sequence (mount, recover, the
// table, the chip read back), the next-hop table its entries depend on, and
// the references that dependent tables hold.
struct Agent::Session {
  Session(const Asic::ChipInfo& chipInfo, Library::Factory factory, bool hwIndexInHandle)
      : nextHops(Asic::NeededEntryTable::NeededEntryTableIs("nexthop")) {
    try {
      session = std::make_unique<VelarL3Vfi::AgentSession>(chipInfo, factory);
    } catch (const std::exception& e) {
      throw StartError(e.what());  // the chip's own words: "simulated chip PATH: ..."
    }
    table = session->tablePtr();
    chip = dynamic_cast<SimChip::Control*>(table->util());
    view = dynamic_cast<const VelarL3Vfi::HwTableView*>(table->util());
    if (chip == nullptr || view == nullptr || table->hwTable() == nullptr) {
      throw StartError(
          "no simulated chip: the simchip adaptor plug-in was not loaded (see VELAR_PLUGIN_PATH)");
    }
    chip->hwIndexInEntryHandleIs(hwIndexInHandle);
  }

  ~Session() {
    // The agent stops: the session detaches the chip before the table goes,
    // so the references that dependents still hold are released only once
    // nothing they set off can reach the chip any more.
    chip = nullptr;
    view = nullptr;
    table = nullptr;
    session.reset();
    holds.clear();
    nextHops = nullptr;
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::unique_ptr<VelarL3Vfi::AgentSession> session;
  Quill::Ptr<LocalDvpTable> table;
  SimChip::Control* chip = nullptr;
  const VelarL3Vfi::HwTableView* view = nullptr;  // the chip's
  Quill::Ptr<Asic::NeededEntryTable> nextHops;
  std::map<std::string, std::uint32_t> nextHopKeys;  // name -> key in the next-hop table
  std::map<std::uint32_t, std::string> nextHopNames;
  std::map<Key, std::vector<HandleRef>> holds;
};

Agent::Agent(AgentOptions options, Output& out)
    : options_(std::move(options)), out_(out), adaptorLog_(options_.adaptorLog) {
  library_ = std::make_unique<Library>();
  traceSink_ = std::make_unique<TraceSink>(*this);
  Activity::discardPending();
  start();
}

Agent::~Agent() {
  stop();
  traceSink_.reset();
}

void Agent::start() {
  session_ = std::make_unique<Session>(Asic::ChipInfo{0, options_.chip, options_.chipEntries},
                                       library_->factory(), options_.hwIndexInHandle);
  settle();
}

void Agent::stop() {
  if (!session_) return;
  drainAdaptorLog();
  Activity::discardPending();  // a stopped process runs nothing more
  session_.reset();
}

LocalDvpTable& Agent::table() const { return *session_->table; }
SimChip::Control& Agent::chip() const { return *session_->chip; }

void Agent::drainAdaptorLog() {
  if (!session_ || session_->chip == nullptr) return;
  auto calls = session_->chip->callLog();
  if (calls.empty()) return;
  session_->chip->callLogClear();
  if (!adaptorLog_) return;
  for (const auto& call : calls) out_.line(adaptorLine(call));
}

// Deferred work, then (with auto-confirm) the chip's answers one key at a
// time, until nothing is left.
void Agent::settle() {
  for (;;) {
    Activity::runPending();
    drainAdaptorLog();
    if (!options_.autoConfirm || !session_) return;
    const auto pending = chip().pendingResponses();
    if (pending.empty()) return;
    confirm(pending.front().key);
  }
}

void Agent::confirm(Key key) {
  const auto pending = chip().pendingResponses();
  const auto count = std::count_if(pending.begin(), pending.end(),
                                   [key](const Asic::WriteResponseRecord& r) { return r.key == key; });
  if (count == 0) return;
  drainAdaptorLog();
  if (adaptorLog_) {
    for (std::ptrdiff_t i = 0; i < count; ++i) out_.line(confirmLine(key));
  }
  chip().deliver(key);
  drainAdaptorLog();
}

bool Agent::run(const Command& command) {
  const bool ok = std::visit([&](const auto& action) { return exec(action, command); }, command.action);
  if (session_) settle();
  return ok;
}

// --- commands ----------------------------------------------------------------

bool Agent::exec(const Cmd::NextHop& c, const Command&) {
  auto& s = *session_;
  auto [it, added] = s.nextHopKeys.try_emplace(c.name, static_cast<std::uint32_t>(s.nextHopKeys.size() + 1));
  if (added) s.nextHopNames.emplace(it->second, c.name);
  auto handle = s.nextHops->handleIs(it->second);
  if (c.index) handle->hwIndexIs(*c.index);
  if (c.state) handle->entryStateIs(*c.state);
  return true;
}

bool Agent::exec(const Cmd::Commit& c, const Command&) {
  auto& s = *session_;
  LocalDvpTable::Entry::HandlePtr nextHop;
  if (c.nextHopName) nextHop = s.nextHops->handleIs(s.nextHopKeys.at(*c.nextHopName));
  // The handle the commit returns is dropped at once: dependents are `hold`.
  s.table->entryCommit(c.key, LocalDvpTable::Entry(std::move(nextHop), c.group, c.nextHop));
  return true;
}

bool Agent::exec(const Cmd::Remove& c, const Command&) {
  table().entryRemove(c.key);
  return true;
}

bool Agent::exec(const Cmd::RemoveAll& c, const Command&) {
  if (c.handles) {
    table().entryHandleRemoveAll(c.unassignedOnly);
    return true;
  }
  table().entryRemoveAll();
  return true;
}

bool Agent::exec(const Cmd::Hold& c, const Command&) {
  session_->holds[c.key].push_back(table().getEntryHandle(c.key));
  return true;
}

bool Agent::exec(const Cmd::Release& c, const Command& at) {
  auto it = session_->holds.find(c.key);
  if (it == session_->holds.end() || it->second.empty()) {
    out_.error(fmt::format("{}: release {}: nothing holds key {}", at.where(), c.key, c.key));
    return true;
  }
  HandleRef last = std::move(it->second.back());
  it->second.pop_back();
  if (it->second.empty()) session_->holds.erase(it);
  last = nullptr;  // may be the handle's last user: its cleanup runs here
  return true;
}

bool Agent::exec(const Cmd::Confirm& c, const Command&) {
  if (c.key) {
    confirm(*c.key);
    return true;
  }
  // Key by key, in the order of each key's oldest pending write.
  std::vector<Key> keys;
  for (const auto& r : chip().pendingResponses()) {
    if (std::find(keys.begin(), keys.end(), r.key) == keys.end()) keys.push_back(r.key);
  }
  for (Key key : keys) confirm(key);
  return true;
}

bool Agent::exec(const Cmd::InitComplete&, const Command&) {
  table().doInitComplete();
  return true;
}

bool Agent::exec(const Cmd::Purge&, const Command&) {
  table().purgeStaleEntries();
  return true;
}

bool Agent::exec(const Cmd::Restart& c, const Command&) {
  if (c.teardown) {
    table().cleanup();
    drainAdaptorLog();
  }
  stop();
  start();
  return true;
}

bool Agent::exec(const Cmd::Show& c, const Command&) {
  drainAdaptorLog();
  for (const auto& line : show(c.query)) out_.line(line);
  return true;
}

bool Agent::exec(const Cmd::Expect& c, const Command& at) {
  const auto lines = show(c.query);
  const std::string absent = absentLine(c.query);
  std::optional<std::string> got;
  if (!lines.empty() && lines.front() != absent) got = lines.front();
  const bool ok = c.absent ? !got : got && lineHolds(*got, c.fields);
  if (ok) return true;
  std::string wanted = c.absent ? absent : c.query.text();
  for (const auto& field : c.fields) wanted.append(" ").append(field.text());
  out_.error(fmt::format("{}: expect failed: wanted {}, got {}", at.where(), wanted, got.value_or(absent)));
  return false;
}

bool Agent::exec(const Cmd::Trace& c, const Command& at) {
  if (auto error = Trace::configure(c.setting)) {
    out_.error(fmt::format("{}: trace: {}", at.where(), *error));
  }
  return true;
}

bool Agent::exec(const Cmd::LogAdaptor& c, const Command&) {
  drainAdaptorLog();
  adaptorLog_ = c.on;
  return true;
}

bool Agent::exec(const Cmd::Echo& c, const Command&) {
  drainAdaptorLog();
  out_.line(c.text);
  return true;
}

// --- the generic interface ---------------------------------------------------
//
// Output: `get ATTR [KEY] VALUE`, one `walk ATTR KEY VALUE` line per member
// (`-` for a slot without value), `call METHOD -> VALUE` (`call METHOD done`
// without a result); a request the interface refuses prints its result
// (unsupported, unknown attribute, no value, no key) instead of a value. A
// call whose arguments do not fit, or whose operation fails, is reported like
// a failed expectation.

namespace {
std::string outcomeText(const VelarL3Vfi::Inspect::Outcome& o) {
  if (!o.ok()) return fmt::format("({})", Quill::Inspect::resultName(o.code));
  return o.value.kind() == Quill::ValueKind::none ? std::string("done") : VelarL3Vfi::Inspect::toText(o.value);
}
}  // namespace

bool Agent::exec(const Cmd::Get& c, const Command& at) {
  namespace In = VelarL3Vfi::Inspect;
  try {
    auto o = c.key ? In::get(table(), c.attr, In::Value::u32(*c.key)) : In::get(table(), c.attr);
    drainAdaptorLog();
    out_.line(c.key ? fmt::format("get {} {} {}", c.attr, *c.key, outcomeText(o))
                    : fmt::format("get {} {}", c.attr, outcomeText(o)));
    return true;
  } catch (const std::exception& e) {
    return interfaceFailed(at, fmt::format("get {}: {}", c.attr, e.what()));
  }
}

bool Agent::exec(const Cmd::Walk& c, const Command& at) {
  namespace In = VelarL3Vfi::Inspect;
  try {
    auto walk = In::walk(table(), c.attr);
    if (!walk) return interfaceFailed(at, fmt::format("walk {}: not a collection", c.attr));
    for (const auto& step : walk.rest()) {
      out_.line(fmt::format("walk {} {} {}", c.attr, In::toText(step.key),
                            step.value ? In::toText(*step.value) : std::string("-")));
    }
    return true;
  } catch (const std::exception& e) {
    return interfaceFailed(at, fmt::format("walk {}: {}", c.attr, e.what()));
  }
}

bool Agent::exec(const Cmd::Call& c, const Command& at) {
  namespace In = VelarL3Vfi::Inspect;
  try {
    auto o = In::callText(table(), c.method, c.args);
    settle();
    drainAdaptorLog();
    out_.line(fmt::format("call {} -> {}", c.method, outcomeText(o)));
    return o.ok();
  } catch (const std::exception& e) {
    return interfaceFailed(at, fmt::format("call {}: {}", c.method, e.what()));
  }
}

// --- audit -------------------------------------------------------------------

VelarL3Vfi::AuditReport Agent::audit() const { return VelarL3Vfi::audit(table(), *session_->view); }

bool Agent::exec(const Cmd::Audit& c, const Command& at) {
  drainAdaptorLog();
  const auto report = audit();
  if (!c.expectClean) {
    for (const auto& finding : report.findings) out_.line(auditLine(finding));
    out_.line(auditSummaryLine(report));
    return true;
  }
  if (report.findings.empty()) return true;
  out_.error(fmt::format("{}: expect failed: wanted audit clean, got {}", at.where(), auditSummaryLine(report)));
  for (const auto& finding : report.findings) out_.error(auditLine(finding));
  return false;
}

bool Agent::interfaceFailed(const Command& at, const std::string& why) {
  drainAdaptorLog();
  out_.error(fmt::format("{}: {}", at.where(), why));
  return false;
}

// --- show ----------------------------------------------------------------------

std::optional<std::string> Agent::nextHopName(const Asic::SwTableBase::EntryHandle* handle) const {
  if (handle == nullptr) return std::nullopt;
  const auto* nh = dynamic_cast<const Asic::NeededEntryTable::Handle*>(handle);
  if (nh != nullptr) {
    if (auto it = session_->nextHopNames.find(nh->key()); it != session_->nextHopNames.end()) {
      return it->second;
    }
  }
  return std::string("?");  // a handle of another table
}

std::vector<std::string> Agent::show(const Query& q) const {
  std::vector<std::string> lines;
  const auto& s = *session_;
  const LocalDvpTable& t = *s.table;

  auto handleView = [&](Key key, const LocalDvpTable::EntryHandle& h) {
    return handleLine(HandleView{key, h.entryType(), h.entryState(), h.resolvedEntryState(), h.hwIndex(),
                                 h.pendingEntryCount(), h.useCount()});
  };
  auto entryText = [&](Key key, const LocalDvpTable::Entry& e) {
    return entryLine(key, nextHopName(e.localPortNextHopHandle().get()), e.localPortNextHop(),
                     e.dvpNetworkGroup());
  };
  auto byKey = [](std::vector<std::pair<Key, std::string>> keyed) {
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::string> out;
    out.reserve(keyed.size());
    for (auto& [key, line] : keyed) out.push_back(std::move(line));
    return out;
  };

  switch (q.object) {
    case Object::hw:
      if (q.key) {
        const auto slot = s.chip->slot(*q.key);
        lines.push_back(slot.allocated() ? hwLine(*q.key, slot) : absentLine(q));
      } else {
        for (std::uint32_t i = 0; i < s.chip->entries(); ++i) {
          if (const auto slot = s.chip->slot(i); slot.allocated()) lines.push_back(hwLine(i, slot));
        }
      }
      break;
    case Object::entry:
      if (q.key) {
        auto it = t.entryIteratorConst(*q.key);
        lines.push_back(it.isEnd() ? absentLine(q) : entryText(*q.key, it.entry()));
      } else {
        std::vector<std::pair<Key, std::string>> keyed;
        for (auto it = t.entryIteratorConst(); !it.isEnd(); it.advance()) {
          keyed.emplace_back(it.key().value, entryText(it.key().value, it.entry()));
        }
        lines = byKey(std::move(keyed));
      }
      break;
    case Object::handle:
      if (q.key) {
        const auto* h = t.entryHandleColl().find(*q.key);
        lines.push_back(h != nullptr && *h ? handleView(*q.key, **h) : absentLine(q));
      } else {
        std::vector<std::pair<Key, std::string>> keyed;
        for (auto it = t.entryHandleColl().begin(); it != t.entryHandleColl().end(); ++it) {
          keyed.emplace_back(it.key().value, handleView(it.key().value, *it.value()));
        }
        lines = byKey(std::move(keyed));
      }
      break;
    case Object::nexthop:
      for (const auto& [name, key] : s.nextHopKeys) {
        if (q.name && *q.name != name) continue;
        const auto h = s.nextHops->handle(key);
        std::set<std::uint32_t> suggested;
        for (const auto& set : h->indexSuggestions()) suggested.insert(set.begin(), set.end());
        lines.push_back(nextHopLine(name, h->hwIndex(), h->entryState(), suggested));
      }
      if (q.name && lines.empty()) lines.push_back(absentLine(q));
      break;
    case Object::stats:
      lines.push_back(statsLine(t.statistics()));
      break;
    case Object::tracker: {
      if (q.key) {
        lines.push_back(trackerLine(*q.key, s.chip->trackerCount(*q.key)));
      } else {
        for (std::uint32_t i = 0; i < s.chip->entries(); ++i) {
          const auto users = s.chip->trackerCount(i);
          // An allocated slot without its user shows as users=0.
          if (users != 0 || s.chip->slot(i).allocated()) lines.push_back(trackerLine(i, users));
        }
      }
      for (const auto& fault : s.chip->faults()) {
        if (!q.key || fault.index == *q.key) lines.push_back(trackerFaultLine(fault));
      }
      break;
    }
  }
  return lines;
}

}  // namespace DvpAgent
