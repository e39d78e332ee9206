// LocalDvpTable through the generic interface, where the generic-interface
// scenario cannot reach: malformed requests, the write-response machine set
// and deleted by a tool, class-level methods.
#include "IntrospectionFixture.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Asic/HwTableRecoverGroup.h"
#include "platform/Ledger/Ledger.h"

namespace VelarL3Vfi::test {
namespace {

using TableInspect = IntrospectionTest;

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

}  // namespace
}  // namespace VelarL3Vfi::test
