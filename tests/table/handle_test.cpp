// What the model check cannot see from outside: when the cleanups of a bulk
// handle removal run, how entryInHwTable reads a handle's resolved-entry
// state, and how the programmed-state switch reads its variable.
#include <gtest/gtest.h>

#include <algorithm>

#include "AsicSwTable/ProgrammedStateSwitch.h"
#include "tests/support/Support.h"

namespace VelarTest {
namespace {

using RemoveAll = LeakChecked;

// Every visited handle stays in use until the pass is over: all removals
// come first, then the cleanups they caused (the delete dances here).
TEST_F(RemoveAll, RunsTheCleanupsItDefersOnlyAfterItsPass) {
  ChipTable t;
  for (std::uint32_t key = 1; key <= 3; ++key) t.programmed(key, 1);
  TraceCapture trace(1u << 5 | 1u << 6);
  t->entryHandleRemoveAll(false);
  const Lines lines = trace.take();
  auto isRemoval = [](const std::string& l) { return l.find("entryRemove : Removing entry") != std::string::npos; };
  auto isCleanup = [](const std::string& l) { return l.find(" : entryhandle cleanup") != std::string::npos; };
  const auto lastRemoval = std::find_if(lines.rbegin(), lines.rend(), isRemoval).base();
  const auto firstCleanup = std::find_if(lines.begin(), lines.end(), isCleanup);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isRemoval), 3);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isCleanup), 3);
  EXPECT_LE(lastRemoval - lines.begin(), firstCleanup - lines.begin()) << ::testing::PrintToString(lines);
  for (std::uint32_t key = 1; key <= 3; ++key) EXPECT_EQ(t->entryHandle(key)->entryType(), EntryHandle::inDeletion());
  t.settle();
  EXPECT_EQ(t->entrys(), 0u);
}

TEST(EntryInHwTable, FollowsTheResolvedEntryState) {
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  auto h = table->entryHandleIs(1, table.get());
  h->swTableIs(nullptr);  // cut loose: the state hooks leave the table alone
  for (auto [state, inHw] : {std::pair{State::unresolved, false}, {State::inProgress, true},
                             {State::indexReconciled, true}, {State::state3, false}, {State::success, true},
                             {State::failedNeededEntry, false}, {State::indexExhausted, false}}) {
    h->resolvedEntryStateIs(state);
    EXPECT_EQ(table->entryInHwTable(1), inHw) << state;
  }
  EXPECT_FALSE(table->entryInHwTable(2));
}

TEST(ProgrammedStateSwitch, IsOnForANonZeroDecimalNumberModulo2To32) {
  const std::pair<std::optional<std::string_view>, bool> cases[] = {
      {std::nullopt, false}, {"", false},   {"0", false},          {"yes", false},
      {"4294967296", false}, {"1", true},   {"4294967297", true},  {"12abc", true},
  };
  for (const auto& [value, on] : cases) EXPECT_EQ(Asic::programmedStateSwitchValue(value), on) << value.value_or("unset");
}

}  // namespace
}  // namespace VelarTest
