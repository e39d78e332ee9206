#pragma once
// Type modules: what a library tells the runtime about its types.
//
// A library describes its types in one ModuleInspectData (the types in index
// order) and announces it with loaded() when it is loaded. The runtime finds
// a type by name, asks it for its index and module, and creates entities of it
// through its creation entry.
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"

namespace Quill {

class ModuleInspectData;

struct TypeData {
  // The creation entry: makes an entity of the type from a name and an
  // optional argument block (null when none was given). Null for types the
  // runtime cannot create by itself.
  using CreateFn = Ptr<Node> (*)(const String& name, const void* args);

  const char* name = "";
  std::uint32_t index = 0;
  const ModuleInspectData* module = nullptr;
  CreateFn create = nullptr;
};

class ModuleInspectData {
 public:
  // `types` must stay valid for the life of the module (static storage).
  ModuleInspectData(const char* name, std::vector<TypeData*> types);
  ModuleInspectData(const ModuleInspectData&) = delete;
  ModuleInspectData& operator=(const ModuleInspectData&) = delete;

  const char* name() const noexcept { return name_; }
  const std::vector<TypeData*>& types() const noexcept { return types_; }
  const TypeData* type(std::uint32_t index) const noexcept;

  // Announces the module to the runtime; announcing it again changes nothing.
  void loaded();
  bool isLoaded() const noexcept { return loaded_; }

  // The runtime's registry of announced modules.
  static const ModuleInspectData* find(std::string_view moduleName) noexcept;
  static const TypeData* findType(std::string_view typeName) noexcept;

 private:
  const char* name_;
  std::vector<TypeData*> types_;
  bool loaded_ = false;
};

}  // namespace Quill
