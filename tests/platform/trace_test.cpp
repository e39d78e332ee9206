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
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Handle names are process-wide and settings are remembered by name, so each
// test uses names of its own.

TEST(TraceHandle, LevelEdges) {
  Trace::Handle h("TraceTest::Levels");
  EXPECT_EQ(h.mask(), 0u);
  h.levelIs(31, true);
  h.levelIs(0, true);
  h.levelIs(0, false);
  EXPECT_EQ(h.mask(), 0x80000000u);
  EXPECT_TRUE(h.enabled(31));
  h.maskIs(Trace::kAllLevels);
  EXPECT_FALSE(h.enabled(32));
}

TEST(TraceHandle, LineIsBuiltOnlyWhenLevelIsOn) {
  Trace::Handle h("TraceTest::Qtrace");
  Trace::CaptureSink capture;
  int built = 0;
  auto part = [&built] { return ++built; };
  QTRACE(h, 5, "VelarL3Vfi::LocalDvpTable" << " : " << "entryRemove" << ": key:" << part());
  EXPECT_EQ(built, 0);
  EXPECT_TRUE(capture.lines().empty());

  h.levelIs(5, true);
  QTRACE(h, 5, "VelarL3Vfi::LocalDvpTable" << " : " << "entryRemove" << ": key:" << part());
  QTRACE(h, 6, "other level " << part());
  EXPECT_EQ(built, 1);
  EXPECT_THAT(capture.lines(),
              ::testing::ElementsAre("VelarL3Vfi::LocalDvpTable : entryRemove: key:1"));
}

// With every level of every handle off, a trace line does not even evaluate
// its handle; any level on anywhere brings the full test back.
TEST(TraceHandle, LinesSkipTheirHandleWhileAllLevelsAreOff) {
  ASSERT_FALSE(Trace::anyLevelOn());
  int handleLookups = 0;
  auto lookup = [&handleLookups](Trace::Handle& h) -> Trace::Handle& {
    ++handleLookups;
    return h;
  };
  Trace::CaptureSink capture;
  auto a = std::make_optional<Trace::Handle>("TraceTest::A");
  Trace::Handle b("TraceTest::B");
  QTRACE(lookup(*a), 1, "a");
  EXPECT_EQ(handleLookups, 0);

  b.levelIs(3, true);  // another handle: A's lines test A again, and stay off
  QTRACE(lookup(*a), 1, "a");
  EXPECT_EQ(handleLookups, 1);
  a->maskIs(0x2);
  b.levelIs(3, false);
  QTRACE(lookup(*a), 1, "a");
  EXPECT_THAT(capture.lines(), ::testing::ElementsAre("a"));
  a.reset();  // a handle going away with levels on no longer counts
  EXPECT_FALSE(Trace::anyLevelOn());

  // A setting for a handle that is made on first use turns the test back on,
  // so the first line makes the handle and comes out.
  ASSERT_FALSE(Trace::configure("TraceTest::MadeLate/4").has_value());
  std::optional<Trace::Handle> late;
  auto makeLate = [&late]() -> Trace::Handle& {
    if (!late) late.emplace("TraceTest::MadeLate");
    return *late;
  };
  QTRACE(makeLate(), 4, "late");
  EXPECT_THAT(capture.lines(), ::testing::ElementsAre("a", "late"));
}

TEST(TraceHandle, FindSeesOnlyLiveHandles) {
  EXPECT_EQ(Trace::find("TraceTest::Find"), nullptr);
  {
    Trace::Handle first("TraceTest::Find");
    Trace::Handle second("TraceTest::Find");
    EXPECT_EQ(Trace::find("TraceTest::Find"), &first);
  }
  EXPECT_EQ(Trace::find("TraceTest::Find"), nullptr);
}

TEST(TraceSink, CapturesNestAndRestore) {
  Trace::Handle h("TraceTest::Sinks");
  h.levelIs(1, true);
  Trace::Sink* original = Trace::sink();
  {
    Trace::CaptureSink outer;
    {
      Trace::CaptureSink inner;
      QTRACE(h, 1, "to inner");
      EXPECT_THAT(inner.lines(), ::testing::ElementsAre("to inner"));
    }
    QTRACE(h, 1, "to outer");
    EXPECT_THAT(outer.lines(), ::testing::ElementsAre("to outer"));
  }
  EXPECT_EQ(Trace::sink(), original);
}

