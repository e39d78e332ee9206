// The C++ facade (VelarL3Vfi/Inspect.h) as tools use it: requests by
// attribute name, results inspected in turn, walks, calls with textual
// arguments, and the text form of values.
#include <map>

#include "IntrospectionFixture.h"
#include "VelarL3Vfi/Inspect.h"
#include "platform/Kiv/Exceptions.h"
#include "platform/Ledger/Ledger.h"
#include "platform/Quill/NodeDirectory.h"

namespace VelarL3Vfi::test {
namespace {

namespace In = VelarL3Vfi::Inspect;
using Facade = IntrospectionTest;

TEST_F(Facade, RequestsByNameAndResultsInspectedInTurn) {
  programmed(3, 7);
  EXPECT_EQ(In::get(table, "entrys").value.asU32(), 1u);
  EXPECT_EQ(In::get(*table, "resolvedEntry", Value::u32(3)).value.recordIf<Entry>()->dvpNetworkGroup(), 7);
  const Value four = Value::u32(4);
  EXPECT_EQ(In::get(*table, "resolvedEntry", four).code, Result::noValue);
  EXPECT_EQ(In::request(*table, "resolvedEntry", Op::lookup, &four).code, Result::noKey);
  EXPECT_EQ(In::get(*table, "noSuchAttribute").code, Result::unknownAttr);
  EXPECT_EQ(In::call(*table, "noSuchMethod").code, Result::unknownAttr);
  EXPECT_EQ(In::get(*table, "handleEntry").code, Result::unsupported);

  auto committed = In::call(*table, "entryCommit", {Value::u32(8), In::entry(Entry(nh, 2))});
  ASSERT_TRUE(committed.ok());
  EXPECT_EQ(In::get(committed.value, "key").value.asU32(), 8u);
  EXPECT_EQ(In::request(committed.value, "pendingEntry", Op::count).value.asU32(), 0u);
  const auto adaptor = In::call(*table, "util");  // a const result is inspected too
  EXPECT_EQ(In::call(adaptor.value, "maxIndex").value.asU32(), 4095u);
  Value e = In::entry(Entry(nh, 1));  // a record is inspected, and set, in place
  EXPECT_TRUE(In::set(e, "dvpNetworkGroup", Value::u8(200)).ok());
  EXPECT_EQ(e.recordIf<Entry>()->dvpNetworkGroup(), 200);

  // Objects must be nodes (or records) of a loaded module's type.
  EXPECT_THROW(In::get(*nextHops, "entrys"), ArgumentError);
  const Value null = Value::node(nullptr), number = Value::u32(1);
  EXPECT_THROW(In::get(null, "key"), ArgumentError);
  EXPECT_THROW(In::get(number, "key"), ArgumentError);
}

TEST_F(Facade, WalksRangeOverStepsAndKeepTheObjectAlive) {
  programmed(1, 11);
  emptySlot(3);
  std::map<std::uint32_t, int> seen;
  for (const auto& step : In::walk(*table, "resolvedEntry")) {
    seen[step.key.asU32()] = step.value ? step.value->recordIf<Entry>()->dvpNetworkGroup() : -1;
  }
  EXPECT_EQ(seen, (std::map<std::uint32_t, int>{{1, 11}, {3, -1}}));
  for (std::string_view attr : {"entrys", "entryCommit", "noSuchAttribute"}) {
    EXPECT_FALSE(In::walk(*table, attr)) << attr;
    EXPECT_TRUE(In::walk(*table, attr).rest().empty()) << attr;
  }

  auto w = In::walk(*table, "entry");
  const auto live = LocalDvpTable::memAllocationTracker_.live();
  table = nullptr;  // the walk still holds the table
  EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), live);
  EXPECT_EQ(w.rest().size(), 1u);
  w = In::Walk();
  EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), live - 1);
}

