// LocalDvpTable through the generic interface: every attribute, the result
// codes of absent values and keys, reads that must not create, methods and
// class-level methods with their arguments.
#include "IntrospectionFixture.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Asic/HwTableRecoverGroup.h"
#include "platform/Ledger/Ledger.h"

namespace VelarL3Vfi::test {
namespace {

using K = Quill::ValueKind;
using TableInspect = IntrospectionTest;

TEST_F(TableInspect, ConstantsAndEntrys) {
  programmed(1, 1);
  auto reference = table->getEntryHandle(2);  // another table refers to key 2: a handle, no entry
  const std::vector<std::pair<Quill::AttrId, std::string>> expected = {
      {TableAttr::isOwnedByMergeTable, "b0"}, {TableAttr::isExternalKeyType, "b0"},
      {TableAttr::setResolvedEntryBlockMetaDataDefinedByUser, "q0"},
      {TableAttr::setResolvedEntryMetaDataDefinedByUser, "q0"}, {TableAttr::readAccess, "b0"},
      {TableAttr::writeAccess, "b1"}, {TableAttr::entrys, "n2"}};
  for (const auto& [id, want] : expected) {
    Value out;
    ASSERT_EQ(ask(out, id, Op::read), Result::done) << id;
    const std::string got = out.kind() == K::boolean ? "b" + std::to_string(out.asBool())
                            : out.kind() == K::u64   ? "q" + std::to_string(out.asU64())
                                                     : "n" + std::to_string(out.asU32());
    EXPECT_EQ(got, want) << id;
  }
  // entrys counts handles, as entryHandle's count does, not committed entries.
  Value count;
  ASSERT_EQ(ask(count, TableAttr::entryHandle, Op::count), Result::done);
  EXPECT_EQ(count.asU32(), 2u);
  Value has;
  ASSERT_EQ(askKey(has, TableAttr::entry, Op::contains, 2), Result::done);
  EXPECT_FALSE(has.asBool());
}

// What each keyed read, lookup and contains answers: value present, slot
// without value, key absent.
TEST_F(TableInspect, KeyedCollectionsAnswerAbsentValuesAndKeysByResultCode) {
  programmed(5, 3);
  emptySlot(6);
  table->syncedEntryIs(5, Entry(nh, 4));
  struct Case {
    Quill::AttrId attr;
    std::uint32_t key;
    Result read, lookup;
    bool contains;
  };
  const Result ok = Result::done, noValue = Result::noValue, noKey = Result::noKey;
  for (const auto& c : std::vector<Case>{{TableAttr::resolvedEntry, 5, ok, ok, true},
                                         {TableAttr::resolvedEntry, 6, noValue, noValue, true},
                                         {TableAttr::resolvedEntry, 7, noValue, noKey, false},
                                         {TableAttr::syncedEntry, 5, ok, ok, true},
                                         {TableAttr::syncedEntry, 7, ok, noKey, false}}) {
    SCOPED_TRACE(std::to_string(c.attr) + " at " + std::to_string(c.key));
    Value out = Value::u32(77);  // failed reads leave the result area alone
    EXPECT_EQ(askKey(out, c.attr, Op::read, c.key), c.read);
    if (c.read != ok) {
      EXPECT_EQ(out.asU32(), 77u);
    }
    EXPECT_EQ(askKey(out, c.attr, Op::lookup, c.key), c.lookup);
    ASSERT_EQ(askKey(out, c.attr, Op::contains, c.key), ok);
    EXPECT_EQ(out.asBool(), c.contains);
  }
  Value out;
  ASSERT_EQ(askKey(out, TableAttr::resolvedEntry, Op::read, 5), Result::done);
  EXPECT_EQ(asEntry(out)->dvpNetworkGroup(), 3);
  EXPECT_EQ(asEntry(out)->localPortNextHop(), 70u);
  const auto uses = nh->useCount();
  out = Value();  // the copy held its own use of the next hop's handle
  EXPECT_EQ(nh->useCount(), uses - 1);
  ASSERT_EQ(askKey(out, TableAttr::syncedEntry, Op::read, 7), Result::done);
  EXPECT_FALSE(asEntry(out)->isNonDefault());
  for (auto [attr, n] : {std::pair{TableAttr::resolvedEntry, 2u}, std::pair{TableAttr::syncedEntry, 1u}}) {
    ASSERT_EQ(ask(out, attr, Op::count), Result::done);
    EXPECT_EQ(out.asU32(), n);
    ASSERT_EQ(ask(out, attr, Op::capacity), Result::done);
    EXPECT_EQ(out.asU32(), n);
  }
}

class Changes : public Quill::Observer {
 public:
  explicit Changes(Quill::Publisher* p) : publisher_(p) { publisher_->observerIs(this); }
  ~Changes() override { publisher_->observerDel(this); }
  void onChange(const Quill::Change&) override { ++count; }
  int count = 0;

