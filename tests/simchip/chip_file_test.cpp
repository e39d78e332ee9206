// The chip file: created when missing, read back after a close and by another
// process, refused (and left alone) when it does not fit.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "SimChipFixture.h"

namespace SimChip::test {
namespace {

constexpr std::size_t kHeader = 64;
constexpr std::size_t kRecord = 12;

class SimChipFile : public ::testing::Test {
 protected:
  ScratchDir dir;
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

TEST_F(SimChipFile, AnotherProcessReadsWhatThisOneWroteAndTheOtherWay) {
  Chip::open(path, 8)->valueIs(1, 2, 300);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 0;
    try {
      auto chip = Chip::open(path);
      if (chip->slot(1) != Slot{SlotState::valid, 300, 2}) code = 3;
      chip->valueIs(2, 4, 500);
    } catch (...) {
      code = 4;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(Chip::open(path)->slot(2), (Slot{SlotState::valid, 500, 4}));
}

struct BadFile {
  const char* name;
  std::function<void(Bytes&)> spoil;
  std::uint32_t entriesAsked;
  const char* problem;
};

void putU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

TEST_F(SimChipFile, BadFilesAreRefusedWithPathAndReasonAndLeftUntouched) {
  const std::vector<BadFile> cases = {
      {"magic", [](Bytes& b) { b[0] = 'X'; }, 0, "wrong magic"},
      {"version", [](Bytes& b) { putU32(b, 8, 2); }, 0, "wrong version 2, expected 1"},
      {"truncated", [](Bytes& b) { b.pop_back(); }, 0, "wrong size"},
      {"extended", [](Bytes& b) { b.resize(b.size() + kRecord); }, 0, "wrong size"},
      {"entry count", [](Bytes& b) { putU32(b, 20, 9); }, 0, "wrong size"},
      {"empty", [](Bytes& b) { b.clear(); }, 0, "too small for a chip header"},
      {"record size", [](Bytes& b) { putU32(b, 16, 16); }, 0, "wrong layout"},
      {"other size asked", [](Bytes&) {}, 16, "the chip has 8 entries, 16 requested"},
      {"slot state", [](Bytes& b) { b[kHeader + 3 * kRecord + 8] = 7; }, 0, "corrupt record 3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = dir.file(c.name);
    Chip::open(file, 8)->valueIs(1, 2, 3);
    Bytes bytes = readBytes(file);
    c.spoil(bytes);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    try {
      Chip::open(file, c.entriesAsked);
      ADD_FAILURE() << "opened";
    } catch (const ChipError& e) {
      EXPECT_EQ(e.path(), file);
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.problem), std::string::npos) << e.what();
    }
    EXPECT_EQ(readBytes(file), bytes);
  }
}

TEST_F(SimChipFile, UnusableRequestsLeaveNothingBehind) {
  EXPECT_THROW(Chip::open(dir.file("no/such/dir/chip")), ChipError);
  EXPECT_THROW(Chip::open(path, kMaxEntries + 1), ChipError);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_THROW(Chip::anonymous(0), ChipError);
}

TEST_F(SimChipFile, RecoveringALocationAgainGivesTheSameChipWhileItIsHeld) {
  auto hw = recoverHwTable(3, Asic::ChipInfo{3, path, 0});
  EXPECT_EQ(hw->unit(), 3u);
  auto chip = chipOf(hw.get());
  EXPECT_EQ(chip->entries(), kDefaultEntries);
  EXPECT_EQ(chipOf(recoverHwTable(3, Asic::ChipInfo{3, path, 65536}).get()), chip);
  EXPECT_EQ(sharedChip(dir.file("./unit0.chip"), 0), chip);  // another spelling
  EXPECT_THROW(recoverHwTable(3, Asic::ChipInfo{3, path, 100}), ChipError);

  chip->valueIs(1, 1, 1);
  chip.reset();
  hw = nullptr;
  EXPECT_EQ(sharedChip(path, 0)->slot(1).state, SlotState::valid);  // a new mapping

  // Without a location every recovery gets a chip of its own.
  auto a = chipOf(recoverHwTable(1, Asic::ChipInfo{1, "", 10}).get());
  auto b = chipOf(recoverHwTable(1, Asic::ChipInfo{1, "", 0}).get());
  EXPECT_EQ(a->location(), "");
  EXPECT_EQ(a->entries(), 10u);
  EXPECT_EQ(b->entries(), kDefaultEntries);
  a->valueIs(2, 1, 1);
  EXPECT_EQ(b->slot(2), Slot{});
}

}  // namespace
}  // namespace SimChip::test