TEST(TraceSink, DefaultWritesLineToStandardError) {
  Trace::Handle h("TraceTest::Stderr");
  h.levelIs(2, true);
  Trace::sinkIs(nullptr);
  ::testing::internal::CaptureStderr();
  QTRACE(h, 2, "one line " << 42);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "one line 42\n");
}

TEST(TraceParse, AcceptedForms) {
  auto r = Trace::parse(" VelarL3Vfi::LocalDvpTable/5-9 , SwTableStat/0,A::B/c/*,Sw/2,Sw/ 4 ");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_THAT(r.settings, ::testing::ElementsAre(
                              Trace::Setting{"VelarL3Vfi::LocalDvpTable", 0x3E0u},
                              Trace::Setting{"SwTableStat", 0x1u},
                              Trace::Setting{"A::B/c", Trace::kAllLevels},
                              Trace::Setting{"Sw", 0x14u}));
  EXPECT_EQ(Trace::parse("X/0-31").settings.at(0).mask, Trace::kAllLevels);
  EXPECT_EQ(Trace::parse("X/31").settings.at(0).mask, 0x80000000u);
  EXPECT_EQ(Trace::parse("X/7-7").settings.at(0).mask, 0x80u);
  EXPECT_TRUE(Trace::parse("").ok());
  EXPECT_TRUE(Trace::parse("  ").settings.empty());
}

TEST(TraceParse, BadItemsAreNamedAndRejectTheWhole) {
  struct Case {
    const char* text;
    const char* item;
    const char* why;
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
    EXPECT_FALSE(r.ok()) << c.text;
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
  {
    Trace::Handle later("TraceTest::Cfg::Later");
    EXPECT_EQ(later.mask(), 0x1u);
  }
  // A later setting replaces the levels of the handles it names.
  EXPECT_EQ(Trace::configure("TraceTest::Cfg::Later/3"), std::nullopt);
  EXPECT_EQ(live.mask(), 0x3E0u);
  Trace::Handle later("TraceTest::Cfg::Later");
  EXPECT_EQ(later.mask(), 0x8u);
}

TEST(TraceConfigure, BadSettingChangesNothing) {
  Trace::Handle live("TraceTest::Bad::Live");
  live.maskIs(0x2);
  auto error = Trace::configure("TraceTest::Bad::Live/1,TraceTest::Bad::Later/1,Oops/77");
  ASSERT_TRUE(error.has_value());
  EXPECT_THAT(*error, HasSubstr("\"Oops/77\""));
  EXPECT_EQ(live.mask(), 0x2u);
  Trace::Handle later("TraceTest::Bad::Later");
  EXPECT_EQ(later.mask(), 0u);
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
  EXPECT_THAT(reported, HasSubstr("TRACE: bad trace item \"TraceTest::Env::Bad/x\""));
  EXPECT_EQ(reported.find("TRACE:"), reported.rfind("TRACE:")) << reported;
  EXPECT_EQ(h.mask(), 0u);
}

// Handles pick TRACE up by themselves, whenever the first one is created.
// These run in a fresh process, where nothing has read TRACE yet.
TEST(TraceEnvironmentDeathTest, FirstHandleReadsTrace) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScopedEnv env("TRACE", "TraceTest::Env::Start/3-4");
  EXPECT_EXIT(
      {
        Trace::Handle h("TraceTest::Env::Start");
        std::exit(h.mask() == 0x18u ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(TraceEnvironmentDeathTest, BadTraceIsReportedOnceForManyHandles) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScopedEnv env("TRACE", "TraceTest::Env::Many/3,Nope");
  EXPECT_EXIT(
      {
        ::testing::internal::CaptureStderr();
        Trace::Handle a("TraceTest::Env::Many");
        Trace::Handle b("TraceTest::Env::Other");
        Trace::configure("TraceTest::Env::Other/1");
        const std::string reported = ::testing::internal::GetCapturedStderr();
        const bool once = reported.find("bad trace item \"Nope\"") != std::string::npos &&
                          reported.find("TRACE:") == reported.rfind("TRACE:");
        std::exit(once && a.mask() == 0 && b.mask() == 0x2u ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
