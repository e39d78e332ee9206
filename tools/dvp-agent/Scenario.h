#pragma once
// The scenario language of dvp-agent: one command a line, parsed whole before
// anything runs.
//
//   nexthop NAME [index=N|none] [state=S]    create or change a next hop
//   commit KEY [nh=NAME] [group=G] [nexthop=N]
//   remove KEY | remove-all [handles|unassigned]
//   hold KEY | release KEY                   a dependent table's reference
//   confirm KEY | confirm all                the chip answers pending writes
//   init-complete | purge | restart | teardown
//   show OBJECT [KEY]                        hw, entries, handle, nexthop, stats, tracker
//   expect OBJECT [KEY] FIELD=VALUE... | expect no OBJECT KEY
//   trace SETTING | log adaptor on|off | echo TEXT
//   get ATTR [KEY] | walk ATTR | call METHOD [ARGS...]   the table's generic interface
//   audit | expect audit clean               the chip checked against the table
//
// A '#' at the start of a word starts a comment, except in the text of
// `echo`, which is printed as written. Keys and numbers are decimal.
//
// The parser checks more than the grammar: next-hop names must be defined by
// a `nexthop` line before they are used (and again after a `restart`, which
// starts with an empty next-hop table), `release` needs a `hold` of the same
// key, `init-complete` comes once per agent start, and `expect` names only
// fields its object's line has. Its state carries from line to line and
// from file to file of one run, so every file is checked in the context the
// agent will run it in.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/Asic/SwTableBase.h"

namespace DvpAgent {

using Key = std::uint32_t;
using State = Asic::SwTableBase::EntryState;

// What `show` and `expect` look at. Each prints lines that start with the
// object's name: "hw", "entry", "handle", "nexthop", "stats", "tracker".
enum class Object : std::uint8_t { hw, entry, handle, nexthop, stats, tracker };

std::string_view objectName(Object object) noexcept;

// An object, optionally narrowed to one key (a next hop's key is its name).
struct Query {
  Object object = Object::hw;
  std::optional<Key> key;
  std::optional<std::string> name;

  bool narrowed() const noexcept { return key.has_value() || name.has_value(); }
  // "handle 5", "nexthop A", "stats".
  std::string text() const;
};

// One wanted part of an expected line: `field=value`, or a bare word (as in
// `expect hw 5 empty`) when `value` is empty.
struct Field {
  std::string name;
  std::optional<std::string> value;

  std::string text() const { return value ? name + "=" + *value : name; }
  bool operator==(const Field&) const = default;
};

namespace Cmd {

struct NextHop {
  std::string name;
  std::optional<std::uint32_t> index;  // 0xFFFFFFFF: take the index away
  std::optional<State> state;
};
struct Commit {
  Key key = 0;
  std::optional<std::string> nextHopName;  // none: a null handle
  std::uint8_t group = 0;
  std::uint32_t nextHop = 0;
};
struct Remove {
  Key key = 0;
};
// remove-all: every entry (entryRemoveAll); remove-all handles: the entry of
// every key with a handle, remove-all unassigned: of every key whose handle
// is unassigned (entryHandleRemoveAll).
struct RemoveAll {
  bool handles = false;
  bool unassignedOnly = false;
};
struct Hold {
  Key key = 0;
};
struct Release {
  Key key = 0;
};
struct Confirm {
  std::optional<Key> key;  // none: every pending write
};
struct InitComplete {};
struct Purge {};
// teardown: the table is torn down with the chip still attached (its
// cleanup deletes every resolved entry on the chip), then the agent starts
// again; restart: the agent stops without touching the chip.
struct Restart {
  bool teardown = false;
};
struct Show {
  Query query;
};
struct Expect {
  Query query;
  bool absent = false;  // expect no OBJECT KEY
  std::vector<Field> fields;
};
struct Trace {
  std::string setting;
};
struct LogAdaptor {
  bool on = false;
};
struct Echo {
  std::string text;
};
// The table's generic interface: read an attribute (keyed or not), walk a
// collection, call a method with its arguments as text.
struct Get {
  std::string attr;
  std::optional<Key> key;
};
struct Walk {
  std::string attr;
};
struct Call {
  std::string method;
  std::vector<std::string> args;
};
// audit: prints the audit's findings and counts; expect audit clean: fails
// when there is any finding.
struct Audit {
  bool expectClean = false;
};

}  // namespace Cmd

using Action = std::variant<Cmd::NextHop, Cmd::Commit, Cmd::Remove, Cmd::RemoveAll, Cmd::Hold,
                            Cmd::Release, Cmd::Confirm, Cmd::InitComplete, Cmd::Purge, Cmd::Restart,
                            Cmd::Show, Cmd::Expect, Cmd::Trace, Cmd::LogAdaptor, Cmd::Echo,
                            Cmd::Get, Cmd::Walk, Cmd::Call, Cmd::Audit>;

struct Command {
  std::string file;  // as the user named it ("<stdin>" for standard input)
  int line = 0;
  Action action;

  // "FILE:LINE"
  std::string where() const { return file + ":" + std::to_string(line); }
};

// "FILE:LINE: error: MESSAGE", ready to print.
struct ParseError {
  std::string file;
  int line = 0;
  std::string message;

  std::string text() const { return file + ":" + std::to_string(line) + ": error: " + message; }
};

// Parses lines in order, keeping what later lines are checked against.
class Parser {
 public:
  // Parses one line. Returns the command, nothing for a blank or comment
  // line, or the error; a line in error leaves the parser's state as it was.
  std::variant<std::monostate, Command, ParseError> parseLine(std::string_view text,
                                                              const std::string& file, int line);

  // Parses a whole text; every error is reported, and commands are kept only
  // when there is none.
  struct Result {
    std::vector<Command> commands;
    std::vector<ParseError> errors;
  };
  Result parseText(std::string_view text, const std::string& file);

 private:
  struct Context {
    std::set<std::string> nextHops;  // defined since the last agent start
    std::map<Key, std::uint32_t> holds;
    bool replayOpen = true;
    int restartLine = 0;  // the last `restart`, for error messages
  };

  Context context_;
};

// Decimal numbers as the scenario language writes them: digits only, no sign,
// at most `max`. Returns the error text on failure.
std::variant<std::uint32_t, std::string> parseNumber(std::string_view text, std::uint32_t max,
                                                     std::string_view what);

// The entry-state names a scenario may use (`3` for the unnamed state).
std::optional<State> parseState(std::string_view text) noexcept;

// The summary that `help` prints in the shell.
std::string_view helpText() noexcept;

}  // namespace DvpAgent
