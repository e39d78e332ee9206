// The accessor's layer in front of the adaptor: the index-user tracker is
// told exactly the right operation before every hardware write and delete.
#include <gtest/gtest.h>

#include <cstdlib>

#include "AsicSwTable/ProgrammedStateSwitch.h"
#include "platform/Trace/TraceSink.h"
#include "TableFixture.h"

namespace VelarL3Vfi::test {
namespace {

using Calls = std::vector<std::string>;

class HardwareWrites : public ::testing::Test {
 protected:
  HardwareWrites() {
    table->utilIs(Quill::Ptr<Asic::SwTable::Util>(util));
    util->calls.clear();
  }
  LocalDvpTable::Accessor accessor() { return LocalDvpTable::Accessor(table.get()); }
  // Sets a resolved slot without the table's own programming reaching the
  // adaptor, so that each test drives the writes itself.
  void store(std::uint32_t key, const Kiv::Optional<Entry>& value) {
    table->utilIs(nullptr);
    table->resolvedEntryIs(key, value);
    table->utilIs(Quill::Ptr<Asic::SwTable::Util>(util));
  }
  void write(std::uint32_t key, std::uint8_t kind, std::optional<Asic::Index> hwIndex = {}) {
    table->resolvedChangeKindIs(kind);
    accessor().hwTableEntryIs(accessor().utilIfExists(), key, hwIndex);
  }
  void erase(std::uint32_t key, std::uint8_t kind) {
    table->resolvedChangeKindIs(kind);
    accessor().hwTableEntryDel(accessor().utilIfExists(), key, {});
  }

