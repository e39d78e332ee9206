// Broken invariants of handle state handling and cleanup stop the agent,
// naming the condition and the accessor as its source.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "VelarL3Vfi/LocalDvpTable.h"

namespace {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using EntryHandle = LocalDvpTable::EntryHandle;
using State = Asic::SwTableBase::EntryState;

// A table without adaptor, past its replay, with a handle at key 1.
struct TableWithHandle {
  TableWithHandle() { table->configReplayCompleteIs(true); }
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  Quill::Ptr<EntryHandle> h = table->entryHandleIs(1, table.get());
};

// The report of a failed accessor assertion, as a regular expression.
std::string at(const std::string& condition) {
  std::string escaped;
  for (char c : condition) {
    if (std::string_view("()[]{}.*+?|^$\\").find(c) != std::string_view::npos) escaped += '\\';
    escaped += c;
  }
  return "assertion \"" + escaped + "\" failed at AsicSwTable/SwTableAccessor";
}

TEST(HandleStateDeathTest, AFailureStateOnAHandleInDeletionStops) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.h->entryTypeIs(EntryHandle::inDeletion());
        s.h->entryStateIs(State::success);  // accepted
        s.h->entryStateIs(State::failedNeededEntry);
      },
      "entryHandle->entryType\\(\\) != EntryHandle::inDeletion\\(\\)");
}

TEST(HandleStateDeathTest, AnInvalidEntryStateStops) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.h->entryStateIs(static_cast<State>(9));
      },
      "assertion \"0\" failed at AsicSwTable/SwTableAccessor");
}

TEST(HandleStateDeathTest, ASettledStateWithoutResolvedEntryStops) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.h->resolvedEntryStateIs(State::success);
      },
      "swTable_->resolvedEntryHas\\( key \\)");
}

TEST(HandleStateDeathTest, ASettledWriteBesideAnUnexpectedEntryStateStops) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.table->resolvedEntryIs(1, Entry(nullptr, 1));  // entry and resolved state inProgress
        s.h->entryStateIs(State::success);
        s.h->resolvedEntryStateIs(State::state3);
      },
      "entryState == unresolved\\(\\) \\|\\| entryState == failedNeededEntry\\(\\)");
}

TEST(HandleStateDeathTest, AWriteOrDeleteSettlingOtherThanSuccessStops) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.table->resolvedEntryIs(1, Entry(nullptr, 1));
        s.h->entryStateIs(State::unresolved);
        s.h->resolvedEntryStateIs(State::failedNeededEntry);
      },
      "resolvedEntryState == success\\(\\)");
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.table->resolvedEntryIs(1, Kiv::Optional<Entry>());
        s.h->resolvedEntryStateIs(State::indexExhausted);
      },
      "resolvedEntryState == success\\(\\)");
}

TEST(CleanupDeathTest, ACommittedHandleLosingItsLastUserInTheTableStops) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.h->entryTypeIs(EntryHandle::committed());
        s.h->ownerUseRelease();
        s.h = nullptr;
      },
      "unexpected entryType\nassertion \"eh->entryType\\(\\) == EntryHandle::referenceOnly\\(\\)\"");
}

TEST(CleanupDeathTest, AReferenceOnlyHandleLosingItsLastUserOutsideTheTableStops) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.h->entryTypeIs(EntryHandle::referenceOnly());
        s.table->entryHandleDel(1);
        s.h = nullptr;
      },
      at("swTable_->entryHandleHas( key )"));
}

TEST(CleanupDeathTest, ACommittedHandleLosingItsLastUserOutsideTheTableStops) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.h->entryTypeIs(EntryHandle::committed());
        s.table->entryHandleDel(1);
        s.h = nullptr;
      },
      at("0"));
}

TEST(CleanupDeathTest, ADanceWithoutResolvedValueNeedsTheWriteInProgress) {
  EXPECT_DEATH(
      {
        TableWithHandle s;
        s.h->entryTypeIs(EntryHandle::referenceOnly());
        s.h->pendingEntryEnq(Entry(nullptr, 1));
        s.h->resolvedEntryStateIs(State::indexReconciled);
        s.h->ownerUseRelease();
        s.h = nullptr;
      },
      "eh->resolvedEntryState\\(\\) == inProgress\\(\\)");
}

}  // namespace