 private:
  Quill::Publisher* publisher_;
};

TEST_F(TableInspect, NodeCollectionsYieldNodesAndReadsNeverCreate) {
  table->entryCommit(3, Entry(waiting, 1));  // waits for its next hop
  Changes changes(table->publisher());
  Value out;
  for (Op op : {Op::read, Op::lookup}) {
    ASSERT_EQ(askKey(out, TableAttr::entryHandle, op, 3), Result::done);
    EXPECT_EQ(out.kind(), K::node);
    EXPECT_EQ(out.asNode(), table->entryHandle(3).get());
    ASSERT_EQ(askKey(out, TableAttr::unresolvedEntry, op, 3), Result::done);
    EXPECT_EQ(out.kind(), K::related);
    EXPECT_EQ(out.asNode(), table->unresolvedEntry(3).get());
    EXPECT_EQ(out.asRelated().type, &typeData(kUnresolvedEntryType));
    for (Quill::AttrId attr : {TableAttr::entryHandle, TableAttr::unresolvedEntry}) {
      ASSERT_EQ(askKey(out, attr, op, 40), Result::done);
      EXPECT_EQ(out.asNode(), nullptr);
    }
  }
  for (Quill::AttrId attr : {TableAttr::entryHandle, TableAttr::unresolvedEntry}) {
    ASSERT_EQ(askKey(out, attr, Op::contains, 40), Result::done);
    EXPECT_FALSE(out.asBool());
    ASSERT_EQ(ask(out, attr, Op::capacity), Result::done);
    EXPECT_EQ(out.asU32(), 1u);
  }
  ASSERT_EQ(ask(out, TableAttr::unresolvedEntry, Op::count), Result::done);
  EXPECT_EQ(out.asU32(), 1u);
  EXPECT_EQ(table->entrys(), 1u);
  EXPECT_EQ(changes.count, 0);
}

TEST_F(TableInspect, EntryContainsAnswersEntryHasWhileReadAnswersEntry) {
  table->entryHandleIs(4, table.get())->entryTypeIs(EntryHandle::committed());
  emptySlot(4);  // a resolved slot without value under a committed handle
  table->entryHandleIs(5, table.get())->entryTypeIs(EntryHandle::inDeletion());
  table->unresolvedEntryIs(5)->entryIs(Entry(waiting, 9));  // readable, handle in deletion
  struct Case {
    std::uint32_t key;
    bool contains;
    int group;  // of what read yields; -1 the default entry
  };
  for (const auto& c : std::vector<Case>{{4, true, -1}, {5, false, 9}, {6, false, -1}}) {
    Value contains, read;
    ASSERT_EQ(askKey(contains, TableAttr::entry, Op::contains, c.key), Result::done);
    ASSERT_EQ(askKey(read, TableAttr::entry, Op::read, c.key), Result::done);
    EXPECT_EQ(contains.asBool(), c.contains) << c.key;
    EXPECT_EQ(asEntry(read)->isNonDefault() ? asEntry(read)->dvpNetworkGroup() : -1, c.group) << c.key;
  }
}

TEST_F(TableInspect, DuringTheDeleteDanceTheEntryIsGoneButTheSlotAndHardwareStay) {
  programmed(7, 2);
  table->entryRemove(7);  // its only user went: the dance writes an absent value
  ASSERT_EQ(table->entryHandle(7)->entryType(), EntryHandle::inDeletion());
  Value out;
  ASSERT_EQ(askKey(out, TableAttr::entry, Op::contains, 7), Result::done);
  EXPECT_FALSE(out.asBool());
  EXPECT_EQ(askKey(out, TableAttr::resolvedEntry, Op::lookup, 7), Result::noValue);
  ASSERT_EQ(askKey(out, TableAttr::entryInHwTable, Op::read, 7), Result::done);
  EXPECT_TRUE(out.asBool());
  confirm(7);
  EXPECT_EQ(askKey(out, TableAttr::resolvedEntry, Op::lookup, 7), Result::noKey);
  ASSERT_EQ(askKey(out, TableAttr::entryInHwTable, Op::read, 7), Result::done);
  EXPECT_FALSE(out.asBool());
}

TEST_F(TableInspect, CallsRunTheTablesOperations) {
  Value out;
  ASSERT_EQ(call(out, TableAttr::entryCommit, {Value::u32(12), record(Entry(nh, 6))}), Result::done);
  ASSERT_EQ(out.kind(), K::related);
  EXPECT_EQ(out.asNode(), table->entryHandle(12).get());
  EXPECT_EQ(out.asRelated().type, &typeData(kEntryHandleType));
  EXPECT_EQ(util->writes, std::vector<std::uint32_t>{12});
  ASSERT_EQ(call(out, TableAttr::entryHas, {Value::u32(12)}), Result::done);
  EXPECT_TRUE(out.asBool());
  confirm(12);
  for (auto [key, index] : {std::pair{12u, 12u}, std::pair{13u, 0xFFFFFFFFu}}) {
    ASSERT_EQ(call(out, TableAttr::hwIndexOnlyForCrossAgentCommunication, {Value::u32(key)}), Result::done);
    EXPECT_EQ(out.asU32(), index);
  }
  for (bool withAdaptor : {true, false}) {
    if (!withAdaptor) table->utilIs(nullptr);
    ASSERT_EQ(call(out, TableAttr::minIndex), Result::done);
    EXPECT_EQ(out.asU32(), withAdaptor ? 16u : 0u);
    ASSERT_EQ(call(out, TableAttr::maxIndex), Result::done);
    EXPECT_EQ(out.asU32(), withAdaptor ? 4095u : 0xFFFFFFFFu);
    ASSERT_EQ(call(out, TableAttr::util), Result::done);
    EXPECT_EQ(out.kind(), K::related);
    EXPECT_EQ(out.asNode(), withAdaptor ? util : nullptr);
  }
  out = Value();
  ASSERT_EQ(call(out, TableAttr::entryRemove, {Value::u32(12)}), Result::done);
  EXPECT_EQ(out.kind(), K::none);
  EXPECT_FALSE(table->entryHas(12));
  programmed(14, 1);
  ASSERT_EQ(call(out, TableAttr::entryRemoveAll), Result::done);
  EXPECT_FALSE(table->entryHas(14));
}

TEST_F(TableInspect, MalformedRequestsAreTheCallersErrorAndChangeNothing) {
  Value out;
  EXPECT_THROW(call(out, TableAttr::entryCommit, {Value::u32(1), Value::u32(2)}), ArgumentError);
  EXPECT_THROW(call(out, TableAttr::entryCommit, {Value::u32(1)}), ArgumentError);
  EXPECT_THROW(call(out, TableAttr::entryRemove, {Value::u8(1)}), ArgumentError);
  EXPECT_THROW(ask(out, TableAttr::resolvedEntry, Op::read), ArgumentError);  // no key
  auto handle = table->entryHandleIs(1, table.get());
  EXPECT_THROW(askType(kLocalDvpTableType, out, {handle.get(), nullptr}, TableAttr::entrys, Op::read), ArgumentError);
  EXPECT_THROW(askType(kEntryHandleType, out, {table.get(), nullptr}, 386, Op::read), ArgumentError);
  EXPECT_EQ(table->entrys(), 1u);
}

TEST_F(TableInspect, WriteResponseSmIsReadSetAndDeleted) {
  Value out;
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::read), Result::done);
  EXPECT_EQ(out.asNode(), nullptr);
  const Value swTable = Value::node(table);
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::set, &swTable), Result::done);
  EXPECT_EQ(out.asNode(), table->writeResponseSm().get());
  EXPECT_TRUE(table->writeResponseSm()->hasNotificationActive());
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::del), Result::done);
  EXPECT_EQ(table->writeResponseSm(), nullptr);
  EXPECT_FALSE(dynamic_cast<Asic::WriteResponseSm&>(*out.asNode()).hasNotificationActive());
  const Value notATable = Value::node(table->entryHandleIs(1, table.get()));
  EXPECT_THROW(ask(out, TableAttr::writeResponseSm, Op::set, &notATable), ArgumentError);
}

