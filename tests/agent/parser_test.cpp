// The scenario parser: what each command becomes, and every way a line is
// refused (with its line number) without changing what later lines see.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/dvp-agent/Scenario.h"

namespace DvpAgent {
namespace {

Parser::Result parse(const std::string& text) { return Parser().parseText(text, "s.dvp"); }

template <class T>
T only(const std::string& text) {
  auto result = parse(text);
  EXPECT_TRUE(result.errors.empty()) << (result.errors.empty() ? "" : result.errors[0].text());
  EXPECT_FALSE(result.commands.empty());
  return std::get<T>(result.commands.back().action);
}

std::vector<std::string> errors(const std::string& text) {
  std::vector<std::string> out;
  for (const auto& e : parse(text).errors) out.push_back(e.text());
  return out;
}

using Lines = std::vector<std::string>;

TEST(ParserErrors, NumbersAreDecimalAndInRange) {
  EXPECT_EQ(errors("commit x"), Lines{"s.dvp:1: error: malformed number \"x\" for key (decimal digits only)"});
  EXPECT_EQ(errors("commit 0x10"), Lines{"s.dvp:1: error: malformed number \"0x10\" for key (decimal digits only)"});
  EXPECT_EQ(errors("commit -1"), Lines{"s.dvp:1: error: malformed number \"-1\" for key (decimal digits only)"});
  EXPECT_EQ(errors("commit 4294967296"), Lines{"s.dvp:1: error: key 4294967296 out of range (0 to 4294967295)"});
  EXPECT_EQ(errors("commit 1 group=256"), Lines{"s.dvp:1: error: group 256 out of range (0 to 255)"});
  EXPECT_EQ(errors("commit 99999999999999999999999"),
            Lines{"s.dvp:1: error: key 99999999999999999999999 out of range (0 to 4294967295)"});
  EXPECT_EQ(errors("nexthop A index=-"), Lines{"s.dvp:1: error: malformed number \"-\" for index (decimal digits only)"});
}

TEST(ParserErrors, SyntaxAndUnknownWords) {
  EXPECT_EQ(errors("frobnicate 3"), Lines{"s.dvp:1: error: unknown command \"frobnicate\""});
  EXPECT_EQ(errors("commit"), Lines{"s.dvp:1: error: usage: commit KEY [nh=NAME] [group=G] [nexthop=N]"});
  EXPECT_EQ(errors("commit 1 group"), Lines{"s.dvp:1: error: commit: expected NAME=VALUE, got \"group\""});
  EXPECT_EQ(errors("commit 1 colour=red"),
            Lines{"s.dvp:1: error: commit: unknown option \"colour\" (options: nh, group, nexthop)"});
  EXPECT_EQ(errors("commit 1 group=1 group=2"), Lines{"s.dvp:1: error: commit: option \"group\" given twice"});
  EXPECT_EQ(errors("nexthop A state=indexExhausted").size(), 1u);
  EXPECT_EQ(errors("show fish"),
            Lines{"s.dvp:1: error: show: unknown object \"fish\" (hw, entry, handle, nexthop, stats, tracker)"});
  EXPECT_EQ(errors("show stats 3"), Lines{"s.dvp:1: error: show stats takes no key"});
  EXPECT_EQ(errors("expect handle 5 stat=success").size(), 1u);
  EXPECT_EQ(errors("expect hw group=1"), Lines{"s.dvp:1: error: expect hw needs a key: expect hw KEY FIELD=VALUE..."});
  EXPECT_EQ(errors("expect no stats").size(), 1u);
  EXPECT_EQ(errors("trace Foo/99").size(), 1u);
  EXPECT_EQ(errors("log adaptor maybe"), Lines{"s.dvp:1: error: usage: log adaptor on|off"});
  EXPECT_EQ(errors("walk entries"), Lines{"s.dvp:1: error: the table has no attribute \"entries\""});
  EXPECT_EQ(errors("get entrys 1 2"), Lines{"s.dvp:1: error: usage: get ATTR [KEY]"});
}

TEST(ParserErrors, NextHopNamesMustBeDefinedFirstAndAgainAfterARestart) {
  EXPECT_EQ(errors("commit 1 nh=A\nnexthop A"),
            Lines{"s.dvp:1: error: unknown next hop \"A\": define it with a `nexthop A` line first"});
  EXPECT_EQ(errors("nexthop A\nshow nexthop B").size(), 1u);
  EXPECT_EQ(errors("nexthop A\nrestart\ncommit 1 nh=A"),
            Lines{"s.dvp:3: error: unknown next hop \"A\": no `nexthop A` line since the restart at line 2"});
  EXPECT_TRUE(errors("nexthop A\nrestart\nnexthop A\ncommit 1 nh=A").empty());
}

TEST(ParserErrors, ReleasesNeedHoldsAndTheReplayEndsOncePerStart) {
  EXPECT_EQ(errors("release 4"), Lines{"s.dvp:1: error: release 4: no `hold 4` to release"});
  EXPECT_EQ(errors("hold 4\nrelease 4\nrelease 4").size(), 1u);
  EXPECT_TRUE(errors("hold 4\nhold 4\nrelease 4\nrelease 4").empty());
  EXPECT_EQ(errors("hold 4\nrestart\nrelease 4").size(), 1u);  // the restart dropped the hold
  EXPECT_EQ(errors("init-complete\ninit-complete").size(), 1u);
  EXPECT_TRUE(errors("init-complete\nrestart\ninit-complete").empty());
}

TEST(ParserErrors, EveryErrorIsReportedAndNoCommandIsKept) {
  auto result = parse("commit 1\nbogus\ncommit 2\ncommit x\n");
  EXPECT_TRUE(result.commands.empty());
  ASSERT_EQ(result.errors.size(), 2u);
  EXPECT_EQ(result.errors[0].line, 2);
  EXPECT_EQ(result.errors[1].line, 4);
}

TEST(ParserErrors, ALineInErrorChangesNothingForLaterLines) {
  Parser parser;
  EXPECT_TRUE(std::holds_alternative<ParseError>(parser.parseLine("nexthop A state=bogus", "s", 1)));
  EXPECT_TRUE(std::holds_alternative<ParseError>(parser.parseLine("commit 1 nh=A", "s", 2)));
  EXPECT_TRUE(std::holds_alternative<ParseError>(parser.parseLine("hold 1 2", "s", 3)));
  EXPECT_TRUE(std::holds_alternative<ParseError>(parser.parseLine("release 1", "s", 4)));
  EXPECT_TRUE(std::holds_alternative<Command>(parser.parseLine("nexthop A", "s", 5)));
  EXPECT_TRUE(std::holds_alternative<Command>(parser.parseLine("commit 1 nh=A", "s", 6)));
  // Files of one run share the parser: a name from the first file serves the second.
  EXPECT_TRUE(parser.parseText("commit 2 nh=A\n", "second.dvp").errors.empty());
}

}  // namespace
}  // namespace DvpAgent
