// Index user counting: the counts follow the table's reports, reports and
// calls that do not fit are faults, and once traffic settles an index has a
// user exactly when its slot is allocated.
#include <gtest/gtest.h>

#include <random>

#include "SimChipFixture.h"

namespace SimChip::test {
namespace {

using SimChipTracker = TableOnChip;

TEST_F(SimChipTracker, CountFollowsTheLifeOfAKey) {
  auto count = [&] { return control().trackerCount(5); };
  commit(5, Entry(nullptr, 1, 1));  // op 0
  EXPECT_EQ(count(), 1u);
  commit(5, Kiv::Optional<Entry>());  // op 3: the slot stays allocated
  EXPECT_EQ(count(), 1u);
  commit(5, Entry(nullptr, 3, 1));  // op 1 into the slot the key kept
  EXPECT_EQ(count(), 1u);
  commit(5, Kiv::Optional<Entry>());
  remove(5);  // op 4
  EXPECT_EQ(count(), 0u);
  commit(5, Entry(nullptr, 1, 1));
  remove(5);  // op 2
  EXPECT_EQ(count(), 0u);
  util->updateHwIndexRefCountTracker(nullptr, 5, OpType::writeIntoEmptySlot);  // op 1 afresh
  EXPECT_EQ(count(), 1u);
  EXPECT_TRUE(control().faults().empty()) << control().faults().front().line();
}

struct BadReport {
  bool indexHasUser;
  int op;
  const char* message;
};

TEST_F(SimChipTracker, ReportsThatDoNotFitAreFaultsAndLeaveTheCountAlone) {
  const std::vector<BadReport> cases = {
      {false, 2, "delete of an index with no user"},
      {false, 4, "delete of an index with no user"},
      {false, 3, "absent write to an index with no user"},
      {true, 0, "first write to an index that already has its user"},
      {true, 1, "write into an empty slot, but the slot is valid and has its user"},
      {true, 9, "unknown op"},
  };
  std::uint32_t key = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ++key;
    if (c.indexHasUser) commit(key, Entry(nullptr, 1, 1));
    control().faultsClear();
    control().callLogClear();
    const std::uint32_t before = control().trackerCount(key);
    util->updateHwIndexRefCountTracker(nullptr, key, static_cast<OpType>(c.op));
    EXPECT_EQ(control().trackerCount(key), before);
    const auto faults = control().trackerFaults();
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].index, key);
    EXPECT_EQ(faults[0].op, c.op);
    EXPECT_EQ(faults[0].message, c.message);
    const std::string call = "tracker key=" + std::to_string(key) + " op=" + std::to_string(c.op);
    EXPECT_EQ(faults[0].line(), call + ": " + c.message);
    EXPECT_EQ(control().callLogText(), call + " -> fault: " + c.message + "\n");
  }
}

TEST_F(SimChipTracker, WritesAndDeletesAreCheckedAgainstTheCountButStillHappen) {
  util->hwTableEntryIs(table.get(), 3, Entry(nullptr, 1, 1));  // nobody reported a user
  EXPECT_EQ(control().slot(3).state, SlotState::valid);
  util->updateHwIndexRefCountTracker(nullptr, 4, OpType::firstWrite);
  util->hwTableEntryIs(table.get(), 4, Entry(nullptr, 1, 1));
  util->hwTableEntryDel(table.get(), 4);  // the user was never given up
  EXPECT_EQ(control().slot(4), Slot{});
  EXPECT_EQ(control().trackerCount(4), 1u);
  const auto faults = control().trackerFaults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].line(), "write key=3: write to an index with no user");
  EXPECT_EQ(faults[0].op, Fault::kNoOp);
  EXPECT_EQ(faults[1].line(), "delete key=4: delete of an index that still has 1 user(s)");
}

// The table's own traffic at random, over every legal change of a key's
// resolved slot: a value over nothing, a value or an absent value, an absent
// value over a value, and the removal of either.
TEST_F(SimChipTracker, CountIsOneExactlyForAllocatedSlotsOnceTrafficSettles) {
  std::mt19937 random(20240517);
  auto pick = [&](std::uint32_t n) {
    return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random);
  };
  for (int step = 0; step < 20000; ++step) {
    const std::uint32_t key = pick(64);
    const std::uint8_t kind = changeKind(key);
    const std::uint32_t action = pick(3);
    if (action == 0) {
      commit(key, Entry(nullptr, static_cast<std::uint8_t>(pick(256)), pick(1000)));
    } else if (action == 1 && kind == 2) {
      commit(key, Kiv::Optional<Entry>());
    } else if (action == 2 && kind != 0) {
      remove(key);
    }
    if (step % 997 == 0) control().deliverAll();
  }
  ASSERT_TRUE(control().faults().empty()) << control().faults().front().line();
  std::uint32_t allocated = 0;
  for (std::uint32_t i = 0; i < 64; ++i) {
    SCOPED_TRACE(i);
    const Slot s = control().slot(i);
    EXPECT_EQ(control().trackerCount(i), s.allocated() ? 1u : 0u);
    allocated += s.allocated();
    if (!table->resolvedEntryHas(i)) {  // and the chip holds what the table resolved
      EXPECT_EQ(s.state, SlotState::empty);
    } else if (auto value = table->resolvedEntry(i); value.present()) {
      EXPECT_EQ(s, (Slot{SlotState::valid, value->localPortNextHop(), value->dvpNetworkGroup()}));
    } else {
      EXPECT_EQ(s.state, SlotState::writtenEmpty);
    }
  }
  EXPECT_GT(allocated, 0u);
  EXPECT_LT(allocated, 64u);
}

TEST(SimChipTrackerOnFile, CountsSurviveAnAgentRestart) {
  ScratchDir dir;
  auto agent = [&](const std::function<void(Util&)>& run) {
    Quill::Ptr<LocalDvpTable> table(new LocalDvpTable());
    table->hwTableIs(recoverHwTable(0, Asic::ChipInfo{0, dir.file("chip"), 16}));
    table->utilIs(makeUtil(*table));
    run(*dynamic_cast<Util*>(table->util()));
  };
  agent([](Util& util) {
    util.updateHwIndexRefCountTracker(nullptr, 1, OpType::firstWrite);
    util.hwTableEntryIs(nullptr, 1, Entry(nullptr, 1, 1));
  });
  agent([](Util& util) {  // the restarted agent finds the user where it left it
    EXPECT_EQ(util.trackerCount(1), 1u);
    util.updateHwIndexRefCountTracker(nullptr, 1, OpType::deleteWritten);
    util.hwTableEntryDel(nullptr, 1);
    EXPECT_TRUE(util.faults().empty()) << util.faults().front().line();
  });
  agent([](Util& util) { EXPECT_EQ(util.trackerCount(1), 0u); });
}

}  // namespace
}  // namespace SimChip::test
