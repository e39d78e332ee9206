// Every change of a collection goes out once, through the owner's publisher,
// with the key and the value held before it; a change that changes nothing
// publishes nothing. Each case is a few mutations and the publications an
// observer sees, one line each: "FIELD [KEY] was PREVIOUS".
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/Kiv/Exceptions.h"
#include "tests/support/Support.h"

namespace VelarTest {
namespace {

std::string entryText(const Entry& e) { return "group=" + std::to_string(e.dvpNetworkGroup()); }

class Recorder : public Quill::Observer {
 public:
  ~Recorder() override { for (auto* p : publishers_) p->observerDel(this); }
  void watch(Quill::Publisher* p) {
    p->observerIs(this);
    publishers_.push_back(p);
  }

  void onChange(const Quill::Change& c) override {
    auto at = [&](const char* field) { return field + (" " + std::to_string(static_cast<const Index*>(c.key)->value)); };
    switch (c.field) {
      case LocalDvpTable::kResolvedEntryId: {
        const auto& prev = *static_cast<const Kiv::Optional<Entry>*>(c.previous);
        return was(at("resolvedEntry"), prev.present() ? entryText(*prev) : "absent");
      }
      case LocalDvpTable::kSyncedEntryId:
        return was(at("syncedEntry"), entryText(*static_cast<const Entry*>(c.previous)));
      case LocalDvpTable::kEntryHandleId:
        return was(at("entryHandle"), nodeWas<EntryHandle>(c));
      case LocalDvpTable::kUnresolvedEntryId:
        return was(at("unresolvedEntry"), nodeWas<LocalDvpTable::UnresolvedEntry>(c));
      case LocalDvpTable::kWriteResponseSmId:
        return was("writeResponseSm", nodeWas<Asic::WriteResponseSm>(c));
      case EntryHandle::kSwTableId:
        return was("swTable", *static_cast<LocalDvpTable* const*>(c.previous) == nullptr ? "null" : "node");
      case EntryHandle::kPendingEntryId:
        return lines.push_back("pendingEntry " + std::to_string(*static_cast<const std::uint32_t*>(c.key)));
      default:
        lines.push_back("field " + std::to_string(c.field));
    }
  }

  Lines lines;

 private:
  void was(const std::string& field, const std::string& previous) { lines.push_back(field + " was " + previous); }
  // Whether the node a collection member held before the change was there.
  template <class T>
  static std::string nodeWas(const Quill::Change& c) {
    return static_cast<const Quill::Ptr<T>*>(c.previous)->get() == nullptr ? "null" : "node";
  }

