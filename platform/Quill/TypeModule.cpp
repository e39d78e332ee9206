#include "platform/Quill/TypeModule.h"

#include <algorithm>

namespace Quill {

namespace {
std::vector<const ModuleInspectData*>& registry() {
  static std::vector<const ModuleInspectData*> modules;
  return modules;
}
}  // namespace

ModuleInspectData::ModuleInspectData(const char* name, std::vector<TypeData*> types)
    : name_(name), types_(std::move(types)) {
  for (std::uint32_t i = 0; i < types_.size(); ++i) {
    types_[i]->index = i;
    types_[i]->module = this;
  }
}

const TypeData* ModuleInspectData::type(std::uint32_t index) const noexcept {
  return index < types_.size() ? types_[index] : nullptr;
}

void ModuleInspectData::loaded() {
  if (loaded_) return;
  loaded_ = true;
  registry().push_back(this);
}

const ModuleInspectData* ModuleInspectData::find(std::string_view moduleName) noexcept {
  for (const auto* m : registry()) {
    if (moduleName == m->name()) return m;
  }
  return nullptr;
}

const TypeData* ModuleInspectData::findType(std::string_view typeName) noexcept {
  for (const auto* m : registry()) {
    for (const auto* t : m->types()) {
      if (typeName == t->name) return t;
    }
  }
  return nullptr;
}

}  // namespace Quill
