// The chip file: created when missing, read back after a close and by another
// process, refused (and left alone) when it does not fit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "plugins/simchip/Chip.h"
#include "plugins/simchip/ChipFile.h"
#include "tests/support/Support.h"

namespace SimChip {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;
using Bytes = std::vector<char>;

Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr std::size_t kHeader = 64;
constexpr std::size_t kRecord = 12;

class SimChipFile : public ::testing::Test {
 protected:
  VelarTest::TempDir dir;
  std::string path = dir.file("unit0.chip");
};

TEST_F(SimChipFile, MissingFileIsCreatedEmptyAndKeepsSlotsAndCountsAcrossReopen) {
  EXPECT_EQ(Chip::open(dir.file("default"))->maxIndex(), 65535u);
  EXPECT_EQ(readBytes(dir.file("default")).size(), kHeader + 65536 * kRecord);
  {
    auto chip = Chip::open(path, 32);
    EXPECT_EQ(readBytes(path).size(), kHeader + 32 * kRecord);
    for (std::uint32_t i = 0; i < 32; ++i) EXPECT_EQ(chip->slot(i), Slot{});
    chip->valueIs(0, 7, 1234);
    chip->usersIs(0, 1);
    chip->usersIs(4, 1);  // a report whose write never came
    chip->emptyValueIs(31);
    chip->valueIs(5, 1, 1);
    chip->slotClear(5);
  }
  for (std::uint32_t asked : {0u, 32u}) {  // the file's size, or the same size asked for
    auto chip = Chip::open(path, asked);
    EXPECT_EQ(chip->entries(), 32u);
    EXPECT_EQ(chip->slot(0), (Slot{SlotState::valid, 1234, 7}));
    EXPECT_EQ(chip->users(0), 1u);
    EXPECT_EQ(chip->users(4), 0u);           // recovery counts only allocated slots
    EXPECT_EQ(chip->slot(31), Slot{});       // an unfinished delete completes
    EXPECT_EQ(chip->users(31), 0u);
    EXPECT_EQ(chip->slot(5), Slot{});
  }
}

void putU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Changes header fields and sums the header again: a header that is whole
// but says something this chip never writes.
std::function<void(Bytes&)> resummed(const std::function<void(ChipFile::Header&)>& edit) {
  return [edit](Bytes& b) {
    ChipFile::Header header;
    std::memcpy(&header, b.data(), sizeof header);
    edit(header);
    header.checksum = ChipFile::checksumOf(header);
    std::memcpy(b.data(), &header, sizeof header);
  };
}

// Offsets of record fields.
std::size_t recordAt(std::uint32_t index, std::size_t field) { return kHeader + index * kRecord + field; }
constexpr std::size_t kUsers = 0, kNextHop = 4, kState = 8, kGroup = 9, kPad = 10;

TEST_F(SimChipFile, BadFilesAreRefusedWithPathAndReasonAndLeftUntouched) {
  const struct {
    const char* name;
    std::function<void(Bytes&)> spoil;
    const char* problem;
    std::uint32_t entriesAsked = 0;
  } cases[] = {
      // Truncated or extended.
      {"empty", [](Bytes& b) { b.clear(); }, "too small for a chip header"},
      {"half a header", [](Bytes& b) { b.resize(40); }, "40 bytes is too small for a chip header"},
      {"header only", [](Bytes& b) { b.resize(kHeader); }, "wrong size: 64 bytes, expected 160 for 8 entries (truncated)"},
      {"truncated record", [](Bytes& b) { b.pop_back(); }, "(truncated)"},
      {"extended", [](Bytes& b) { b.resize(b.size() + kRecord); }, "(extended)"},
      // Foreign: another kind of file, another format.
      {"magic", [](Bytes& b) { b[0] = 'X'; }, "wrong magic"},
      {"text", [](Bytes& b) { std::fill(b.begin(), b.end(), 'a'); }, "wrong magic: not a simulated chip file"},
      {"version 1", [](Bytes& b) { putU32(b, 8, 1); }, "wrong version 1, expected 2"},
      // A damaged header.
      {"entry count", [](Bytes& b) { putU32(b, 20, 9); }, "corrupt header: checksum"},
      {"reserved bit", [](Bytes& b) { b[40] ^= 0x10; }, "corrupt header: checksum"},
      {"checksum", [](Bytes& b) { b[28] ^= 0x01; }, "corrupt header: checksum"},
      // A whole header that this chip never writes.
      {"record size", resummed([](ChipFile::Header& h) { h.recordBytes = 16; }), "wrong layout: header 64 bytes, record 16 bytes"},
      {"minIndex", resummed([](ChipFile::Header& h) { h.minIndex = 1; }), "wrong layout"},
      {"reserved word", resummed([](ChipFile::Header& h) { h.reserved[3] = 1; }), "reserved words zero"},
      {"no entries", resummed([](ChipFile::Header& h) { h.entries = 0; }), "wrong entry count 0"},
      {"too many entries", resummed([](ChipFile::Header& h) { h.entries = kMaxEntries + 1; }), "wrong entry count 16777217"},
      {"more entries than records", resummed([](ChipFile::Header& h) { h.entries = 9; }), "expected 172 for 9 entries (truncated)"},
      {"other size asked", [](Bytes&) {}, "the chip has 8 entries, 16 requested", 16},
      // Records the chip never leaves behind.
      {"slot state", [](Bytes& b) { b[recordAt(3, kState)] = 7; }, "corrupt record 3: slot state 7"},
      {"empty slot with value", [](Bytes& b) { putU32(b, recordAt(4, kNextHop), 12); }, "corrupt record 4: empty slot holds next hop 12 and group 0"},
      {"written-empty slot with group", [](Bytes& b) { b[recordAt(6, kState)] = 2; b[recordAt(6, kGroup)] = 3; }, "corrupt record 6: writtenEmpty slot holds next hop 0 and group 3"},
      {"two users", [](Bytes& b) { putU32(b, recordAt(1, kUsers), 2); }, "corrupt record 1: 2 index users"},
      {"padding", [](Bytes& b) { b[recordAt(7, kPad) + 1] = 1; }, "corrupt record 7: padding not zero"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir.file(c.name);
    {
      auto chip = Chip::open(file, 8);
      chip->valueIs(1, 2, 3);
      chip->usersIs(1, 1);
      chip->emptyValueIs(5);  // a delete in flight: what a good file's recovery would finish
    }
    Bytes bytes = readBytes(file);
    c.spoil(bytes);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    try {
      Chip::open(file, c.entriesAsked);
      ADD_FAILURE() << "opened";
    } catch (const ChipError& e) {
      EXPECT_EQ(e.path(), file);
      EXPECT_THAT(e.what(), AllOf(HasSubstr(file + ": "), HasSubstr(c.problem)));
    }
    EXPECT_EQ(readBytes(file), bytes) << "a refused file was changed";
  }
}

TEST_F(SimChipFile, SomethingOtherThanAFileIsRefusedWithoutWaiting) {
  std::filesystem::create_directory(path);
  // A pipe nobody writes to would block a reader that waited for a writer.
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& file : {path, fifo}) {
    EXPECT_THAT([&] { Chip::open(file); },
                ThrowsMessage<ChipError>(HasSubstr(file + ": not a regular file")));
  }
}

}  // namespace
}  // namespace SimChip
