#include "platform/FastLog/Decoder.h"
#include "platform/FastLog/FastLog.h"

#include <cstdint>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace {

// Makes a Log the default handle for a scope.
struct DefaultLog {
  explicit DefaultLog(std::size_t capacity = 4096) : log_(capacity) { FastLog::defaultHandleIs(&log_); }
  ~DefaultLog() { FastLog::defaultHandleIs(nullptr); }
  FastLog::Log* operator->() { return &log_; }
  FastLog::Log log_;
};

// Matches a call that throws a runtime_error whose text contains `text`.
auto throwsError(const std::string& text) { return ThrowsMessage<std::runtime_error>(HasSubstr(text)); }

TEST(FastLogMessagesDeathTest, UnregistrableSiteStops) {
  DefaultLog log;
  EXPECT_DEATH(FASTLOG("unpaired {", 1), "assertion \"msgId_ >= 0\" failed");
}

enum class EntryType : std::uint8_t { referenceOnly = 3 };

// Every kind of argument, each once. (The table's own messages are checked in
// the delete-dance golden file.)
TEST(FastLogArgs, EveryKindRoundTrips) {
  DefaultLog log;
  const std::string owned = "owned";
  const char* nullText = nullptr;
  const auto* eh = reinterpret_cast<const void*>(std::uintptr_t{0xdeadbeef});  // NOLINT(performance-no-int-to-ptr)
  FASTLOG("{} {} {} {}", std::numeric_limits<std::int64_t>::min(),
          std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::uint64_t>::max(),
          std::int8_t{-128});
  FASTLOG("{:x} {:x} {} {} {}", -255, std::uint16_t{0xbeef}, std::uint8_t{200}, EntryType::referenceOnly, -2);
  FASTLOG("{} {} [{}] {} {} 0x{:x}", true, 'q', "", nullText, nullptr, eh);
  FASTLOG("{} {}", 2.5, -0.125f);
  FASTLOG("{} {}|", owned, std::string_view("nul\0inside", 10));
  FASTLOG("no arguments {{}}");
  EXPECT_THAT(log->lines(), ElementsAre("-9223372036854775808 9223372036854775807 18446744073709551615 -128",
                                        "-ff beef 200 3 -2", "true q [] (null) 0 0xdeadbeef", "2.5 -0.125",
                                        std::string("owned nul\0inside|", 17), "no arguments {}"));
}

// Records of varying size wrap at every offset of a small ring; the ring must
// always hold the newest whole records and account for the rest.
TEST(FastLogRing, WrapKeepsNewestWholeRecords) {
  DefaultLog log(97);
  std::vector<std::string> written;
  for (int i = 0; i < 500; ++i) {
    const std::string pad(static_cast<std::size_t>(i % 23), static_cast<char>('a' + i % 26));
    FASTLOG("rec {} {}", i, pad);
    written.push_back("rec " + std::to_string(i) + " " + pad);

    // The counts first: they also keep the comparison below inside `written`.
    const auto lines = log->lines();
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ(log->recordCount(), lines.size());
    ASSERT_EQ(log->recordCount() + log->overwrittenCount(), written.size());
    ASSERT_TRUE(std::equal(lines.begin(), lines.end(), written.end() - std::ssize(lines)))
        << "after record " << i;
    ASSERT_LE(log->bytesUsed(), log->capacity());
  }
  EXPECT_GT(log->overwrittenCount(), 400u);
  log->clear();
  EXPECT_TRUE(log->lines().empty());
  EXPECT_EQ(log->bytesUsed(), 0u);
}

// Hand-made records: every length inside a record is checked too.
TEST(FastLogDecode, RecordsAreCheckedFieldByField) {
  const FastLog::Formats formats{{0, "x{}"}, {1, "plain"}};
  // A decode of `records`, to call later.
  auto decoding = [&formats](std::vector<std::uint8_t> records) {
    return [&formats, records] { return FastLog::decodeRecords(records, formats, "test records"); };
  };
  EXPECT_THAT(decoding({2, 1, 0, 4, 0, 1, 2, 7})(), ElementsAre("plain", "x7"));
  EXPECT_THAT(decoding({3, 1, 0, 9}), throwsError("1 bytes left over"));
  EXPECT_THAT(decoding({5, 0, 1, 6, 10, 'a'}), throwsError("truncated: a string needs 10 bytes"));
  EXPECT_THAT(decoding({2, 0, 1}), throwsError("truncated"));
  EXPECT_THAT(decoding({4, 0}), throwsError("truncated: a record needs 4 bytes"));
  EXPECT_THAT(decoding({4, 0, 1, 3, 2}), throwsError("bool argument of value 2"));
  EXPECT_THAT(decoding({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x02}),
              throwsError("too large for 64 bits"));
  EXPECT_THAT(decoding({2, 1, 0, 9, 0}),
              ThrowsMessage<std::runtime_error>(ContainsRegex("test records: truncated.*\\(at offset 4\\)")));
}

TEST(FastLogFile, CorruptImagesAreRejected) {
  DefaultLog log(512);
  FASTLOG("{} {} {}", -5, "text", 3.0);
  FASTLOG("{}", true);
  const auto good = log->image();
  ASSERT_EQ(FastLog::decodeImage(good).size(), 2u);

  // Every truncation fails cleanly.
  for (std::size_t size = 0; size < good.size(); ++size) {
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(size));
    EXPECT_THROW(FastLog::decodeImage(cut), std::runtime_error) << "truncated to " << size;
  }

  // Header fields, the record count, a message id and the first argument's kind byte.
  const std::size_t records = good.size() - log->bytesUsed();
  const struct {
    std::size_t at;
    int value;  // -1: one byte more at the end; -2: the byte plus one
    const char* error;
  } damages[] = {{0, 'X', "bad magic"},
                 {8, 9, "unsupported version 9"},
                 {0, -1, "records should take"},
                 {records - 12, -2, "header promises 3 records, found 2"},
                 {records + 1, 0x7f, "unknown message id 127"},
                 {records + 3, 0x55, "unknown kind 85"}};
  for (const auto& d : damages) {
    auto bad = good;
    if (d.value == -1) bad.push_back(0);
    else bad[d.at] = static_cast<std::uint8_t>(d.value == -2 ? bad[d.at] + 1 : d.value);
    EXPECT_THAT([&] { FastLog::decodeImage(bad); }, throwsError(d.error));
  }
}

}  // namespace
