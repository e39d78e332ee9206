// Every assertion of the table stops the agent with its condition (and, for
// a soft assertion, its message first). One death test each, table-driven:
// the set-up that breaks the invariant, and what the report must contain.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/Support.h"

namespace VelarTest {
namespace {

// A table without adaptor, past its replay, with a handle at key 1.
struct Bare {
  Bare() { table->configReplayCompleteIs(true); }
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  Quill::Ptr<EntryHandle> h = table->entryHandleIs(1, table.get());
};

// Writes and deletes through the accessor with the given change kind, on a
// table whose adaptor records the calls.
void hwWrite(std::uint8_t kind, bool del) {
  Bare s;
  s.table->utilIs(Quill::Ptr<Asic::SwTable::Util>(new RecordingUtil()));
  LocalDvpTable::Accessor a(s.table.get());
  s.table->resolvedChangeKindIs(kind);
  del ? a.hwTableEntryDel(a.utilIfExists(), 1, {}) : a.hwTableEntryIs(a.utilIfExists(), 1, {});
}

// The handle of a key with a value, in `entryState`, is settled in `resolved`.
void settled(State entryState, State resolved) {
  Bare s;
  s.table->resolvedEntryIs(1, Entry(nullptr, 1));
  s.h->entryStateIs(entryState);
  s.h->resolvedEntryStateIs(resolved);
}

// The handle of the given type loses its place in the table, then its last user.
void lastUserOutside(auto type) {
  Bare s;
  s.h->entryTypeIs(type);
  s.table->entryHandleDel(1);
  s.h = nullptr;
}

struct Case {
  const char* name;
  std::function<void()> run;
  const char* report;  // a regular expression
};

const Case kCases[] = {
    {"failureStateInDeletion", [] {
       Bare s;
       s.h->entryTypeIs(EntryHandle::inDeletion());
       s.h->entryStateIs(State::success);  // accepted
       s.h->entryStateIs(State::failedNeededEntry);
     }, R"(entryHandle->entryType\(\) != EntryHandle::inDeletion\(\))"},
    {"invalidEntryState", [] { Bare().h->entryStateIs(static_cast<State>(9)); },
     "assertion \"0\" failed at AsicSwTable/SwTableAccessor"},
    {"settledWithoutResolvedEntry", [] { Bare().h->resolvedEntryStateIs(State::success); },
     "swTable_->resolvedEntryHas\\( key \\)"},
    {"settledBesideUnexpectedEntryState", [] { settled(State::success, State::state3); },
     R"(entryState == unresolved\(\) \|\| entryState == failedNeededEntry\(\))"},
    {"settledOtherThanSuccess", [] { settled(State::unresolved, State::failedNeededEntry); },
     "resolvedEntryState == success\\(\\)"},
    {"committedHandleLastUserInTable", [] {
       Bare s;
       s.h->entryTypeIs(EntryHandle::committed());
       s.h->ownerUseRelease();
       s.h = nullptr;
     }, "unexpected entryType\nassertion \"eh->entryType\\(\\) == EntryHandle::referenceOnly\\(\\)\""},
    {"referenceOnlyLastUserOutsideTable", [] { lastUserOutside(EntryHandle::referenceOnly()); },
     "assertion \"swTable_->entryHandleHas\\( key \\)\" failed at AsicSwTable/SwTableAccessor"},
    {"committedLastUserOutsideTable", [] { lastUserOutside(EntryHandle::committed()); },
     "assertion \"0\" failed at AsicSwTable/SwTableAccessor"},
    {"danceWithoutValueNeedsWriteInProgress", [] {
       Bare s;
       s.h->entryTypeIs(EntryHandle::referenceOnly());
       s.h->pendingEntryEnq(Entry(nullptr, 1));
       s.h->resolvedEntryStateIs(State::indexReconciled);
       s.h->ownerUseRelease();
       s.h = nullptr;
     }, R"(eh->resolvedEntryState\(\) == inProgress\(\))"},
    {"absentValueOverNoWrittenValue", [] { hwWrite(1, false); },
     "assertion \"false\" failed at AsicSwTable/SwTableAccessor"},
    {"deleteOfKeyWithoutSlot", [] { hwWrite(0, true); },
     "assertion \"false\" failed at AsicSwTable/SwTableAccessor"},
    {"syncAfterResolvedEntry", [] {
       ChipTable t;
       t->entryCommit(5, Entry(nullptr, 1));
       t->syncEntries();
     }, "assertion \"!swTable_->resolvedEntrys\\(\\)\" failed"},
    {"syncWithoutHardwareTable", [] { Bare().table->syncEntries(); }, "assertion \"hwTable\\(\\)\" failed"},
    {"resolvingWhileWatching", [] {
       ChipTable t;
       t->entryCommit(5, Entry(t.nextHops->handleIs(2), 1));
       t->unresolvedEntry(5)->doResolve();
     }, R"(function should not have been called[^"]*assertion "ue->neededEntryHandleSms\(\) == 0" failed)"},
    {"removeAllBeforePurge", [] {
       ChipTable t;
       t->syncedEntryIs(3, Entry(nullptr, 1));
       t->entryRemoveAll();
     }, "Should call purgeStaleEntries instead\nassertion \"false\" failed at AsicSwTable/SwTableAccessor"},
    {"staleCopyAtExhaustedIndex", [] {
       ChipTable t("", true);
       t->syncedEntryIs(0xFFFFFFFF, Entry(nullptr, 1));
       t->purgeStaleEntries();
     }, "!isExhausted\\( hwIndex \\)"},
};

std::string caseName(const ::testing::TestParamInfo<Case>& test) { return test.param.name; }

class Assertion : public ::testing::TestWithParam<Case> {};

TEST_P(Assertion, StopsTheAgentNamingItsCondition) { EXPECT_DEATH(GetParam().run(), GetParam().report); }

INSTANTIATE_TEST_SUITE_P(Table, Assertion, ::testing::ValuesIn(kCases), caseName);

}  // namespace
}  // namespace VelarTest
