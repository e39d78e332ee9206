#include "tools/dvp-agent/Scenario.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <limits>
#include <utility>

#include "VelarL3Vfi/TypeModule.h"
#include "platform/Trace/TraceConfig.h"

namespace DvpAgent {

namespace {

constexpr std::uint32_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

bool blank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// The words of a line up to its comment (a '#' that starts a word).
std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && blank(text[i])) ++i;
    if (i == text.size() || text[i] == '#') break;
    std::size_t end = i;
    while (end < text.size() && !blank(text[end])) ++end;
    out.push_back(text.substr(i, end - i));
    i = end;
  }
  return out;
}

// What follows the first word of the line, as written (for `echo`).
std::string_view restAfterFirstWord(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && blank(text[i])) ++i;
  while (i < text.size() && !blank(text[i])) ++i;
  if (i < text.size()) ++i;  // the one blank that separates the text
  std::string_view rest = text.substr(i);
  while (!rest.empty() && (blank(rest.back()) || rest.back() == '\n')) rest.remove_suffix(1);
  return rest;
}

bool validName(std::string_view name) noexcept {
  if (name.empty()) return false;
  const auto first = static_cast<unsigned char>(name.front());
  if (!(std::isalpha(first) != 0 || name.front() == '_')) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) != 0 || c == '_' || c == '-' || c == '.';
  });
}

// Thrown inside the parser for the line in hand; parseLine turns it into a
// ParseError.
struct Bad {
  std::string message;
};

std::uint32_t number(std::string_view text, std::uint32_t max, std::string_view what) {
  auto parsed = parseNumber(text, max, what);
  if (auto* error = std::get_if<std::string>(&parsed)) throw Bad{std::move(*error)};
  return std::get<std::uint32_t>(parsed);
}

Key key(std::string_view text) { return number(text, kMaxU32, "key"); }

// NAME=VALUE options after the fixed words of a command; each name at most
// once, and only the allowed ones.
std::map<std::string, std::string, std::less<>> options(const std::vector<std::string_view>& w,
                                                        std::size_t from, std::string_view command,
                                                        std::initializer_list<std::string_view> allowed) {
  std::map<std::string, std::string, std::less<>> out;
  for (std::size_t i = from; i < w.size(); ++i) {
    const auto eq = w[i].find('=');
    if (eq == std::string_view::npos || eq == 0) {
      throw Bad{fmt::format("{}: expected NAME=VALUE, got \"{}\"", command, w[i])};
    }
    std::string name(w[i].substr(0, eq));
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
      throw Bad{fmt::format("{}: unknown option \"{}\" (options: {})", command, name,
                            fmt::join(allowed, ", "))};
    }
    if (!out.emplace(name, std::string(w[i].substr(eq + 1))).second) {
      throw Bad{fmt::format("{}: option \"{}\" given twice", command, name)};
    }
  }
  return out;
}

void arity(const std::vector<std::string_view>& w, std::size_t min, std::size_t max,
           std::string_view usage) {
  if (w.size() < min || w.size() > max) throw Bad{fmt::format("usage: {}", usage)};
}

struct ObjectInfo {
  Object object;
  std::string_view name;
  std::initializer_list<std::string_view> fields;  // bare words allowed as well
  bool keyed;                                      // a line per key
  bool canBeAbsent;                                // `expect no` makes sense
};

const std::array<ObjectInfo, 6>& objectInfos() {
  static const std::array<ObjectInfo, 6> infos{{
      {Object::hw, "hw", {"nexthop", "group", "empty"}, true, true},
      {Object::entry, "entry", {"nh", "nexthop", "group"}, true, true},
      {Object::handle, "handle", {"type", "state", "resolved", "hwIndex", "pending", "uses"}, true, true},
      {Object::nexthop, "nexthop", {"index", "state", "suggested"}, true, false},
      {Object::stats, "stats", {"matched", "differ", "new", "deleted"}, false, false},
      {Object::tracker, "tracker", {"users"}, true, false},
  }};
  return infos;
}

const ObjectInfo& info(Object object) {
  return objectInfos()[static_cast<std::size_t>(object)];
}

// `show` also takes the plural forms.
std::optional<Object> objectNamed(std::string_view word, bool plural) {
  for (const auto& i : objectInfos()) {
    if (word == i.name) return i.object;
  }
  if (plural) {
    if (word == "entries") return Object::entry;
    if (word == "handles") return Object::handle;
    if (word == "nexthops") return Object::nexthop;
  }
  return std::nullopt;
}

}  // namespace

