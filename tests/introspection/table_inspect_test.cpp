// LocalDvpTable through the generic interface, where the generic-interface
// scenario cannot reach: malformed requests, the write-response machine set
// and deleted by a tool, class-level methods.
#include <gtest/gtest.h>

#include <memory>

#include "VelarL3Vfi/TypeModule.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Asic/HwTableRecoverGroup.h"
#include "platform/Ledger/Ledger.h"
#include "platform/Quill/GenericIf.h"
#include "tests/support/LeakChecked.h"

namespace VelarTest {
namespace {

using Quill::Inspect::ArgumentError;
using Quill::Inspect::Op;
using Quill::Inspect::Result;
using Quill::Inspect::Value;
using Values = std::vector<Value>;
namespace TableAttr = VelarL3Vfi::TableAttr;

// A raw request to the table's type: on `node`, or at class level without one.
Result askTable(Value& out, Quill::Node* node, Quill::AttrId attr, Op op, const Value* value = nullptr,
                const Values& args = {}) {
  return VelarL3Vfi::typeData(VelarL3Vfi::kLocalDvpTableType)
      .genericIf->inspectOperation(out, {node, nullptr}, attr, op, nullptr, {value, args});
}

class TableInspect : public LeakChecked {
 protected:
  void TearDown() override {
    chip.reset();  // before the leak check
    LeakChecked::TearDown();
  }
  Result ask(Value& out, Quill::AttrId attr, Op op, const Value* value = nullptr) {
    return askTable(out, table, attr, op, value);
  }
  Result call(Value& out, Quill::AttrId attr, const Values& args) {
    return askTable(out, table, attr, Op::call, nullptr, args);
  }
  std::unique_ptr<ChipTable> chip = std::make_unique<ChipTable>();
  LocalDvpTable* table = chip->table.get();
};

TEST_F(TableInspect, MalformedRequestsAreTheCallersErrorAndChangeNothing) {
  Value out;
  EXPECT_THROW(call(out, TableAttr::entryCommit, {Value::u32(1), Value::u32(2)}), ArgumentError);
  EXPECT_THROW(call(out, TableAttr::entryCommit, {Value::u32(1)}), ArgumentError);
  EXPECT_THROW(call(out, TableAttr::entryRemove, {Value::u8(1)}), ArgumentError);
  EXPECT_THROW(ask(out, TableAttr::resolvedEntry, Op::read), ArgumentError);  // no key
  auto handle = table->entryHandleIs(1, table);
  EXPECT_THROW(askTable(out, handle.get(), TableAttr::entrys, Op::read), ArgumentError);
  EXPECT_THROW(VelarL3Vfi::typeData(VelarL3Vfi::kEntryHandleType)
                   .genericIf->inspectOperation(out, {table, nullptr}, 386, Op::read, nullptr, {}),
               ArgumentError);
  EXPECT_EQ(table->entrys(), 1u);
}

TEST_F(TableInspect, WriteResponseSmIsReadSetAndDeleted) {
  Value out;
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::read), Result::done);
  EXPECT_EQ(out.asNode(), table->writeResponseSm().get());
  const Value swTable = Value::node(chip->table);
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::set, &swTable), Result::done);
  EXPECT_EQ(out.asNode(), table->writeResponseSm().get());
  EXPECT_TRUE(table->writeResponseSm()->hasNotificationActive());
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::del), Result::done);
  EXPECT_EQ(table->writeResponseSm(), nullptr);
  EXPECT_FALSE(dynamic_cast<Asic::WriteResponseSm&>(*out.asNode()).hasNotificationActive());
  const Value notATable = Value::node(table->entryHandleIs(1, table));
  EXPECT_THROW(ask(out, TableAttr::writeResponseSm, Op::set, &notATable), ArgumentError);
}

// A tool can point the table's state machine at another table and let that
// table go: the machine must not pass responses to it afterwards.
TEST_F(TableInspect, AWriteResponseSmOutlivingTheTableItServesDropsResponses) {
  Quill::Ptr<LocalDvpTable> other(new LocalDvpTable());
  other->utilIs(Quill::Ptr<Asic::SwTable::Util>(new RecordingUtil()));
  other->configReplayCompleteIs(true);
  other->entryCommit(7, Entry(chip->nextHop(1, 70), 1));
  auto otherHandle = other->entryHandle(7);
  Value out;
  {
    const Value served = Value::node(other);
    ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::set, &served), Result::done);
  }
  Quill::Ptr<Asic::WriteResponseSm> sm = table->writeResponseSm();
  ASSERT_EQ(sm->swTable(), other.get());
  const Asic::WriteResponseRecord response{7, 7};
  table->hwWriteResponseIs(&response, sizeof response);  // reaches the other table's handle
  EXPECT_EQ(otherHandle->resolvedEntryState(), Asic::SwTableBase::EntryState::success);
  EXPECT_EQ(sm->responsesPassed(), 1u);

  otherHandle = nullptr;
  other = nullptr;
  EXPECT_EQ(sm->swTable(), nullptr);
  table->hwWriteResponseIs(&response, sizeof response);  // dropped
  EXPECT_EQ(sm->responsesPassed(), 2u);

  // The table's own machine goes before the table does: nothing is left to cut off.
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::del), Result::done);
  const Value self = Value::node(chip->table);
  ASSERT_EQ(ask(out, TableAttr::writeResponseSm, Op::set, &self), Result::done);
}

TEST_F(TableInspect, ClassLevelMethodsNeedNoTable) {
  auto classLevel = [](Quill::AttrId attr, const Values& args, Op op = Op::call) {
    Value out;
    return askTable(out, nullptr, attr, op, nullptr, args);
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
}  // namespace VelarTest
