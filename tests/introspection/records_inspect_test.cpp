// Entry, EntryHandle, UnresolvedEntry, Util and UtilLoader through the
// generic interface, and the creation of objects from constructor arguments.
#include "IntrospectionFixture.h"
#include "VelarL3Vfi/UtilLoader.h"
#include "platform/Kiv/Exceptions.h"

namespace VelarL3Vfi::test {
namespace {

using Quill::Inspect::kWholeValue;

Result askEntry(Value& out, Value& entry, Quill::AttrId attr, Op op, const Value* operand = nullptr) {
  return askType(kEntryType, out, {nullptr, &entry}, attr, op, nullptr, operand);
}

using RecordInspect = IntrospectionTest;

TEST_F(RecordInspect, EntryAttributesReadAndWriteTheFields) {
  Value e = record(Entry(nh, 3, 70));
  Value out;
  ASSERT_EQ(askEntry(out, e, EntryAttr::getBlockSizeDefinedByUser, Op::read), Result::done);
  EXPECT_FALSE(out.asBool());
  ASSERT_EQ(askEntry(out, e, EntryAttr::numDependentFields, Op::read), Result::done);
  EXPECT_EQ(out.asU64(), 1u);
  ASSERT_EQ(askEntry(out, e, EntryAttr::localPortNextHop, Op::read), Result::done);
  EXPECT_EQ(out.asU32(), 70u);
  ASSERT_EQ(askEntry(out, e, EntryAttr::dvpNetworkGroup, Op::read), Result::done);
  EXPECT_EQ(out.asU8(), 3);
  ASSERT_EQ(askEntry(out, e, EntryAttr::localPortNextHopHandle, Op::read), Result::done);
  EXPECT_EQ(out.asNode(), nh.get());

  const Value hop = Value::u32(9), group = Value::u8(255);
  EXPECT_EQ(askEntry(out, e, EntryAttr::localPortNextHop, Op::set, &hop), Result::done);
  EXPECT_EQ(askEntry(out, e, EntryAttr::dvpNetworkGroup, Op::set, &group), Result::done);
  EXPECT_EQ(asEntry(e)->localPortNextHop(), 9u);
  EXPECT_EQ(asEntry(e)->dvpNetworkGroup(), 255);
  EXPECT_THROW(askEntry(out, e, EntryAttr::dvpNetworkGroup, Op::set, &hop), ArgumentError);  // 8 bits wide
  EXPECT_THROW(askEntry(out, e, EntryAttr::localPortNextHop, Op::set), ArgumentError);

  // Setting the handle takes a use of the new one and drops the old one's.
  out = Value();
  const auto nhUses = nh->useCount(), waitingUses = waiting->useCount();
  Value other = Value::node(Quill::Ptr<Asic::SwTableBase::EntryHandle>(
      const_cast<Asic::SwTableBase::EntryHandle*>(waiting.get())));
  ASSERT_EQ(askEntry(out, e, EntryAttr::localPortNextHopHandle, Op::set, &other), Result::done);
  other = Value();
  EXPECT_EQ(asEntry(e)->localPortNextHopHandle(), waiting);
  EXPECT_EQ(nh->useCount(), nhUses - 1);
  EXPECT_EQ(waiting->useCount(), waitingUses + 1);
  const Value notAHandle = Value::node(table);
  EXPECT_THROW(askEntry(out, e, EntryAttr::localPortNextHopHandle, Op::set, &notAHandle), ArgumentError);
  const Value none = Value::node(nullptr);
  ASSERT_EQ(askEntry(out, e, EntryAttr::localPortNextHopHandle, Op::set, &none), Result::done);
  EXPECT_FALSE(asEntry(e)->localPortNextHopHandle());
}

TEST_F(RecordInspect, WholeEntryComparisonsIgnoreLocalPortNextHop) {
  struct Case {
    Entry a;
    Op op;
    Entry b;
    bool expected;
  };
  const std::vector<Case> cases = {
      {Entry(nullptr, 0, 5), Op::nonDefault, {}, false}, {Entry(nullptr, 1), Op::nonDefault, {}, true},
      {Entry(nh, 0), Op::nonDefault, {}, true},          {Entry(nh, 2, 1), Op::equal, Entry(nh, 2, 99), true},
      {Entry(nh, 2), Op::equal, Entry(waiting, 2), false}, {Entry(nh, 2), Op::equal, Entry(nh, 3), false},
      {Entry(nullptr, 255), Op::less, Entry(nh, 0), true}, {Entry(nh, 0), Op::less, Entry(nullptr, 255), false},
      {Entry(nh, 0), Op::less, Entry(nh, 255), true},     {Entry(nh, 255), Op::less, Entry(nh, 0), false},
      {Entry(nh, 4, 1), Op::less, Entry(nh, 4, 2), false}, {Entry(nh, 4, 2), Op::less, Entry(nh, 4, 1), false}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    Value a = record(cases[i].a), out;
    const Value b = record(cases[i].b);
    ASSERT_EQ(askEntry(out, a, kWholeValue, cases[i].op, &b), Result::done) << i;
    EXPECT_EQ(out.asBool(), cases[i].expected) << "case " << i;
  }
  Value a = record(Entry()), out;
  const Value notAnEntry = Value::u32(1);
  EXPECT_THROW(askEntry(out, a, kWholeValue, Op::equal), ArgumentError);
  EXPECT_THROW(askEntry(out, a, kWholeValue, Op::less, &notAnEntry), ArgumentError);
}

TEST_F(RecordInspect, HandleKeySwTableAndPendingQueue) {
  auto h = table->entryHandleIs(22, table.get());
  auto askH = [&](Value& out, Quill::AttrId attr, Op op, const Value* key = nullptr, const Value* value = nullptr) {
    return askType(kEntryHandleType, out, {h.get(), nullptr}, attr, op, key, value);
  };
  Value out;
  ASSERT_EQ(askH(out, EntryHandleAttr::key, Op::read), Result::done);
  EXPECT_EQ(out.asU32(), 22u);
  ASSERT_EQ(askH(out, EntryHandleAttr::swTable, Op::read), Result::done);
  EXPECT_EQ(out.asNode(), table.get());
  out = Value();
  h->swTableIs(nullptr);  // cut loose
  ASSERT_EQ(askH(out, EntryHandleAttr::swTable, Op::read), Result::done);
  EXPECT_EQ(out.asNode(), nullptr);
  h->swTableIs(table.get());

  const auto q = EntryHandleAttr::pendingEntry;
  ASSERT_EQ(askH(out, q, Op::front), Result::done);  // an empty queue: the default entry
  EXPECT_FALSE(asEntry(out)->isNonDefault());
  for (std::uint8_t g : {1, 2, 3}) {
    const Value e = record(Entry(nh, g));
    ASSERT_EQ(askH(out, q, Op::enqueue, nullptr, &e), Result::done);
  }
  ASSERT_EQ(askH(out, q, Op::back), Result::done);
  EXPECT_EQ(asEntry(out)->dvpNetworkGroup(), 3);
  // Queued entries have no key: a keyed dequeue is refused and takes nothing.
  const Value key = Value::u32(1);
  out = Value();
  EXPECT_EQ(askH(out, q, Op::dequeue, &key), Result::unsupported);
  EXPECT_EQ(out.kind(), Quill::ValueKind::none);
  EXPECT_EQ(h->pendingEntryCount(), 3u);
  ASSERT_EQ(askH(out, q, Op::dequeue), Result::done);
  EXPECT_EQ(asEntry(out)->dvpNetworkGroup(), 1);
  ASSERT_EQ(askH(out, q, Op::front), Result::done);
  EXPECT_EQ(asEntry(out)->dvpNetworkGroup(), 2);
  ASSERT_EQ(askH(out, q, Op::count), Result::done);
  EXPECT_EQ(out.asU32(), 2u);
  const Value notAnEntry = Value::u32(4);
  EXPECT_THROW(askH(out, q, Op::enqueue, nullptr, &notAnEntry), ArgumentError);
  h->pendingEntryDelAll();
}

// A tool can queue any value on a handle, including one that names a handle
// of the same table: the table's teardown must still free them all (the
// fixture checks that no handle outlives the table).
TEST_F(RecordInspect, TeardownFreesHandlesThatPendingValuesOfTheTableHold) {
  programmed(1, 1);
  programmed(2, 2);
  {
    auto one = table->entryHandle(1);
    auto two = table->entryHandle(2);
    auto enqueue = [&](const Quill::Ptr<EntryHandle>& on, const Quill::Ptr<EntryHandle>& naming, std::uint8_t g) {
      Value out;
      const Value value = record(Entry(HandleRef(naming), g));
      return askType(kEntryHandleType, out, {on.get(), nullptr}, EntryHandleAttr::pendingEntry, Op::enqueue,
                     nullptr, &value);
    };
    ASSERT_EQ(enqueue(one, one, 3), Result::done);  // itself
    ASSERT_EQ(enqueue(one, two, 4), Result::done);  // and a pair that name each other
    ASSERT_EQ(enqueue(two, one, 5), Result::done);
    EXPECT_EQ(one->pendingEntryCount(), 2u);
  }
  table = nullptr;
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), handlesBefore);
}