std::string_view objectName(Object object) noexcept { return info(object).name; }

std::string Query::text() const {
  std::string out(objectName(object));
  if (key) out.append(" ").append(std::to_string(*key));
  if (name) out.append(" ").append(*name);
  return out;
}

std::variant<std::uint32_t, std::string> parseNumber(std::string_view text, std::uint32_t max,
                                                     std::string_view what) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return fmt::format("malformed number \"{}\" for {} (decimal digits only)", text, what);
  }
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > max) {
    return fmt::format("{} {} out of range (0 to {})", what, text, max);
  }
  return static_cast<std::uint32_t>(value);
}

std::optional<State> parseState(std::string_view text) noexcept {
  static constexpr std::array<std::pair<std::string_view, State>, 6> names{{
      {"unresolved", State::unresolved},
      {"inProgress", State::inProgress},
      {"indexReconciled", State::indexReconciled},
      {"3", State::state3},
      {"success", State::success},
      {"failedNeededEntry", State::failedNeededEntry},
  }};
  for (const auto& [name, state] : names) {
    if (text == name) return state;
  }
  return std::nullopt;
}

std::variant<std::monostate, Command, ParseError> Parser::parseLine(std::string_view text,
                                                                    const std::string& file, int line) {
  const auto w = words(text);
  if (w.empty()) return std::monostate{};
  const std::string_view verb = w[0];
  Context next = context_;  // committed only when the line is good

  auto knownNextHop = [&](std::string_view name) {
    if (!validName(name)) throw Bad{fmt::format("bad next-hop name \"{}\"", name)};
    if (next.nextHops.contains(std::string(name))) return std::string(name);
    if (next.restartLine != 0) {
      throw Bad{fmt::format("unknown next hop \"{}\": no `nexthop {}` line since the restart at line {}",
                            name, name, next.restartLine)};
    }
    throw Bad{fmt::format("unknown next hop \"{}\": define it with a `nexthop {}` line first", name, name)};
  };

  // An attribute of the table's generic interface.
  auto tableAttr = [&](std::string_view name) {
    const auto& type = VelarL3Vfi::typeData(VelarL3Vfi::kLocalDvpTableType);
    if (type.attr(name) == nullptr) {
      throw Bad{fmt::format("the table has no attribute \"{}\"", name)};
    }
  };

  // The object of `show` and `expect` at word `at`, and its key if the
  // object has one and the next word gives it (`expect` requires it).
  auto query = [&](std::size_t at, bool forShow) {
    const std::string_view command = forShow ? "show" : "expect";
    if (at >= w.size()) {
      throw Bad{fmt::format("{}: which object? (hw, entry, handle, nexthop, stats, tracker)", command)};
    }
    auto object = objectNamed(w[at], forShow);
    if (!object) {
      throw Bad{fmt::format("{}: unknown object \"{}\" (hw, entry, handle, nexthop, stats, tracker)",
                            command, w[at])};
    }
    Query q{*object, std::nullopt, std::nullopt};
    if (!info(*object).keyed) return q;
    const bool given = at + 1 < w.size() && w[at + 1].find('=') == std::string_view::npos;
    if (!given) {
      if (forShow) return q;
      throw Bad{fmt::format("expect {} needs a key: expect {} KEY FIELD=VALUE...", w[at], w[at])};
    }
    if (*object == Object::nexthop) {
      q.name = knownNextHop(w[at + 1]);
    } else {
      q.key = key(w[at + 1]);
    }
    return q;
  };

  Action action;
  try {
    if (verb == "nexthop") {
      arity(w, 2, 4, "nexthop NAME [index=N|none] [state=S]");
      Cmd::NextHop c;
      if (!validName(w[1])) {
        throw Bad{fmt::format("bad next-hop name \"{}\" (a letter or '_', then letters, digits, '_', '-', '.')", w[1])};
      }
      c.name = std::string(w[1]);
      auto opts = options(w, 2, "nexthop", {"index", "state"});
      if (auto it = opts.find("index"); it != opts.end()) {
        c.index = it->second == "none" ? Asic::kExhaustedIndex : number(it->second, kMaxU32, "index");
      }
      if (auto it = opts.find("state"); it != opts.end()) {
        c.state = parseState(it->second);
        if (!c.state) {
          throw Bad{fmt::format("unknown state \"{}\" (unresolved, inProgress, indexReconciled, 3, "
                                "success, failedNeededEntry)",
                                it->second)};
        }
      }
      next.nextHops.insert(c.name);
      action = std::move(c);
    } else if (verb == "commit") {
      arity(w, 2, 5, "commit KEY [nh=NAME] [group=G] [nexthop=N]");
      Cmd::Commit c;
      c.key = key(w[1]);
      auto opts = options(w, 2, "commit", {"nh", "group", "nexthop"});
      if (auto it = opts.find("nh"); it != opts.end()) c.nextHopName = knownNextHop(it->second);
      if (auto it = opts.find("group"); it != opts.end()) {
        c.group = static_cast<std::uint8_t>(number(it->second, 255, "group"));
      }
      if (auto it = opts.find("nexthop"); it != opts.end()) c.nextHop = number(it->second, kMaxU32, "nexthop");
      action = std::move(c);
    } else if (verb == "remove") {
      arity(w, 2, 2, "remove KEY");
      action = Cmd::Remove{key(w[1])};
    } else if (verb == "remove-all") {
      arity(w, 1, 2, "remove-all [handles|unassigned]");
      if (w.size() == 2 && w[1] != "handles" && w[1] != "unassigned") throw Bad{"usage: remove-all [handles|unassigned]"};
      action = Cmd::RemoveAll{w.size() == 2, w.size() == 2 && w[1] == "unassigned"};
    } else if (verb == "hold") {
      arity(w, 2, 2, "hold KEY");
      const Key k = key(w[1]);
      ++next.holds[k];
      action = Cmd::Hold{k};
    } else if (verb == "release") {
      arity(w, 2, 2, "release KEY");
      const Key k = key(w[1]);
      auto it = next.holds.find(k);
      if (it == next.holds.end()) throw Bad{fmt::format("release {}: no `hold {}` to release", k, k)};
      if (--it->second == 0) next.holds.erase(it);
      action = Cmd::Release{k};
    } else if (verb == "confirm") {
      arity(w, 2, 2, "confirm KEY | confirm all");
      action = w[1] == "all" ? Cmd::Confirm{std::nullopt} : Cmd::Confirm{key(w[1])};
    } else if (verb == "init-complete") {
      arity(w, 1, 1, "init-complete");
      if (!next.replayOpen) {
        throw Bad{"init-complete: the configuration replay is already complete (it opens again at a restart)"};
      }
      next.replayOpen = false;
      action = Cmd::InitComplete{};
    } else if (verb == "purge") {
      arity(w, 1, 1, "purge");
      action = Cmd::Purge{};
    } else if (verb == "restart" || verb == "teardown") {
      arity(w, 1, 1, verb);
      next = Context{};
      next.restartLine = line;
      action = Cmd::Restart{verb == "teardown"};
    } else if (verb == "show") {
      arity(w, 2, 3, "show OBJECT [KEY]");
      Query q = query(1, true);
      if (w.size() == 3 && !q.narrowed()) throw Bad{fmt::format("show {} takes no key", objectName(q.object))};
      action = Cmd::Show{std::move(q)};
    } else if (verb == "audit") {
      arity(w, 1, 1, "audit");
      action = Cmd::Audit{};
    } else if (verb == "expect" && w.size() > 1 && w[1] == "audit") {
      if (w.size() != 3 || w[2] != "clean") throw Bad{"usage: expect audit clean"};
      action = Cmd::Audit{true};
    } else if (verb == "expect") {
      Cmd::Expect c;
      std::size_t at = 1;
      if (w.size() > 1 && w[1] == "no") {
        c.absent = true;
        at = 2;
      }
      c.query = query(at, false);
      const auto& i = info(c.query.object);
      if (c.absent) {
        if (!i.canBeAbsent) {
          throw Bad{fmt::format("expect no {}: only hw, entry and handle lines can be absent",
                                objectName(c.query.object))};
        }
        if (!c.query.narrowed() || w.size() != at + 2) throw Bad{"usage: expect no OBJECT KEY"};
      } else {
        for (std::size_t f = at + (c.query.narrowed() ? 2 : 1); f < w.size(); ++f) {
          Field field;
          const auto eq = w[f].find('=');
          field.name = std::string(w[f].substr(0, eq));
          if (eq != std::string_view::npos) field.value = std::string(w[f].substr(eq + 1));
          if (std::find(i.fields.begin(), i.fields.end(), field.name) == i.fields.end()) {
            throw Bad{fmt::format("expect: a {} line has no field \"{}\" (fields: {})",
                                  objectName(c.query.object), field.name, fmt::join(i.fields, ", "))};
          }
          c.fields.push_back(std::move(field));
        }
      }
      action = std::move(c);
    } else if (verb == "trace") {
      if (w.size() < 2) throw Bad{"usage: trace HANDLE/LEVELS[,HANDLE/LEVELS...]"};
      // Blanks inside a setting do not matter; the words say it all.
      std::string setting = fmt::format("{}", fmt::join(w.begin() + 1, w.end(), " "));
      if (auto parsed = Trace::parse(setting); !parsed.ok()) {
        throw Bad{fmt::format("trace: {}", parsed.error)};
      }
      action = Cmd::Trace{std::move(setting)};
    } else if (verb == "log") {
      arity(w, 3, 3, "log adaptor on|off");
      if (w[1] != "adaptor" || (w[2] != "on" && w[2] != "off")) throw Bad{"usage: log adaptor on|off"};
      action = Cmd::LogAdaptor{w[2] == "on"};
    } else if (verb == "echo") {
      action = Cmd::Echo{std::string(restAfterFirstWord(text))};
    } else if (verb == "get") {
      arity(w, 2, 3, "get ATTR [KEY]");
      tableAttr(w[1]);
      action = Cmd::Get{std::string(w[1]), w.size() == 3 ? std::optional<Key>(key(w[2])) : std::nullopt};
    } else if (verb == "walk") {
      arity(w, 2, 2, "walk ATTR");
      tableAttr(w[1]);
      action = Cmd::Walk{std::string(w[1])};
    } else if (verb == "call") {
      if (w.size() < 2) throw Bad{"usage: call METHOD [ARGS...]"};
      tableAttr(w[1]);
      action = Cmd::Call{std::string(w[1]), std::vector<std::string>(w.begin() + 2, w.end())};
    } else {
      throw Bad{fmt::format("unknown command \"{}\"", verb)};
    }
  } catch (Bad& bad) {
    return ParseError{file, line, std::move(bad.message)};
  }
  context_ = std::move(next);
  return Command{file, line, std::move(action)};
}

