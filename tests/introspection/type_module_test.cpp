// The type module's attribute table: every type's attributes with id, name,
// kind and flags, in declaration order, and nothing else.
#include <string_view>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "VelarL3Vfi/TypeModule.h"

namespace VelarL3Vfi {
namespace {

using Quill::AttrKind;

// flag: 'w' writable, 'l' listed, 'i' iterable.
struct AttrCase { Quill::AttrId id; std::string_view name; AttrKind kind; char flag = ' '; };

constexpr auto C = AttrKind::constant, V = AttrKind::value, M = AttrKind::method, S = AttrKind::staticMethod;
constexpr auto Coll = AttrKind::collection, View = AttrKind::view, NColl = AttrKind::nodeCollection,
               Q = AttrKind::queue, NV = AttrKind::nodeValue;

const std::vector<std::vector<AttrCase>> kTypes = {
    {{130, "getBlockSizeDefinedByUser", C}, {131, "numDependentFields", C},
     {132, "localPortNextHopHandle", V, 'w'}, {133, "localPortNextHop", V, 'w'},
     {134, "dvpNetworkGroup", V, 'w'}},
    {{386, "key", V}, {387, "swTable", V}, {389, "pendingEntry", Q, 'i'}, {390, "cleanup", M, 'l'}},
    {{386, "key", V}, {387, "entry", V, 'w'}},
    {{514, "minIndex", M}, {515, "maxIndex", M}, {516, "hwTableEntryIs", M, 'l'},
     {517, "hwTableEntryDel", M, 'l'}, {518, "updateHwIndexRefCountTracker", M, 'l'},
     {519, "compareHwEntries", M, 'l'}, {520, "syncEntries", M, 'l'}, {521, "getHwIndex", S, 'l'},
     {522, "hwIndexForDependentField", M, 'l'}, {523, "dependentFieldValueToHwIndex", M}},
    {},
    {{514, "isOwnedByMergeTable", C}, {515, "isExternalKeyType", C},
     {516, "setResolvedEntryBlockMetaDataDefinedByUser", C},
     {517, "setResolvedEntryMetaDataDefinedByUser", C}, {518, "entryHas", M},
     {519, "resolvedEntry", Coll, 'i'}, {520, "entry", View, 'i'}, {521, "entryInHwTable", View},
     {522, "syncedEntry", Coll, 'i'}, {523, "entryRemoveAll", M}, {524, "minIndex", M}, {525, "maxIndex", M},
     {526, "handleEntry", M, 'l'}, {527, "readAccess", C}, {528, "writeAccess", C},
     {529, "entryHandle", NColl, 'i'}, {530, "unresolvedEntry", NColl, 'i'}, {531, "entrys", V},
     {532, "entryRemove", M}, {533, "entryCommit", M}, {534, "writeResponseSm", NV, 'w'},
     {535, "hwIndexOnlyForCrossAgentCommunication", M}, {536, "util", M}, {537, "doMountHwTableMountInfo", S},
     {538, "doMountHwTableRecoveryStatus", S}, {539, "doRecoverHwTable", S}, {540, "cleanup", M, 'l'}},
};

TEST(TypeModule, EveryTypeHasExactlyItsAttributes) {
  for (unsigned t = 0; t < kTypes.size(); ++t) {
    const auto& type = typeData(static_cast<TypeIndex>(t));
    EXPECT_EQ(type.attrs().size(), kTypes[t].size()) << type.name;
    for (const auto& want : kTypes[t]) {
      const auto* got = type.attr(want.id);
      ASSERT_NE(got, nullptr) << type.name << " " << want.id;
      EXPECT_EQ(std::tuple(type.module->name(got->name), got->kind, got->writable(), got->listed(),
                           got->iterable()),
                std::tuple(want.name, want.kind, want.flag == 'w', want.flag == 'l', want.flag == 'i'));
    }
  }
}

}  // namespace
}  // namespace VelarL3Vfi
