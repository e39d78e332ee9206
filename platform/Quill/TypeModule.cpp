#include "platform/Quill/TypeModule.h"

#include <algorithm>

namespace Quill {

namespace {
std::vector<const ModuleInspectData*>& registry() {
  static std::vector<const ModuleInspectData*> modules;
  return modules;
}

std::vector<TypeData*> typesOf(const std::vector<TypeDecl>& decls) {
  std::vector<TypeData*> types;
  types.reserve(decls.size());
  for (const auto& d : decls) types.push_back(d.type);
  return types;
}
}  // namespace

std::string_view valueKindName(ValueKind kind) noexcept {
  switch (kind) {
    case ValueKind::none: return "none";
    case ValueKind::boolean: return "bool";
    case ValueKind::u8: return "U8";
    case ValueKind::u32: return "U32";
    case ValueKind::u64: return "U64";
    case ValueKind::string: return "string";
    case ValueKind::node: return "node";
    case ValueKind::related: return "related node";
    case ValueKind::record: return "record";
  }
  return "?";
}

// --- NamePool ----------------------------------------------------------------

std::uint32_t NamePool::intern(std::string_view name) {
  if (auto existing = find(name); existing != kNoName) return existing;
  const auto offset = static_cast<std::uint32_t>(chars_.size());
  chars_.append(name);
  chars_.push_back('\0');
  ++count_;
  return offset;
}

std::string_view NamePool::at(std::uint32_t offset) const noexcept {
  if (offset >= chars_.size()) return {};
  return std::string_view(chars_.c_str() + offset);
}

std::uint32_t NamePool::find(std::string_view name) const noexcept {
  // Names are few and short; a scan over the pool keeps it one string.
  for (std::size_t at = 0; at < chars_.size();) {
    const std::string_view here(chars_.c_str() + at);
    if (here == name) return static_cast<std::uint32_t>(at);
    at += here.size() + 1;
  }
  return kNoName;
}

// --- TypeData ------------------------------------------------------------------

std::span<const AttrData> TypeData::attrs() const noexcept {
  if (module == nullptr || attrCount == 0) return {};
  return std::span<const AttrData>(module->attrs()).subspan(firstAttr, attrCount);
}

const AttrData* TypeData::attr(AttrId id) const noexcept {
  for (const auto& a : attrs()) {
    if (a.id == id) return &a;
  }
  return nullptr;
}

const AttrData* TypeData::attr(std::string_view attrName) const noexcept {
  for (const auto& a : attrs()) {
    if (module->name(a.name) == attrName) return &a;
  }
  return nullptr;
}

std::span<const ParamData> TypeData::params(const AttrData& a) const noexcept {
  if (module == nullptr || a.paramCount == 0) return {};
  return std::span<const ParamData>(module->params()).subspan(a.firstParam, a.paramCount);
}

std::span<const ParamData> TypeData::ctorParams() const noexcept {
  if (module == nullptr || ctorParamCount == 0) return {};
  return std::span<const ParamData>(module->params()).subspan(firstCtorParam, ctorParamCount);
}

// --- ModuleInspectData -----------------------------------------------------------

ModuleInspectData::ModuleInspectData(const char* name, std::vector<TypeData*> types)
    : name_(name), types_(std::move(types)) {
  for (std::uint32_t i = 0; i < types_.size(); ++i) {
    types_[i]->index = i;
    types_[i]->module = this;
  }
}

ModuleInspectData::ModuleInspectData(const char* name, const std::vector<TypeDecl>& decls)
    : ModuleInspectData(name, typesOf(decls)) {
  // The module's own types lead the type-name pool, in index order.
  for (const auto& d : decls) typeNames_.intern(d.type->name);
  for (const auto& d : decls) {
    d.type->kind = d.kind;
    d.type->wholeValueOps = d.wholeValueOps;
    d.type->genericIf = d.genericIf;
    d.type->firstAttr = static_cast<std::uint32_t>(attrs_.size());
    d.type->attrCount = static_cast<std::uint32_t>(d.attrs.size());
    for (const auto& a : d.attrs) {
      AttrData rec;
      rec.id = a.id;
      rec.kind = a.kind;
      rec.flags = a.flags;
      rec.valueKind = a.valueKind;
      rec.keyKind = a.keyKind;
      rec.ops = a.ops;
      rec.name = names_.intern(a.name);
      rec.type = a.type ? typeNames_.intern(a.type) : kNoName;
      rec.keyType = a.keyType ? typeNames_.intern(a.keyType) : kNoName;
      attrs_.push_back(rec);
    }
  }
  // Parameter lists follow all attribute records: each type's attributes'
  // lists in attribute order, then its constructor arguments.
  for (const auto& d : decls) {
    for (std::uint32_t i = 0; i < d.attrs.size(); ++i) {
      auto& rec = attrs_[d.type->firstAttr + i];
      rec.firstParam = addParams(d.attrs[i].params);
      rec.paramCount = static_cast<std::uint32_t>(d.attrs[i].params.size());
    }
    d.type->firstCtorParam = addParams(d.ctorParams);
    d.type->ctorParamCount = static_cast<std::uint32_t>(d.ctorParams.size());
  }
}

std::uint32_t ModuleInspectData::addParams(const std::vector<ParamDecl>& decls) {
  const auto first = static_cast<std::uint32_t>(params_.size());
  for (const auto& p : decls) {
    params_.push_back(ParamData{names_.intern(p.name), typeNames_.intern(p.type), p.kind, p.optional});
  }
  return first;
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
