#pragma once
// The table's type module: its six types, in index order, as the runtime
// knows them, with the attribute table of each (48 attributes in all) that the
// generic interface works from (see platform/Quill/GenericIf.h and
// VelarL3Vfi/Introspection.h).
#include "platform/Quill/TypeModule.h"

namespace VelarL3Vfi {

enum TypeIndex : unsigned {
  kEntryType = 0,
  kEntryHandleType = 1,
  kUnresolvedEntryType = 2,
  kUtilType = 3,
  kUtilLoaderType = 4,
  kLocalDvpTableType = 5,
};

Quill::ModuleInspectData& typeModule();
const Quill::TypeData& typeData(TypeIndex index);

// Attribute ids, per type. The same id may name different attributes in
// different types.
namespace EntryAttr {
inline constexpr Quill::AttrId getBlockSizeDefinedByUser = 130;
inline constexpr Quill::AttrId numDependentFields = 131;
inline constexpr Quill::AttrId localPortNextHopHandle = 132;
inline constexpr Quill::AttrId localPortNextHop = 133;
inline constexpr Quill::AttrId dvpNetworkGroup = 134;
}  // namespace EntryAttr

namespace EntryHandleAttr {
inline constexpr Quill::AttrId key = 386;
inline constexpr Quill::AttrId swTable = 387;
inline constexpr Quill::AttrId pendingEntry = 389;
inline constexpr Quill::AttrId cleanup = 390;
}  // namespace EntryHandleAttr

namespace UnresolvedEntryAttr {
inline constexpr Quill::AttrId key = 386;
inline constexpr Quill::AttrId entry = 387;
}  // namespace UnresolvedEntryAttr

namespace UtilAttr {
inline constexpr Quill::AttrId minIndex = 514;
inline constexpr Quill::AttrId maxIndex = 515;
inline constexpr Quill::AttrId hwTableEntryIs = 516;
inline constexpr Quill::AttrId hwTableEntryDel = 517;
inline constexpr Quill::AttrId updateHwIndexRefCountTracker = 518;
inline constexpr Quill::AttrId compareHwEntries = 519;
inline constexpr Quill::AttrId syncEntries = 520;
inline constexpr Quill::AttrId getHwIndex = 521;
inline constexpr Quill::AttrId hwIndexForDependentField = 522;
inline constexpr Quill::AttrId dependentFieldValueToHwIndex = 523;
}  // namespace UtilAttr

namespace TableAttr {
inline constexpr Quill::AttrId isOwnedByMergeTable = 514;
inline constexpr Quill::AttrId isExternalKeyType = 515;
inline constexpr Quill::AttrId setResolvedEntryBlockMetaDataDefinedByUser = 516;
inline constexpr Quill::AttrId setResolvedEntryMetaDataDefinedByUser = 517;
inline constexpr Quill::AttrId entryHas = 518;
inline constexpr Quill::AttrId resolvedEntry = 519;
inline constexpr Quill::AttrId entry = 520;
inline constexpr Quill::AttrId entryInHwTable = 521;
inline constexpr Quill::AttrId syncedEntry = 522;
inline constexpr Quill::AttrId entryRemoveAll = 523;
inline constexpr Quill::AttrId minIndex = 524;
inline constexpr Quill::AttrId maxIndex = 525;
inline constexpr Quill::AttrId handleEntry = 526;
inline constexpr Quill::AttrId readAccess = 527;
inline constexpr Quill::AttrId writeAccess = 528;
inline constexpr Quill::AttrId entryHandle = 529;
inline constexpr Quill::AttrId unresolvedEntry = 530;
inline constexpr Quill::AttrId entrys = 531;
inline constexpr Quill::AttrId entryRemove = 532;
inline constexpr Quill::AttrId entryCommit = 533;
inline constexpr Quill::AttrId writeResponseSm = 534;
inline constexpr Quill::AttrId hwIndexOnlyForCrossAgentCommunication = 535;
inline constexpr Quill::AttrId util = 536;
inline constexpr Quill::AttrId doMountHwTableMountInfo = 537;
inline constexpr Quill::AttrId doMountHwTableRecoveryStatus = 538;
inline constexpr Quill::AttrId doRecoverHwTable = 539;
inline constexpr Quill::AttrId cleanup = 540;
}  // namespace TableAttr

}  // namespace VelarL3Vfi