TEST_F(RecordInspect, UnresolvedEntryIsReadAsACopyAndReplacedWhole) {
  table->entryCommit(40, Entry(waiting, 5));
  auto ue = table->unresolvedEntry(40);
  Value out;
  ASSERT_EQ(askType(kUnresolvedEntryType, out, {ue.get(), nullptr}, UnresolvedEntryAttr::key, Op::read), Result::done);
  EXPECT_EQ(out.asU32(), 40u);
  ASSERT_EQ(askType(kUnresolvedEntryType, out, {ue.get(), nullptr}, UnresolvedEntryAttr::entry, Op::read),
            Result::done);
  out.recordIf<Entry>()->dvpNetworkGroupIs(77);  // a copy: the stored entry keeps its group
  EXPECT_EQ(ue->entry().dvpNetworkGroup(), 5);
  const Value replacement = record(Entry(nh, 6, 70));
  ASSERT_EQ(askType(kUnresolvedEntryType, out, {ue.get(), nullptr}, UnresolvedEntryAttr::entry, Op::set, nullptr,
                    &replacement),
            Result::done);
  EXPECT_EQ(ue->entry().localPortNextHopHandle(), nh);
  EXPECT_EQ(ue->entry().localPortNextHop(), 70u);
  EXPECT_EQ(ue->entry().dvpNetworkGroup(), 6);
}