// A tool can point the table's state machine at another table and let that
// table go: the machine must not pass responses to it afterwards.
TEST_F(TableInspect, AWriteResponseSmOutlivingTheTableItServesDropsResponses) {
  Quill::Ptr<LocalDvpTable> other(new LocalDvpTable());
  other->utilIs(Quill::Ptr<Asic::SwTable::Util>(new TestUtil()));
  other->configReplayCompleteIs(true);
  other->entryCommit(7, Entry(nh, 1));
  auto otherHandle = other->entryHandle(7);
  Value out;
  {
    const Value served = Value::node(other);
    ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::set, &served), Result::done);
  }
  Quill::Ptr<Asic::WriteResponseSm> sm = table->writeResponseSm();
  ASSERT_EQ(sm->swTable(), other.get());
  confirm(7);  // reaches the other table's handle through the machine
  EXPECT_EQ(otherHandle->resolvedEntryState(), Asic::SwTableBase::EntryState::success);
  EXPECT_EQ(sm->responsesPassed(), 1u);

  otherHandle = nullptr;
  other = nullptr;
  EXPECT_EQ(sm->swTable(), nullptr);
  confirm(7);  // dropped
  EXPECT_EQ(sm->responsesPassed(), 2u);

  // The table's own machine goes before the table does: nothing is left to cut off.
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::del), Result::done);
  const Value self = Value::node(table);
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::set, &self), Result::done);
}

