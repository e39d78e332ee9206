#pragma once
// The table's type module: its six types, in index order, as the runtime
// knows them.
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

}  // namespace VelarL3Vfi