TEST_F(RecordInspect, UtilRunsOnlyItsThreeCallableMethods) {
  Value out;
  auto callU = [&](Quill::AttrId attr, const Values& args = {}) {
    return askType(kUtilType, out, {util, nullptr}, attr, Op::call, nullptr, nullptr, args);
  };
  ASSERT_EQ(callU(UtilAttr::minIndex), Result::done);
  EXPECT_EQ(out.asU32(), 16u);
  ASSERT_EQ(callU(UtilAttr::maxIndex), Result::done);
  EXPECT_EQ(out.asU32(), 4095u);
  ASSERT_EQ(callU(UtilAttr::dependentFieldValueToHwIndex, {Value::u32(0xFFFFFFFF)}), Result::done);
  EXPECT_EQ(out.asU32(), 0xFFFFFFFFu);
  EXPECT_THROW(callU(UtilAttr::dependentFieldValueToHwIndex), ArgumentError);
  EXPECT_EQ(callU(UtilAttr::hwTableEntryDel, {Value::node(table), Value::u32(1)}), Result::unsupported);
  EXPECT_TRUE(util->deletes.empty());
}

TEST_F(RecordInspect, RelatedNodeEncodingRefusesANodeBeingDestroyed) {
  auto h = table->entryHandleIs(60, table.get());
  Value out = Value::u32(1);
  h->nodeFlagSet(Quill::Node::kFlagLive, false);  // as its destructor does first
  EXPECT_EQ(Quill::Inspect::opResEncRelNode(out, h.get()), Result::noValue);
  h->nodeFlagSet(Quill::Node::kFlagLive, true);
  EXPECT_EQ(out.asU32(), 1u);
}

