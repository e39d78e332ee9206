#include "platform/Trace/TraceConfig.h"
#include "platform/Trace/TraceHandle.h"
#include "platform/Trace/TraceSink.h"

#include <cstdlib>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;

namespace {

// Sets an environment variable for a scope and puts the old value back.
struct ScopedEnv {
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
  const char* name_;
  std::optional<std::string> old_;
};

// Handle names are process-wide and settings are remembered by name, so each
// test uses names of its own.

TEST(TraceHandle, LineIsBuiltOnlyWhenLevelIsOn) {
  Trace::Handle h("TraceTest::Qtrace");
  Trace::CaptureSink capture;
  int built = 0;
  auto part = [&built] { return ++built; };
  // Level 5 is off, then on; level 6 stays off.
  QTRACE(h, 5, "VelarL3Vfi::LocalDvpTable" << " : " << "entryRemove" << ": key:" << part());
  h.levelIs(5, true);
  QTRACE(h, 5, "VelarL3Vfi::LocalDvpTable" << " : " << "entryRemove" << ": key:" << part());
  QTRACE(h, 6, "other level " << part());
  // Only the line at a level that is on was built: the part ran once, for it.
  EXPECT_EQ(built, 1);
  EXPECT_THAT(capture.lines(), ::testing::ElementsAre("VelarL3Vfi::LocalDvpTable : entryRemove: key:1"));
  h.maskIs(Trace::kAllLevels);
  EXPECT_TRUE(h.enabled(31));
  EXPECT_FALSE(h.enabled(32));
}

TEST(TraceParse, AcceptedForms) {
  auto r = Trace::parse(" VelarL3Vfi::LocalDvpTable/5-9 , SwTableStat/0,A::B/c/*,Sw/31,Sw/ 7-7,X/0-31 ");
  ASSERT_TRUE(r.ok()) << r.error;
  using S = Trace::Setting;
  EXPECT_THAT(r.settings, ::testing::ElementsAre(S{"VelarL3Vfi::LocalDvpTable", 0x3E0u}, S{"SwTableStat", 1u},
                                                 S{"A::B/c", Trace::kAllLevels}, S{"Sw", 0x80000080u},
                                                 S{"X", Trace::kAllLevels}));
  EXPECT_TRUE(Trace::parse("").ok());
  EXPECT_TRUE(Trace::parse("  ").settings.empty());
}

TEST(TraceParse, BadItemsAreNamedAndRejectTheWhole) {
  struct Case {
    const char *text, *item, *why;
  };
  const Case cases[] = {
      {"Good/1,NoSlash", "\"NoSlash\"", "expected HANDLE/LEVELS"},
      {"/5", "\"/5\"", "missing handle name"},
      {"X/", "\"X/\"", "missing levels"},
      {"X/32", "\"X/32\"", "level 32 is out of range 0-31"},
      {"X/99999999999999999999999", "\"X/99999999999999999999999\"", "out of range"},
      {"X/9-5", "\"X/9-5\"", "range 9-5 runs backwards"},
      {"X/abc", "\"X/abc\"", "\"abc\" is not a level"},
      {"X/5x", "\"X/5x\"", "is not a level"},
      {"X/-1", "\"X/-1\"", "\"\" is not a level"},
      {"X/1-", "\"X/1-\"", "is not a level"},
      {"X/1-40", "\"X/1-40\"", "level 40 is out of range"},
      {"A/1,,B/2", "\"\"", "empty item"},
      {"A/1,", "\"\"", "empty item"},
  };
  for (const auto& c : cases) {
    auto r = Trace::parse(c.text);
    EXPECT_TRUE(r.settings.empty()) << c.text;
    EXPECT_THAT(r.error, HasSubstr(std::string("bad trace item ") + c.item)) << c.text;
    EXPECT_THAT(r.error, HasSubstr(c.why)) << c.text;
  }
}

TEST(TraceConfigure, AppliesToLiveAndLaterHandles) {
  Trace::Handle live("TraceTest::Cfg::Live");
  Trace::Handle twin("TraceTest::Cfg::Live");
  Trace::Handle untouched("TraceTest::Cfg::Untouched");
  untouched.maskIs(0x4);
  EXPECT_EQ(Trace::configure("TraceTest::Cfg::Live/5-9,TraceTest::Cfg::Later/0"), std::nullopt);
  EXPECT_EQ(live.mask(), 0x3E0u);
  EXPECT_EQ(twin.mask(), 0x3E0u);
  EXPECT_EQ(untouched.mask(), 0x4u);
  EXPECT_EQ(Trace::Handle("TraceTest::Cfg::Later").mask(), 0x1u);
  // A later setting replaces the levels of the handles it names.
  EXPECT_EQ(Trace::configure("TraceTest::Cfg::Later/3"), std::nullopt);
  EXPECT_EQ(Trace::Handle("TraceTest::Cfg::Later").mask(), 0x8u);
}

TEST(TraceEnvironment, BadValueIsReportedOnceAndIgnored) {
  Trace::Handle h("TraceTest::Env::Bad");
  ScopedEnv env("TRACE", "TraceTest::Env::Bad/3,TraceTest::Env::Bad/x");
  ::testing::internal::CaptureStderr();
  auto first = Trace::configureFromEnvironment();
  auto second = Trace::configureFromEnvironment();
  const std::string reported = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first, second);
  // Reported once: one line in all.
  EXPECT_THAT(reported, ::testing::MatchesRegex("TRACE: bad trace item \"TraceTest::Env::Bad/x\"[^\n]*\n"));
  EXPECT_EQ(h.mask(), 0u);
}

// Handles pick TRACE up by themselves, whenever the first one is created.
// These run in a fresh process, where nothing has read TRACE yet.
TEST(TraceEnvironmentDeathTest, FirstHandleReadsTrace) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScopedEnv env("TRACE", "TraceTest::Env::Start/3-4");
  EXPECT_EXIT(std::exit(Trace::Handle("TraceTest::Env::Start").mask() == 0x18u ? 0 : 1),
              ::testing::ExitedWithCode(0), "");
}

}  // namespace