TEST_F(TableInspect, ClassLevelMethodsNeedNoTable) {
  auto classLevel = [](Quill::AttrId attr, const Values& args, Op op = Op::call) {
    Value out;
    return askType(kLocalDvpTableType, out, {}, attr, op, nullptr, nullptr, args);
  };
  auto mg = Ledger::MountGroup::MountGroupIs("generic");
  ASSERT_EQ(classLevel(TableAttr::doMountHwTableMountInfo, {Value::node(mg)}), Result::done);
  ASSERT_EQ(classLevel(TableAttr::doMountHwTableRecoveryStatus, {Value::node(mg)}), Result::done);
  ASSERT_EQ(mg->mounts().size(), 2u);
  EXPECT_EQ(mg->mounts()[0].what, "hwTableMountInfo");
  EXPECT_EQ(mg->mounts()[1].type, "VelarL3Vfi::LocalDvpTable::Util");
  auto rg = Asic::HwTableRecoverGroup::HwTableRecoverGroupIs("generic");
  ASSERT_EQ(classLevel(TableAttr::doRecoverHwTable,
                       {Value::node(rg), Value::u32(3), Value::node(Ledger::EntityManager::EntityManagerIs("em")),
                        Value::record(nullptr, Asic::ChipInfo{3, "", 0})}),
            Result::done);
  Asic::AdaptorRegistry::instance().hwTableIs("VelarL3Vfi::LocalDvpTable", nullptr);
  ASSERT_EQ(rg->recoveries().size(), 1u);
  EXPECT_EQ(rg->recoveries()[0].tableType, "VelarL3Vfi::LocalDvpTable");
  EXPECT_EQ(rg->recoveries()[0].unit, 3u);
  EXPECT_EQ(classLevel(TableAttr::doRecoverHwTable, {}, Op::read), Result::unsupported);
  // Instance attributes do need a table; a mount needs a group.
  EXPECT_THROW(classLevel(TableAttr::minIndex, {}), ArgumentError);
  EXPECT_THROW(classLevel(TableAttr::entrys, {}, Op::read), ArgumentError);
  EXPECT_THROW(classLevel(TableAttr::doMountHwTableMountInfo, {Value::node(nullptr)}), ArgumentError);
}

using TableInspectDeathTest = IntrospectionTest;

TEST_F(TableInspectDeathTest, EntryRemoveAllStopsTheAgentThroughTheGenericCallToo) {
  table->syncedEntryIs(3, Entry(nh, 1));  // a hardware entry read back, not yet purged
  Value out;
  EXPECT_DEATH(call(out, TableAttr::entryRemoveAll), "Should call purgeStaleEntries instead");
}

}  // namespace
}  // namespace VelarL3Vfi::test