  Quill::Ptr<LocalDvpTable> table = newTable();
  Quill::Ptr<RecordingUtil> utilRef{new RecordingUtil()};
  RecordingUtil* util = utilRef.get();
  Quill::Ptr<const Asic::SwTableBase::EntryHandle> nh = neededHandle();
};

TEST_F(HardwareWrites, WriteTableReportsTheTrackerOperationBeforeTheWrite) {
  store(1, Entry(nh, 3));
  write(1, 0);  // the key had no resolved slot
  write(1, 1);  // a slot without value
  write(1, 2);  // a slot with value: no tracker call
  store(1, Kiv::Optional<Entry>());
  write(1, 2);  // absent over written
  EXPECT_EQ(util->calls, (Calls{"tracker 1 op 0", "write 1 3", "tracker 1 op 1", "write 1 3",
                                "write 1 3", "tracker 1 op 3", "write 1 absent"}));
}

TEST_F(HardwareWrites, DeleteTableReportsTheTrackerOperationBeforeTheDelete) {
  erase(2, 2);
  erase(3, 1);
  table->reconcilingHwEntryIs(true);
  erase(4, 0);  // while reconciling every delete is operation 2
  write(4, 0);  // and no write is reported
  EXPECT_EQ(util->calls, (Calls{"tracker 2 op 2", "delete 2", "tracker 3 op 4", "delete 3",
                                "tracker 4 op 2", "delete 4", "write 4 absent"}));
}

TEST_F(HardwareWrites, WrittenIndexGoesToTheHandleOnlyWhenTheAdaptorAsks) {
  auto handle = table->entryHandleIs(5, table.get());
  store(5, Entry(nh, 1));
  write(5, 0, 77);
  EXPECT_EQ(handle->hwIndex(), Asic::kExhaustedIndex);
  util->hwIndexInEntryHandleIs(true);
  write(5, 2);  // no index given
  EXPECT_EQ(handle->hwIndex(), Asic::kExhaustedIndex);
  write(5, 2, 77);
  EXPECT_EQ(handle->hwIndex(), 77u);
  store(6, Entry(nh, 1));
  write(6, 0, 78);  // no handle: skipped
  EXPECT_FALSE(table->entryHandle(6));
}

TEST_F(HardwareWrites, TracesEachWriteAndDeleteAtLevel8) {
  store(9, Entry(nh, 1));
  Trace::CaptureSink sink;
  LocalDvpTable::traceHandle().levelIs(8, true);
  write(9, 0);
  erase(9, 2);
  LocalDvpTable::traceHandle().levelIs(8, false);
  EXPECT_EQ(sink.lines(), (std::vector<std::string>{
                              "VelarL3Vfi::LocalDvpTable : hwTableEntryIs : key: 9",
                              "VelarL3Vfi::LocalDvpTable : hwTableEntryDel: Deleting entry at key:9"}));
}

TEST_F(HardwareWrites, UtilIfExistsIsNullWithoutAdaptor) {
  EXPECT_EQ(accessor().utilIfExists(), util);
  table->utilIs(nullptr);
  EXPECT_EQ(accessor().utilIfExists(), nullptr);
}

using HardwareWritesDeathTest = HardwareWrites;

TEST_F(HardwareWritesDeathTest, AbsentValueOverNoWrittenValueStops) {
  EXPECT_DEATH(write(1, 1), "assertion \"false\" failed at AsicSwTable/SwTableAccessor");
  EXPECT_DEATH(write(1, 0), "assertion \"false\" failed at AsicSwTable/SwTableAccessor");
}

TEST_F(HardwareWritesDeathTest, DeleteOfAKeyThatHadNoSlotStops) {
  EXPECT_DEATH(erase(1, 0), "assertion \"false\" failed at AsicSwTable/SwTableAccessor");
}

TEST(ProgrammedStateSwitch, ReadsTheVariableAsADecimalNumber) {
  EXPECT_FALSE(Asic::programmedStateSwitchValue(std::nullopt));
  EXPECT_FALSE(Asic::programmedStateSwitchValue(""));
  EXPECT_FALSE(Asic::programmedStateSwitchValue("0"));
  EXPECT_FALSE(Asic::programmedStateSwitchValue("yes"));
  EXPECT_FALSE(Asic::programmedStateSwitchValue("4294967296"));  // 2^32 wraps to 0
  EXPECT_TRUE(Asic::programmedStateSwitchValue("1"));
  EXPECT_TRUE(Asic::programmedStateSwitchValue("4294967297"));
  EXPECT_TRUE(Asic::programmedStateSwitchValue("12abc"));
  EXPECT_TRUE(Asic::programmedStateSwitchValue(" \t+1"));
  EXPECT_TRUE(Asic::programmedStateSwitchValue("-1"));  // 2^32 - 1
  EXPECT_FALSE(Asic::programmedStateSwitchValue("-4294967296"));
  EXPECT_FALSE(Asic::programmedStateSwitchValue("+-1"));
}

// An adaptor of any size is counted while it lives, and one may live until
// the process exits.
TEST(UtilAllocation, AdaptorsOfAnySizeAreCountedAndMayLiveUntilExit) {
  struct LargeUtil : RecordingUtil {
    char state[8192] = {};
  };
  auto& tracker = LocalDvpTable::Util::memAllocationTracker_;
  const auto before = tracker.live();
  Quill::Ptr<LargeUtil> large(new LargeUtil());
  Quill::Ptr<RecordingUtil> small(new RecordingUtil());
  EXPECT_EQ(tracker.live(), before + 2);
  large = nullptr;
  small = nullptr;
  EXPECT_EQ(tracker.live(), before);
  EXPECT_EXIT(
      {
        static const Quill::Ptr<LargeUtil> keptLarge(new LargeUtil());
        static const Quill::Ptr<RecordingUtil> kept(new RecordingUtil());
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// Each setting runs in a child process, since the switch is read once per
// process. Programming a key (here without adaptor) ends with the completion
// step; the child exits 0 when the handle ended in `expected`.
void expectCompletion(const char* value, Asic::SwTableBase::EntryState expected,
                      std::uint32_t key = 3) {
  EXPECT_EXIT(
      {
        if (value) {
          setenv("PUBLISH_ENTRY_HANDLE_PROGRAMMED_STATE", value, 1);
        } else {
          unsetenv("PUBLISH_ENTRY_HANDLE_PROGRAMMED_STATE");
        }
        auto table = newTable();
        auto handle = table->entryHandleIs(key, table.get());
        table->resolvedEntryIs(key, Entry(nullptr, 1));
        // Changing the variable afterwards has no effect.
        setenv("PUBLISH_ENTRY_HANDLE_PROGRAMMED_STATE", "1", 1);
        auto other = table->entryHandleIs(key + 1, table.get());
        table->resolvedEntryIs(key + 1, Entry(nullptr, 1));
        bool completed = expected != Asic::SwTableBase::EntryState::inProgress;
        bool ok = handle->resolvedEntryState() == expected &&
                  other->resolvedEntryState() == handle->resolvedEntryState() &&
                  (completed ? handle->hwIndex() == key : handle->hwIndex() == Asic::kExhaustedIndex);
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ProgrammedStateSwitchDeathTest, CompletesTheHandleOnlyWhenSwitchedOn) {
  using State = Asic::SwTableBase::EntryState;
  expectCompletion(nullptr, State::inProgress);
  expectCompletion("0", State::inProgress);
  expectCompletion("", State::inProgress);
  expectCompletion("1", State::success);
}

TEST(ProgrammedStateSwitchDeathTest, TheExhaustedKeyBecomesIndexExhausted) {
  EXPECT_EXIT(
      {
        setenv("PUBLISH_ENTRY_HANDLE_PROGRAMMED_STATE", "1", 1);
        auto table = newTable();
        auto handle = table->entryHandleIs(0xFFFFFFFF, table.get());
        table->resolvedEntryIs(0xFFFFFFFF, Entry(nullptr, 1));
        std::exit(handle->resolvedEntryState() == Asic::SwTableBase::EntryState::indexExhausted ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace VelarL3Vfi::test
