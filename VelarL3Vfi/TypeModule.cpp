#include "VelarL3Vfi/TypeModule.h"

#include "VelarL3Vfi/UtilLoader.h"
#include "VelarL3Vfi/introspection/Common.h"

namespace VelarL3Vfi {

namespace {

using Quill::TypeKind;
using Quill::Inspect::Op;
using Quill::Inspect::ops;
using namespace Introspection::detail;

Quill::TypeData entryType{kEntry};
Quill::TypeData entryHandleType{"VelarL3Vfi::LocalDvpTable::EntryHandle"};
Quill::TypeData unresolvedEntryType{"VelarL3Vfi::LocalDvpTable::UnresolvedEntry"};
Quill::TypeData utilType{"VelarL3Vfi::LocalDvpTable::Util"};
Quill::TypeData utilLoaderType{"VelarL3Vfi::LocalDvpTable::UtilLoader", 0, nullptr,
                               &LocalDvpTableUtilLoader::create};
Quill::TypeData localDvpTableType{kLocalDvpTableTypeName};

// The types in index order; their attributes come from the attribute tables
// next to each type's generic interface.
std::vector<Quill::TypeDecl> declarations() {
  return {
      {&entryType, TypeKind::valueType, entryAttrs(), {}, ops(Op::nonDefault, Op::equal, Op::less),
       &Introspection::entryGenericIf},
      {&entryHandleType, TypeKind::countedNode, entryHandleAttrs(), {kKeyParam, kSwTableParam}, 0,
       &Introspection::entryHandleGenericIf},
      {&unresolvedEntryType, TypeKind::countedNode, unresolvedEntryAttrs(), {kKeyParam}, 0,
       &Introspection::unresolvedEntryGenericIf},
      {&utilType, TypeKind::abstractNode, utilAttrs(), {kNameParam}, 0, &Introspection::utilGenericIf},
      {&utilLoaderType, TypeKind::loaderNode, {}, {kNameParam}, 0, &Introspection::utilLoaderGenericIf},
      {&localDvpTableType, TypeKind::entity, tableAttrs(), {}, 0, &Introspection::tableGenericIf},
  };
}

}  // namespace

Quill::ModuleInspectData& typeModule() {
  static Quill::ModuleInspectData module("VelarL3Vfi", declarations());
  return module;
}

const Quill::TypeData& typeData(TypeIndex index) { return *typeModule().type(index); }

}  // namespace VelarL3Vfi
