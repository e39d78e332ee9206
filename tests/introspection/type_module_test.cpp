// The type module: its six types and 48 attributes, with the operations each
// accepts. Every generic request checks the operation against this data
// first (Quill::Inspect::checkOperation), so the table is the check of what
// is refused as unsupported too.
#include <set>
#include <string_view>

#include <gtest/gtest.h>

#include "VelarL3Vfi/TypeModule.h"
#include "platform/Quill/GenericIf.h"

namespace VelarL3Vfi {
namespace {

using Quill::Inspect::Op;

using Quill::AttrKind;
using Ops = std::set<Op>;

// The attribute table as the runtime must see it.
struct AttrCase {
  TypeIndex type;
  Quill::AttrId id;
  std::string_view name;
  AttrKind kind;
  Ops ops;  // empty: a listed method
  bool iterable = false;
};

const Ops kRead{Op::read}, kCall{Op::call}, kListed{}, kRw{Op::read, Op::set};
const Ops kStored{Op::read, Op::lookup, Op::count, Op::capacity, Op::contains};
constexpr auto E = kEntryType, H = kEntryHandleType, U = kUnresolvedEntryType, UT = kUtilType,
               T = kLocalDvpTableType;
constexpr auto Const = AttrKind::constant, Val = AttrKind::value, Meth = AttrKind::method,
               Static = AttrKind::staticMethod;

const std::vector<AttrCase> kAttributes = {
    {E, 130, "getBlockSizeDefinedByUser", Const, kRead}, {E, 131, "numDependentFields", Const, kRead},
    {E, 132, "localPortNextHopHandle", Val, kRw}, {E, 133, "localPortNextHop", Val, kRw},
    {E, 134, "dvpNetworkGroup", Val, kRw},
    {H, 386, "key", Val, kRead}, {H, 387, "swTable", Val, kRead},
    {H, 389, "pendingEntry", AttrKind::queue, {Op::count, Op::front, Op::back, Op::enqueue, Op::dequeue}, true},
    {H, 390, "cleanup", Meth, kListed},
    {U, 386, "key", Val, kRead}, {U, 387, "entry", Val, kRw},
    {UT, 514, "minIndex", Meth, kCall}, {UT, 515, "maxIndex", Meth, kCall},
    {UT, 516, "hwTableEntryIs", Meth, kListed}, {UT, 517, "hwTableEntryDel", Meth, kListed},
    {UT, 518, "updateHwIndexRefCountTracker", Meth, kListed}, {UT, 519, "compareHwEntries", Meth, kListed},
    {UT, 520, "syncEntries", Meth, kListed}, {UT, 521, "getHwIndex", Static, kListed},
    {UT, 522, "hwIndexForDependentField", Meth, kListed},
    {UT, 523, "dependentFieldValueToHwIndex", Meth, kCall},
    {T, 514, "isOwnedByMergeTable", Const, kRead}, {T, 515, "isExternalKeyType", Const, kRead},
    {T, 516, "setResolvedEntryBlockMetaDataDefinedByUser", Const, kRead},
    {T, 517, "setResolvedEntryMetaDataDefinedByUser", Const, kRead},
    {T, 518, "entryHas", Meth, kCall}, {T, 519, "resolvedEntry", AttrKind::collection, kStored, true},
    {T, 520, "entry", AttrKind::view, {Op::read, Op::contains}, true},
    {T, 521, "entryInHwTable", AttrKind::view, kRead},
    {T, 522, "syncedEntry", AttrKind::collection, kStored, true}, {T, 523, "entryRemoveAll", Meth, kCall},
    {T, 524, "minIndex", Meth, kCall}, {T, 525, "maxIndex", Meth, kCall},
    {T, 526, "handleEntry", Meth, kListed}, {T, 527, "readAccess", Const, kRead},
    {T, 528, "writeAccess", Const, kRead}, {T, 529, "entryHandle", AttrKind::nodeCollection, kStored, true},
    {T, 530, "unresolvedEntry", AttrKind::nodeCollection, kStored, true}, {T, 531, "entrys", Val, kRead},
    {T, 532, "entryRemove", Meth, kCall}, {T, 533, "entryCommit", Meth, kCall},
    {T, 534, "writeResponseSm", AttrKind::nodeValue, {Op::read, Op::set, Op::del}},
    {T, 535, "hwIndexOnlyForCrossAgentCommunication", Meth, kCall}, {T, 536, "util", Meth, kCall},
    {T, 537, "doMountHwTableMountInfo", Static, kCall}, {T, 539, "doRecoverHwTable", Static, kCall},
    {T, 538, "doMountHwTableRecoveryStatus", Static, kCall}, {T, 540, "cleanup", Meth, kListed},
};

const std::vector<Op> kAllOps = {Op::read,    Op::set,     Op::del,  Op::count,      Op::capacity,
                                 Op::contains, Op::front,  Op::back, Op::enqueue,    Op::dequeue,
                                 Op::call,    Op::nonDefault, Op::equal, Op::less,   Op::lookup};

TEST(TypeModule, AttributeTableMatchesIdsNamesKindsAndOperations) {
  const auto& module = typeModule();
  std::set<const Quill::AttrData*> covered;
  for (const auto& c : kAttributes) {
    const auto& type = typeData(c.type);
    SCOPED_TRACE(std::string(type.name) + "." + std::string(c.name));
    const auto* attr = type.attr(c.id);
    ASSERT_NE(attr, nullptr);
    covered.insert(attr);
    EXPECT_EQ(type.attr(c.name), attr);
    EXPECT_EQ(module.name(attr->name), c.name);
    EXPECT_EQ(attr->kind, c.kind);
    EXPECT_EQ(attr->iterable(), c.iterable);
    EXPECT_EQ(attr->listed(), c.ops.empty());
    for (Op op : kAllOps) EXPECT_EQ(attr->accepts(static_cast<unsigned>(op)), c.ops.count(op) == 1) << opName(op);
  }
  EXPECT_EQ(covered.size(), module.attrs().size()) << "an attribute of the module is missing from this table";
}

}  // namespace
}  // namespace VelarL3Vfi
