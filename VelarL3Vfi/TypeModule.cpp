#include "VelarL3Vfi/TypeModule.h"

#include "VelarL3Vfi/Introspection.h"
#include "VelarL3Vfi/UtilLoader.h"
#include "platform/Quill/GenericIf.h"

namespace VelarL3Vfi {

namespace {

using Quill::AttrDecl;
using Quill::AttrKind;
using Quill::ParamDecl;
using Quill::TypeKind;
using K = Quill::ValueKind;
using Op = Quill::Inspect::Op;
using Quill::Inspect::ops;

Quill::TypeData entryType{"VelarL3Vfi::LocalDvpTable::Entry"};
Quill::TypeData entryHandleType{"VelarL3Vfi::LocalDvpTable::EntryHandle"};
Quill::TypeData unresolvedEntryType{"VelarL3Vfi::LocalDvpTable::UnresolvedEntry"};
Quill::TypeData utilType{"VelarL3Vfi::LocalDvpTable::Util"};
Quill::TypeData utilLoaderType{"VelarL3Vfi::LocalDvpTable::UtilLoader", 0, nullptr,
                               &LocalDvpTableUtilLoader::create};
Quill::TypeData localDvpTableType{kLocalDvpTableTypeName};

// Type names the attribute table uses.
constexpr const char* kBool = "bool";
constexpr const char* kU8 = "U8";
constexpr const char* kU32 = "U32";
constexpr const char* kU64 = "U64";
constexpr const char* kIndex = "Asic::SwTableBase::Index";
constexpr const char* kHwIndex = "Asic::Index";
constexpr const char* kEntry = "VelarL3Vfi::LocalDvpTable::Entry";
constexpr const char* kTable = kLocalDvpTableTypeName;
constexpr const char* kBaseHandle = "Asic::SwTableBase::EntryHandle";
constexpr const char* kHwTable = "Asic::HwTable";
constexpr const char* kMountGroup = "Ledger::MountGroup";

const ParamDecl kKeyParam{"key", kIndex, K::u32};
const ParamDecl kSwTableParam{"swTable", kTable, K::node};
const ParamDecl kHwTableParam{"hwTable", kHwTable, K::node};
const ParamDecl kHdlParam{"hdl", kBaseHandle, K::node};

AttrDecl constant(Quill::AttrId id, const char* name, const char* type, K kind) {
  return {id, name, AttrKind::constant, type, kind, ops(Op::read)};
}

AttrDecl method(Quill::AttrId id, const char* name, std::vector<ParamDecl> params,
                const char* result = nullptr, K resultKind = K::none) {
  return {id, name, AttrKind::method, result, resultKind, ops(Op::call), 0, nullptr, K::none,
          std::move(params)};
}

AttrDecl staticMethod(Quill::AttrId id, const char* name, std::vector<ParamDecl> params) {
  return {id, name, AttrKind::staticMethod, nullptr, K::none, ops(Op::call), 0, nullptr, K::none,
          std::move(params)};
}

// Described in the module, refusing every generic operation.
AttrDecl listed(Quill::AttrId id, const char* name, std::vector<ParamDecl> params,
                const char* result = nullptr, K resultKind = K::none,
                AttrKind kind = AttrKind::method) {
  return {id, name, kind, result, resultKind, 0, Quill::kAttrListed, nullptr, K::none,
          std::move(params)};
}

// A keyed collection or view of the table (key Asic::SwTableBase::Index).
AttrDecl keyed(Quill::AttrId id, const char* name, AttrKind kind, const char* type, K valueKind,
               std::uint32_t accepted, bool iterable, std::vector<ParamDecl> ctorArgs = {}) {
  return {id,       name,  kind, type, valueKind, accepted, iterable ? Quill::kAttrIterable : std::uint8_t{0},
          kIndex, K::u32, std::move(ctorArgs)};
}

std::vector<Quill::TypeDecl> declarations() {
  const auto storedCollectionOps =
      ops(Op::read, Op::lookup, Op::count, Op::capacity, Op::contains);
  return {
      {&entryType,
       TypeKind::valueType,
       {
           constant(EntryAttr::getBlockSizeDefinedByUser, "getBlockSizeDefinedByUser", kBool, K::boolean),
           constant(EntryAttr::numDependentFields, "numDependentFields", kU64, K::u64),
           {EntryAttr::localPortNextHopHandle, "localPortNextHopHandle", AttrKind::value, kBaseHandle,
            K::node, ops(Op::read, Op::set), Quill::kAttrWritable},
           {EntryAttr::localPortNextHop, "localPortNextHop", AttrKind::value, kU32, K::u32,
            ops(Op::read, Op::set), Quill::kAttrWritable},
           {EntryAttr::dvpNetworkGroup, "dvpNetworkGroup", AttrKind::value, kU8, K::u8,
            ops(Op::read, Op::set), Quill::kAttrWritable},
       },
       {},
       ops(Op::nonDefault, Op::equal, Op::less),
       &Introspection::entryGenericIf},

      {&entryHandleType,
       TypeKind::countedNode,
       {
           {EntryHandleAttr::key, "key", AttrKind::value, kIndex, K::u32, ops(Op::read)},
           {EntryHandleAttr::swTable, "swTable", AttrKind::value, kTable, K::node, ops(Op::read)},
           {EntryHandleAttr::pendingEntry, "pendingEntry", AttrKind::queue, kEntry, K::record,
            ops(Op::count, Op::front, Op::back, Op::enqueue, Op::dequeue), Quill::kAttrIterable},
           listed(EntryHandleAttr::cleanup, "cleanup", {}),
       },
       {kKeyParam, kSwTableParam},
       0,
       &Introspection::entryHandleGenericIf},

      {&unresolvedEntryType,
       TypeKind::countedNode,
       {
           {UnresolvedEntryAttr::key, "key", AttrKind::value, kIndex, K::u32, ops(Op::read)},
           {UnresolvedEntryAttr::entry, "entry", AttrKind::value, kEntry, K::record,
            ops(Op::read, Op::set), Quill::kAttrWritable},
       },
       {kKeyParam},
       0,
       &Introspection::unresolvedEntryGenericIf},

      {&utilType,
       TypeKind::abstractNode,
       {
           method(UtilAttr::minIndex, "minIndex", {}, kU32, K::u32),
           method(UtilAttr::maxIndex, "maxIndex", {}, kU32, K::u32),
           listed(UtilAttr::hwTableEntryIs, "hwTableEntryIs",
                  {kSwTableParam, kKeyParam, {"entry", kEntry, K::record, true}}),
           listed(UtilAttr::hwTableEntryDel, "hwTableEntryDel", {kSwTableParam, kKeyParam}),
           listed(UtilAttr::updateHwIndexRefCountTracker, "updateHwIndexRefCountTracker",
                  {kHwTableParam, kKeyParam, {"updateOperation", "Asic::IndexUserTracker::OpType", K::u8}}),
           listed(UtilAttr::compareHwEntries, "compareHwEntries",
                  {kSwTableParam, kKeyParam, {"resolvedEntry", kEntry, K::record}}, kBool, K::boolean),
           listed(UtilAttr::syncEntries, "syncEntries", {kHwTableParam, kSwTableParam}),
           listed(UtilAttr::getHwIndex, "getHwIndex", {kHdlParam}, kHwIndex, K::u32, AttrKind::staticMethod),
           listed(UtilAttr::hwIndexForDependentField, "hwIndexForDependentField", {kHdlParam}, kHwIndex,
                  K::u32),
           method(UtilAttr::dependentFieldValueToHwIndex, "dependentFieldValueToHwIndex",
                  {{"dependentField", kHwIndex, K::u32}}, kHwIndex, K::u32),
       },
       {{"name", "Quill::String", K::string}},
       0,
       &Introspection::utilGenericIf},

      {&utilLoaderType, TypeKind::loaderNode, {}, {{"name", "Quill::String", K::string}}, 0,
       &Introspection::utilLoaderGenericIf},

      {&localDvpTableType,
       TypeKind::entity,
       {
           constant(TableAttr::isOwnedByMergeTable, "isOwnedByMergeTable", kBool, K::boolean),
           constant(TableAttr::isExternalKeyType, "isExternalKeyType", kBool, K::boolean),
           constant(TableAttr::setResolvedEntryBlockMetaDataDefinedByUser,
                    "setResolvedEntryBlockMetaDataDefinedByUser", kU64, K::u64),
           constant(TableAttr::setResolvedEntryMetaDataDefinedByUser, "setResolvedEntryMetaDataDefinedByUser",
                    kU64, K::u64),
           method(TableAttr::entryHas, "entryHas", {kKeyParam}, kBool, K::boolean),
           keyed(TableAttr::resolvedEntry, "resolvedEntry", AttrKind::collection, kEntry, K::record,
                 storedCollectionOps, true),
           keyed(TableAttr::entry, "entry", AttrKind::view, kEntry, K::record, ops(Op::read, Op::contains), true),
           keyed(TableAttr::entryInHwTable, "entryInHwTable", AttrKind::view, kBool, K::boolean, ops(Op::read),
                 false),
           keyed(TableAttr::syncedEntry, "syncedEntry", AttrKind::collection, kEntry, K::record,
                 storedCollectionOps, true),
           method(TableAttr::entryRemoveAll, "entryRemoveAll", {}),
           method(TableAttr::minIndex, "minIndex", {}, kU32, K::u32),
           method(TableAttr::maxIndex, "maxIndex", {}, kU32, K::u32),
           listed(TableAttr::handleEntry, "handleEntry", {kKeyParam}),
           constant(TableAttr::readAccess, "readAccess", kBool, K::boolean),
           constant(TableAttr::writeAccess, "writeAccess", kBool, K::boolean),
           keyed(TableAttr::entryHandle, "entryHandle", AttrKind::nodeCollection,
                 "VelarL3Vfi::LocalDvpTable::EntryHandle", K::node, storedCollectionOps, true,
                 {kKeyParam, kSwTableParam}),
           keyed(TableAttr::unresolvedEntry, "unresolvedEntry", AttrKind::nodeCollection,
                 "VelarL3Vfi::LocalDvpTable::UnresolvedEntry", K::related, storedCollectionOps, true,
                 {kKeyParam}),
           {TableAttr::entrys, "entrys", AttrKind::value, kU32, K::u32, ops(Op::read)},
           method(TableAttr::entryRemove, "entryRemove", {kKeyParam}),
           method(TableAttr::entryCommit, "entryCommit", {kKeyParam, {"entry", kEntry, K::record}}, kBaseHandle,
                  K::related),
           {TableAttr::writeResponseSm, "writeResponseSm", AttrKind::nodeValue, "Asic::WriteResponseSm", K::node,
            ops(Op::read, Op::set, Op::del), Quill::kAttrWritable, nullptr, K::none,
            {{"swTable", "Asic::SwTable", K::node}}},
           method(TableAttr::hwIndexOnlyForCrossAgentCommunication, "hwIndexOnlyForCrossAgentCommunication",
                  {kKeyParam}, kHwIndex, K::u32),
           method(TableAttr::util, "util", {}, "VelarL3Vfi::LocalDvpTable::Util", K::related),
           staticMethod(TableAttr::doMountHwTableMountInfo, "doMountHwTableMountInfo",
                        {{"mg", kMountGroup, K::node}}),
           staticMethod(TableAttr::doMountHwTableRecoveryStatus, "doMountHwTableRecoveryStatus",
                        {{"mg", kMountGroup, K::node}}),
           staticMethod(TableAttr::doRecoverHwTable, "doRecoverHwTable",
                        {{"rg", "Asic::HwTableRecoverGroup", K::node},
                         {"unitId", "Asic::UnitId", K::u32},
                         {"ledgerEm", "Ledger::EntityManager", K::node},
                         {"chipInfo", "Asic::ChipInfo", K::record}}),
           listed(TableAttr::cleanup, "cleanup", {}),
       },
       {},
       0,
       &Introspection::tableGenericIf},
  };
}

}  // namespace

Quill::ModuleInspectData& typeModule() {
  static Quill::ModuleInspectData module("VelarL3Vfi", declarations());
  return module;
}

const Quill::TypeData& typeData(TypeIndex index) { return *typeModule().type(index); }

}  // namespace VelarL3Vfi