Parser::Result Parser::parseText(std::string_view text, const std::string& file) {
  Result result;
  int line = 0;
  for (std::size_t start = 0; start <= text.size();) {
    const auto newline = text.find('\n', start);
    const auto end = newline == std::string_view::npos ? text.size() : newline;
    auto parsed = parseLine(text.substr(start, end - start), file, ++line);
    if (auto* command = std::get_if<Command>(&parsed)) {
      result.commands.push_back(std::move(*command));
    } else if (auto* error = std::get_if<ParseError>(&parsed)) {
      result.errors.push_back(std::move(*error));
    }
    start = end + 1;
  }
  if (!result.errors.empty()) result.commands.clear();
  return result;
}

std::string_view helpText() noexcept {
  return R"(Commands (one a line; '#' starts a comment; keys and numbers are decimal):
  nexthop NAME [index=N|none] [state=S]  create or change a next hop; S is one of
                                         unresolved inProgress indexReconciled 3
                                         success failedNeededEntry
  commit KEY [nh=NAME] [group=G] [nexthop=N]
                                         commit an entry (no nh: a null handle)
  remove KEY | remove-all                withdraw one entry | every entry
  remove-all handles|unassigned          the entries of every key with a (an unassigned) handle
  hold KEY | release KEY                 a dependent table takes | drops a reference
  confirm KEY | confirm all              the chip answers pending writes
  init-complete                          end the configuration replay
  purge                                  delete the hardware entries nobody replayed
  restart                                restart the agent on the same chip
  teardown                               tear the table down on the chip, then restart
  show hw|entries|handle|nexthop|stats|tracker [KEY]
  expect OBJECT [KEY] FIELD=VALUE...     check the line `show OBJECT KEY` prints
  expect no hw|entry|handle KEY          check that there is no such line
  audit                                  check the chip against the table: a line per
                                         finding (unowned, missing, differs, users,
                                         tracker), then checked=N inflight=M findings=K
  expect audit clean                     check that the audit finds nothing
  trace HANDLE/LEVELS[,...]              e.g. trace VelarL3Vfi::LocalDvpTable/5-9
  log adaptor on|off                     print every adaptor call and confirmation
  echo TEXT                              print TEXT
  help                                   this summary (shell)
  quit                                   leave the shell (or end of input)
)";
}

}  // namespace DvpAgent
