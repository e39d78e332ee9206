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

// The ids of the table's attributes, in declaration order (514-540), by which
// tools address them. The attribute tables of all types are in
// VelarL3Vfi/introspection, next to the code that answers for them.
namespace TableAttr {
enum : Quill::AttrId {
  isOwnedByMergeTable = 514, isExternalKeyType, setResolvedEntryBlockMetaDataDefinedByUser,
  setResolvedEntryMetaDataDefinedByUser, entryHas, resolvedEntry, entry, entryInHwTable, syncedEntry,
  entryRemoveAll, minIndex, maxIndex, handleEntry, readAccess, writeAccess, entryHandle, unresolvedEntry,
  entrys, entryRemove, entryCommit, writeResponseSm, hwIndexOnlyForCrossAgentCommunication, util,
  doMountHwTableMountInfo, doMountHwTableRecoveryStatus, doRecoverHwTable, cleanup,
};
}  // namespace TableAttr

}  // namespace VelarL3Vfi
