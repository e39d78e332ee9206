#include "VelarL3Vfi/TypeModule.h"

#include "VelarL3Vfi/UtilLoader.h"

namespace VelarL3Vfi {

namespace {
Quill::TypeData entryType{"VelarL3Vfi::LocalDvpTable::Entry"};
Quill::TypeData entryHandleType{"VelarL3Vfi::LocalDvpTable::EntryHandle"};
Quill::TypeData unresolvedEntryType{"VelarL3Vfi::LocalDvpTable::UnresolvedEntry"};
Quill::TypeData utilType{"VelarL3Vfi::LocalDvpTable::Util"};
Quill::TypeData utilLoaderType{"VelarL3Vfi::LocalDvpTable::UtilLoader", 0, nullptr,
                               &LocalDvpTableUtilLoader::create};
Quill::TypeData localDvpTableType{"VelarL3Vfi::LocalDvpTable"};
}  // namespace

Quill::ModuleInspectData& typeModule() {
  static Quill::ModuleInspectData module("VelarL3Vfi",
                                         {&entryType, &entryHandleType, &unresolvedEntryType,
                                          &utilType, &utilLoaderType, &localDvpTableType});
  return module;
}

const Quill::TypeData& typeData(TypeIndex index) { return *typeModule().type(index); }

}  // namespace VelarL3Vfi