TEST_F(Facade, TextArgumentsFollowTheParameterTypes) {
  const std::string hop = "@" + std::to_string(Quill::NodeDirectory::idOf(*nh));
  const std::string text = "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=" + hop;
  ASSERT_TRUE(In::callText(*table, "entryCommit", {"5", text + ", localPortNextHop=0, dvpNetworkGroup=9)"}).ok());
  EXPECT_EQ(table->entry(5).localPortNextHopHandle(), nh);
  EXPECT_EQ(In::toText(In::getText(*table, "resolvedEntry", "5").value),
            text + ", localPortNextHop=70, dvpNetworkGroup=9)");
  EXPECT_EQ(In::toText(In::getText(*table, "entryInHwTable", "5").value), "true");
  EXPECT_EQ(In::toText(In::callText(*table, "hwIndexOnlyForCrossAgentCommunication", {"6"}).value), "4294967295");

  Value e = In::entry(Entry());
  EXPECT_TRUE(In::setText(e, "localPortNextHopHandle", hop).ok());
  EXPECT_EQ(e.recordIf<Entry>()->localPortNextHopHandle(), nh);
  // A node value is set from what its constructor takes: the software table.
  EXPECT_TRUE(In::setText(*table, "writeResponseSm", "@" + std::to_string(Quill::NodeDirectory::idOf(*table))).ok());
  EXPECT_TRUE(table->writeResponseSm());

  EXPECT_THROW(In::callText(*table, "entryRemove", {}), ArgumentError);
  EXPECT_THROW(In::callText(*table, "entryCommit", {"1"}), ArgumentError);
  EXPECT_THROW(In::getText(*table, "noSuchAttribute"), ArgumentError);
  EXPECT_TRUE(In::callText(*table, "entryRemove", {"5"}).ok());
  EXPECT_EQ(table->entryHandle(5)->entryType(), EntryHandle::inDeletion());  // nobody else held it
}

TEST(FacadeText, ValuesRoundTripAndMalformedTextIsRefused) {
  using K = Quill::ValueKind;
  EXPECT_EQ(In::fromText(K::u8, "U8", "255").asU8(), 255);
  EXPECT_EQ(In::fromText(K::u64, "U64", "18446744073709551615").asU64(), 0xFFFFFFFFFFFFFFFFu);
  EXPECT_FALSE(In::fromText(K::boolean, "bool", "false").asBool());
  EXPECT_EQ(In::fromText(K::node, "Asic::SwTable", "null").asNode(), nullptr);
  const std::string entry =
      "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=null, localPortNextHop=3, dvpNetworkGroup=4)";
  EXPECT_EQ(In::toText(In::fromText(K::record, "VelarL3Vfi::LocalDvpTable::Entry", entry)), entry);
  EXPECT_EQ(In::toText(Value()), "none");
  EXPECT_EQ(In::toText(Value::record(nullptr, Asic::ChipInfo{})), "(record)");

  struct Bad {
    K kind;
    std::string_view type, text;
  };
  for (const auto& b : std::vector<Bad>{{K::u8, "U8", "256"}, {K::u32, "U32", "4294967296"},
                                        {K::u32, "U32", "-1"}, {K::u32, "U32", "12x"},
                                        {K::u32, "U32", ""}, {K::boolean, "bool", "yes"},
                                        {K::node, "Asic::SwTable", "17"}, {K::node, "Asic::SwTable", "@999999999"},
                                        {K::record, "Asic::ChipInfo", "unit=0"}}) {
    EXPECT_THROW(In::fromText(b.kind, b.type, b.text), ArgumentError) << b.text;
  }
  EXPECT_THROW(In::fromText(K::record, "VelarL3Vfi::LocalDvpTable::Entry", entry + "x"), Kiv::CodecError);
}

TEST_F(Facade, CreationClassLevelCallsAndDescriptions) {
  const auto* handleType = In::findType("VelarL3Vfi::LocalDvpTable::EntryHandle");
  ASSERT_NE(handleType, nullptr);
  auto made = In::construct(*handleType, {Value::u32(3), Value::node(table)});
  EXPECT_EQ(In::get(made.value, "key").value.asU32(), 3u);
  made = In::Outcome();
  EXPECT_EQ(In::construct(typeData(kUtilType)).code, Result::unsupported);
  EXPECT_THROW(In::newEntityForDir(typeData(kLocalDvpTableType), "x"), ArgumentError);
  EXPECT_THROW(In::newEntityForDir(typeData(kUtilLoaderType), "x", {Value::u32(1)}), Kiv::NewEntityArgsException);

  auto mg = Ledger::MountGroup::MountGroupIs("facade");
  EXPECT_TRUE(In::call(In::Object::ofType(typeData(kLocalDvpTableType)), "doMountHwTableMountInfo", {Value::node(mg)})
                  .ok());
  EXPECT_EQ(mg->mounts().size(), 1u);

  const auto& t = typeData(kLocalDvpTableType);
  EXPECT_EQ(In::describe(t, *t.attr("entryCommit")),
            "533 entryCommit : method, Asic::SwTableBase::EntryHandle (key: Asic::SwTableBase::Index, entry: "
            "VelarL3Vfi::LocalDvpTable::Entry) [call]");
  EXPECT_EQ(In::describe(t, *t.attr("cleanup")), "540 cleanup : method, listed []");
}

}  // namespace
}  // namespace VelarL3Vfi::test