  std::vector<Quill::Publisher*> publishers_;
};

struct Scene {
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  Quill::Ptr<LocalDvpTable> other{new LocalDvpTable()};
  Entry::HandlePtr nh = neededHandle();
  Recorder recorder;
  Entry e(std::uint8_t group, Asic::Index nextHop = 0) const { return Entry(nh, group, nextHop); }
  // Key 1's handle, its own publisher observed too.
  Quill::Ptr<EntryHandle> handle() {
    auto h = table->entryHandleIs(1, table.get());
    recorder.watch(h->publisher());
    recorder.lines.clear();
    return h;
  }
};

struct Case {
  const char* name;
  std::function<void(Scene&)> run;
  Lines published;
  bool anyOrder = false;  // bulk removal walks the collection in its own order
};

const Case kCases[] = {
    {"resolvedInsertReplaceDelete", [](Scene& s) {
       s.table->resolvedEntryIs(5, s.e(1));
       s.table->resolvedEntryIs(5, s.e(2));
       EXPECT_EQ(s.table->resolvedEntryDel(5).value(), s.e(2));
     }, {"resolvedEntry 5 was absent", "resolvedEntry 5 was group=1", "resolvedEntry 5 was group=2"}},
    {"resolvedNoChange", [](Scene& s) {
       s.table->resolvedEntryIs(1, s.e(1, 10));
       s.table->resolvedEntryIs(2, Kiv::Optional<Entry>());
       s.table->resolvedEntryIs(1, s.e(1, 99));  // only the derived index differs
       s.table->resolvedEntryIs(2, Kiv::Optional<Entry>());
       EXPECT_FALSE(s.table->resolvedEntryDel(77).present());
       EXPECT_EQ(s.table->resolvedEntry(1)->localPortNextHop(), 10u);
     }, {"resolvedEntry 1 was absent", "resolvedEntry 2 was absent"}},
    {"resolvedValueOverAbsent", [](Scene& s) {
       s.table->resolvedEntryIs(3, Kiv::Optional<Entry>());
       s.table->resolvedEntryIs(3, s.e(4));
     }, {"resolvedEntry 3 was absent", "resolvedEntry 3 was absent"}},
    {"resolvedDelAll", [](Scene& s) {
       for (std::uint32_t k = 0; k < 3; ++k) s.table->resolvedEntryIs(k, s.e(1));
       s.table->resolvedEntryDelAll();
       EXPECT_EQ(s.table->resolvedEntrys(), 0u);
     }, {"resolvedEntry 0 was absent", "resolvedEntry 1 was absent", "resolvedEntry 2 was absent",
      "resolvedEntry 0 was group=1", "resolvedEntry 1 was group=1", "resolvedEntry 2 was group=1"},
     true},
    {"syncedValues", [](Scene& s) {
       s.table->syncedEntryIs(9, s.e(1, 5));
       s.table->syncedEntryIs(9, s.e(1, 6));  // equal
       s.table->syncedEntryIs(9, s.e(2));
       EXPECT_EQ(s.table->syncedEntry(9).localPortNextHop(), 0u);
       EXPECT_EQ(s.table->syncedEntryDel(10), Entry());
       EXPECT_EQ(s.table->syncedEntryDel(9), s.e(2));
     }, {"syncedEntry 9 was group=0", "syncedEntry 9 was group=1", "syncedEntry 9 was group=2"}},
    {"syncedDelAll", [](Scene& s) {
       for (std::uint32_t k = 0; k < 2; ++k) s.table->syncedEntryIs(k, s.e(1));
       s.table->syncedEntryDelAll();
     }, {"syncedEntry 0 was group=0", "syncedEntry 1 was group=0", "syncedEntry 0 was group=1",
      "syncedEntry 1 was group=1"},
     true},
    {"entryHandleFindOrCreate", [](Scene& s) {
       auto h = s.table->entryHandleIs(4, s.table.get());
       EXPECT_EQ(s.table->entryHandleIs(4, s.table.get()), h);
       EXPECT_EQ(h->useCount(), 2u);  // the collection and this test
       EXPECT_EQ(s.table->entryHandleDel(4), h);
       EXPECT_FALSE(s.table->entryHandleDel(4));
     }, {"entryHandle 4 was null", "entryHandle 4 was node"}},
    {"entryHandleOfAnotherTable", [](Scene& s) {
       auto h = s.table->entryHandleIs(4, s.table.get());
       try {
         s.table->entryHandleIs(4, s.other.get());
         ADD_FAILURE() << "a handle was bound to another table";
       } catch (const Kiv::MutatorReinstantiatingException& e) {
         EXPECT_EQ(e.attrId(), 387u);
       }
       EXPECT_EQ(h->swTable(), s.table.get());
     }, {"entryHandle 4 was null"}},
    {"unresolvedFindOrCreate", [](Scene& s) {
       auto u = s.table->unresolvedEntryIs(8);
       EXPECT_EQ(s.table->unresolvedEntryIs(8), u);
       EXPECT_EQ(u->parent(), s.table.get());
       s.table->unresolvedEntryIs(9);
       s.table->unresolvedEntryDelAll();
       EXPECT_FALSE(s.table->unresolvedEntryDel(8));
     }, {"unresolvedEntry 8 was null", "unresolvedEntry 9 was null", "unresolvedEntry 8 was node",
      "unresolvedEntry 9 was node"},
     true},
    {"writeResponseSmOneTableAtATime", [](Scene& s) {
       auto sm = s.table->writeResponseSmIs(s.table.get());
       EXPECT_EQ(s.table->writeResponseSmIs(s.table.get()), sm);
       auto replaced = s.table->writeResponseSmIs(s.other.get());
       EXPECT_EQ(replaced->swTable(), s.other.get());
       EXPECT_EQ(s.table->writeResponseSmDel(), replaced);
       EXPECT_FALSE(replaced->hasNotificationActive());
       EXPECT_FALSE(s.table->writeResponseSmDel());
     }, {"writeResponseSm was null", "writeResponseSm was node", "writeResponseSm was node"}},
    {"swTableOnlyOnAChange", [](Scene& s) {
       auto h = s.handle();
       h->swTableIs(s.table.get());
       h->swTableIs(nullptr);
     }, {"swTable was node"}},
    {"pendingQueueNumbersEveryStep", [](Scene& s) {
       auto h = s.handle();
       EXPECT_EQ(h->pendingEntryDeq(), Entry());  // never used: nothing to publish
       for (std::uint8_t g = 1; g <= 3; ++g) h->pendingEntryEnq(s.e(g));
       EXPECT_EQ(h->pendingEntry(2), s.e(2));
       for (std::uint8_t g = 1; g <= 3; ++g) EXPECT_EQ(h->pendingEntryDeq(), s.e(g));
       EXPECT_EQ(h->pendingEntryDeq(), Entry());
       h->pendingEntryEnq(s.e(9));
     }, {"pendingEntry 1", "pendingEntry 2", "pendingEntry 3", "pendingEntry 1", "pendingEntry 2",
         "pendingEntry 3", "pendingEntry 4"}},
    {"pendingDelAllFrontToBack", [](Scene& s) {
       auto h = s.handle();
       for (std::uint8_t g = 1; g <= 3; ++g) h->pendingEntryEnq(s.e(g));
       h->pendingEntryDeq();
       s.recorder.lines.clear();
       h->pendingEntryDelAll();
       h->pendingEntryEnq(s.e(4));
     }, {"pendingEntry 2", "pendingEntry 3", "pendingEntry 4"}},
};

std::string caseName(const ::testing::TestParamInfo<Case>& test) { return test.param.name; }

class Publication : public ::testing::TestWithParam<Case> {};

TEST_P(Publication, CarriesTheKeyAndThePreviousValue) {
  LeakCheck leaks;
  {
    Scene s;
    s.recorder.watch(s.table->publisher());
    GetParam().run(s);
    Lines got = s.recorder.lines;
    Lines want = GetParam().published;
    if (GetParam().anyOrder) {
      std::sort(got.begin(), got.end());
      std::sort(want.begin(), want.end());
    }
    EXPECT_EQ(got, want);
  }
  EXPECT_EQ(leaks.leaks(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Table, Publication, ::testing::ValuesIn(kCases), caseName);

}  // namespace
}  // namespace VelarTest
