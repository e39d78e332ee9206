// The scenario parser: every way a line is refused (with its line number)
// without changing what later lines see.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/dvp-agent/Scenario.h"

namespace DvpAgent {
namespace {

Parser::Result parse(const std::string& text) { return Parser().parseText(text, "s.dvp"); }

std::vector<std::string> errors(const std::string& text) {
  std::vector<std::string> out;
  for (const auto& e : parse(text).errors) out.push_back(e.text());
  return out;
}

using Lines = std::vector<std::string>;

// Numbers are decimal and in range; syntax and unknown words. An empty message
// stands for "exactly one error".
TEST(ParserErrors, ABadLineIsNamedWithItsReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"commit x", "malformed number \"x\" for key (decimal digits only)"},
      {"commit 0x10", "malformed number \"0x10\" for key (decimal digits only)"},
      {"commit -1", "malformed number \"-1\" for key (decimal digits only)"},
      {"commit 4294967296", "key 4294967296 out of range (0 to 4294967295)"},
      {"commit 1 group=256", "group 256 out of range (0 to 255)"},
      {"commit 99999999999999999999999", "key 99999999999999999999999 out of range (0 to 4294967295)"},
      {"nexthop A index=-", "malformed number \"-\" for index (decimal digits only)"},
      {"frobnicate 3", "unknown command \"frobnicate\""},
      {"commit", "usage: commit KEY [nh=NAME] [group=G] [nexthop=N]"},
      {"commit 1 group", "commit: expected NAME=VALUE, got \"group\""},
      {"commit 1 colour=red", "commit: unknown option \"colour\" (options: nh, group, nexthop)"},
      {"commit 1 group=1 group=2", "commit: option \"group\" given twice"},
      {"nexthop A state=indexExhausted", ""},
      {"show fish", "show: unknown object \"fish\" (hw, entry, handle, nexthop, stats, tracker)"},
      {"show stats 3", "show stats takes no key"},
      {"expect handle 5 stat=success", ""},
      {"expect hw group=1", "expect hw needs a key: expect hw KEY FIELD=VALUE..."},
      {"expect no stats", ""},
      {"expect audit dirty", "usage: expect audit clean"},
      {"trace Foo/99", ""},
      {"log adaptor maybe", "usage: log adaptor on|off"},
      {"walk entries", "the table has no attribute \"entries\""},
      {"get entrys 1 2", "usage: get ATTR [KEY]"},
  };
  for (const auto& [text, message] : cases) {
    const Lines got = errors(text);
    ASSERT_EQ(got.size(), 1u) << text;
    if (*message == 0) continue;
    EXPECT_EQ(got[0], std::string("s.dvp:1: error: ") + message);
  }
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
  int line = 0;
  for (const char* bad : {"nexthop A state=bogus", "commit 1 nh=A", "hold 1 2", "release 1"})
    EXPECT_TRUE(std::holds_alternative<ParseError>(parser.parseLine(bad, "s", ++line))) << bad;
  for (const char* good : {"nexthop A", "commit 1 nh=A"})
    EXPECT_TRUE(std::holds_alternative<Command>(parser.parseLine(good, "s", ++line))) << good;
  // Files of one run share the parser: a name from the first file serves the second.
  EXPECT_TRUE(parser.parseText("commit 2 nh=A\n", "second.dvp").errors.empty());
}

}  // namespace
}  // namespace DvpAgent