// --- creation -----------------------------------------------------------------------

TEST_F(RecordInspect, ConstructFromCtorArgs) {
  auto construct = [](TypeIndex type, Value& out, const Values& args) {
    return typeData(type).genericIf->constructFromCtorArgs(out, args);
  };
  Value out;
  ASSERT_EQ(construct(kEntryType, out, {}), Result::done);
  EXPECT_FALSE(asEntry(out)->isNonDefault());
  ASSERT_EQ(construct(kEntryType, out, {record(Entry(nullptr, 7, 8))}), Result::done);
  EXPECT_EQ(asEntry(out)->dvpNetworkGroup(), 7);
  EXPECT_EQ(asEntry(out)->localPortNextHop(), 8u);
  EXPECT_THROW(construct(kEntryType, out, {record(Entry()), record(Entry())}), ArgumentError);

  // A handle from key and table, not put in the table.
  const auto handles = EntryHandle::memAllocationTracker_.live();
  ASSERT_EQ(construct(kEntryHandleType, out, {Value::u32(31), Value::node(table)}), Result::done);
  auto& h = dynamic_cast<EntryHandle&>(*out.asNode());
  EXPECT_EQ(h.key().value, 31u);
  EXPECT_EQ(h.swTable(), table.get());
  EXPECT_EQ(h.useCount(), 1u);
  EXPECT_EQ(table->entrys(), 0u);
  out = Value();
  EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), handles);
  EXPECT_THROW(construct(kEntryHandleType, out, {Value::u32(33), Value::node(nextHops)}), ArgumentError);
  EXPECT_EQ(typeData(kUnresolvedEntryType).genericIf->constructFromCtorArgs, nullptr);

  // A table through the factory, and no arguments.
  const auto tables = LocalDvpTable::memAllocationTracker_.live();
  ASSERT_EQ(construct(kLocalDvpTableType, out, {}), Result::done);
  EXPECT_EQ(dynamic_cast<LocalDvpTable&>(*out.asNode()).useCount(), 1u);
  out = Value();
  EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), tables);
  EXPECT_THROW(construct(kLocalDvpTableType, out, {Value::u32(1)}), Kiv::NewEntityArgsException);
  EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), tables);
}

TEST(UtilLoaderInspect, NewEntityForDirMakesANamedLoaderAndRefusesArguments) {
  using Loader = LocalDvpTableUtilLoader;
  const auto& gi = *typeData(kUtilLoaderType).genericIf;
  const auto live = Loader::memAllocationTracker_.live();
  {
    auto made = gi.newEntityForDir("dir/loader", {});
    ASSERT_NE(dynamic_cast<Loader*>(made.get()), nullptr);
    EXPECT_EQ(dynamic_cast<Loader&>(*made).name().str(), "dir/loader");
    EXPECT_EQ(Loader::memAllocationTracker_.live(), live + 1);
  }
  EXPECT_EQ(Loader::memAllocationTracker_.live(), live);
  try {
    gi.newEntityForDir("dir/loader", Values{Value::string("extra")});
    ADD_FAILURE() << "arguments were accepted";
  } catch (const Kiv::NewEntityArgsException& e) {
    EXPECT_EQ(e.typeName(), "VelarL3Vfi::LocalDvpTable::UtilLoader");
  }
  EXPECT_EQ(Loader::memAllocationTracker_.live(), live);
}

}  // namespace
}  // namespace VelarL3Vfi::test
