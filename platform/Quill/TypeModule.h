#pragma once
// Type modules: what a library tells the runtime about its types.
//
// A library describes its types in one ModuleInspectData (the types in index
// order) and announces it with loaded() when it is loaded. The runtime finds
// a type by name, asks it for its index and module, and creates entities of it
// through its creation entry.
//
// A module built from type declarations (TypeDecl) also carries the attribute
// table of its types, which the runtime's generic interface
// (platform/Quill/GenericIf.h) works from. The module then holds, in this
// order:
//   - the records of its types (TypeData, owned by the library),
//   - the records of all their attributes (AttrData), type after type, each
//     type's attributes in declaration order,
//   - the parameter lists of methods and constructors (ParamData),
//   - the pool of type names (the module's own types first, then every type
//     an attribute or parameter names),
//   - the pool of attribute and parameter names.
// Records refer to names by their offset in a pool, so each name is stored
// once however many attributes use it.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"

namespace Quill {

class ModuleInspectData;

namespace Inspect {
struct GenericIf;
}  // namespace Inspect

// Attribute ids are 16-bit, unique within a type.
using AttrId = std::uint16_t;

// What a type is to the runtime.
enum class TypeKind : std::uint8_t {
  valueType,     // copied by value (no node)
  countedNode,   // a reference-counted node
  abstractNode,  // a counted node the library cannot instantiate itself
  loaderNode,    // a named singleton loader
  entity,        // a named entity
};

// How an attribute is kept and reached.
enum class AttrKind : std::uint8_t {
  constant,        // a fixed value of the type, read-only
  value,           // a stored field
  nodeValue,       // a stored counted reference to a node
  collection,      // a stored keyed collection
  nodeCollection,  // a stored keyed collection of counted nodes
  view,            // a keyed collection computed on demand
  queue,           // a stored first-in-first-out sequence without keys
  method,          // callable through the generic interface
  staticMethod,    // a callable class-level function
};

// How a value passes through the generic interface (see Inspect::Value).
enum class ValueKind : std::uint8_t {
  none,     // no value
  boolean,  // one byte
  u8,
  u32,
  u64,
  string,   // Quill::String
  node,     // a counted reference to a node (may be null)
  related,  // a node handed over through the related-node encoding
  record,   // a copy of a value of a value type (e.g. an Entry)
};

std::string_view valueKindName(ValueKind kind) noexcept;

inline constexpr std::uint32_t kNoName = 0xFFFFFFFF;

// Attribute flags.
inline constexpr std::uint8_t kAttrWritable = 0x1;  // a value the generic interface may set
inline constexpr std::uint8_t kAttrListed = 0x2;    // a method described but refusing generic calls
inline constexpr std::uint8_t kAttrIterable = 0x4;  // the generic interface can walk it

struct ParamData {
  std::uint32_t name = kNoName;  // offset in the attribute-name pool
  std::uint32_t type = kNoName;  // offset in the type-name pool
  ValueKind kind = ValueKind::none;
  bool optional = false;
};

struct AttrData {
  AttrId id = 0;
  AttrKind kind = AttrKind::value;
  std::uint8_t flags = 0;
  ValueKind valueKind = ValueKind::none;  // of the value, element or method result
  ValueKind keyKind = ValueKind::none;    // of the key of a keyed attribute
  std::uint32_t ops = 0;                  // bit n set: operation code n is accepted
  std::uint32_t name = kNoName;           // offset in the attribute-name pool
  std::uint32_t type = kNoName;           // value, element or result type (type-name pool)
  std::uint32_t keyType = kNoName;        // key type of a keyed attribute
  std::uint32_t firstParam = 0;           // parameters (methods) or constructor arguments
  std::uint32_t paramCount = 0;           //   of the members (node collections, node values)

  bool writable() const noexcept { return (flags & kAttrWritable) != 0; }
  bool listed() const noexcept { return (flags & kAttrListed) != 0; }
  bool iterable() const noexcept { return (flags & kAttrIterable) != 0; }
  bool accepts(unsigned op) const noexcept { return op < 32 && (ops >> op & 1u) != 0; }
};

struct TypeData {
  // The creation entry: makes an entity of the type from a name and an
  // optional argument block (null when none was given). Null for types the
  // runtime cannot create by itself.
  using CreateFn = Ptr<Node> (*)(const String& name, const void* args);

  const char* name = "";
  std::uint32_t index = 0;
  const ModuleInspectData* module = nullptr;
  CreateFn create = nullptr;

  // Filled in by a module built from declarations.
  TypeKind kind = TypeKind::countedNode;
  std::uint32_t firstAttr = 0;  // the type's slice of the module's attribute records
  std::uint32_t attrCount = 0;
  std::uint32_t firstCtorParam = 0;  // its constructor arguments
  std::uint32_t ctorParamCount = 0;
  std::uint32_t wholeValueOps = 0;  // operations on the whole value (no attribute)
  const Inspect::GenericIf* genericIf = nullptr;  // the type's generic entry points

  std::span<const AttrData> attrs() const noexcept;
  const AttrData* attr(AttrId id) const noexcept;
  const AttrData* attr(std::string_view attrName) const noexcept;
  std::span<const ParamData> params(const AttrData& attr) const noexcept;
  std::span<const ParamData> ctorParams() const noexcept;
};

// One parameter of a declaration: a method's parameter or a constructor
// argument.
struct ParamDecl {
  const char* name;
  const char* type;
  ValueKind kind;
  bool optional = false;
};

// One attribute of a declaration.
struct AttrDecl {
  AttrId id;
  const char* name;
  AttrKind kind;
  const char* type;  // null: none (a method without result)
  ValueKind valueKind;
  std::uint32_t ops;
  std::uint8_t flags = 0;
  const char* keyType = nullptr;
  ValueKind keyKind = ValueKind::none;
  std::vector<ParamDecl> params = {};
};

// One type of a declaration, with its attributes in declaration order.
struct TypeDecl {
  TypeData* type;
  TypeKind kind;
  std::vector<AttrDecl> attrs;
  std::vector<ParamDecl> ctorParams = {};
  std::uint32_t wholeValueOps = 0;
  const Inspect::GenericIf* genericIf = nullptr;
};

// A pool of names, each stored once and ended by a NUL; a name is known by its
// offset.
class NamePool {
 public:
  std::uint32_t intern(std::string_view name);
  // The name at an offset; empty for kNoName.
  std::string_view at(std::uint32_t offset) const noexcept;
  std::uint32_t find(std::string_view name) const noexcept;  // kNoName when absent
  std::size_t count() const noexcept { return count_; }
  std::size_t bytes() const noexcept { return chars_.size(); }

 private:
  std::string chars_;
  std::size_t count_ = 0;
};

class ModuleInspectData {
 public:
  // `types` must stay valid for the life of the module (static storage).
  ModuleInspectData(const char* name, std::vector<TypeData*> types);
  // A module with the attribute table of its types (see the file comment).
  ModuleInspectData(const char* name, const std::vector<TypeDecl>& decls);
  ModuleInspectData(const ModuleInspectData&) = delete;
  ModuleInspectData& operator=(const ModuleInspectData&) = delete;

  const char* name() const noexcept { return name_; }
  const std::vector<TypeData*>& types() const noexcept { return types_; }
  const TypeData* type(std::uint32_t index) const noexcept;

  const std::vector<AttrData>& attrs() const noexcept { return attrs_; }
  const std::vector<ParamData>& params() const noexcept { return params_; }
  const NamePool& typeNames() const noexcept { return typeNames_; }
  const NamePool& names() const noexcept { return names_; }
  std::string_view typeName(std::uint32_t offset) const noexcept { return typeNames_.at(offset); }
  std::string_view name(std::uint32_t offset) const noexcept { return names_.at(offset); }

  // Announces the module to the runtime; announcing it again changes nothing.
  void loaded();
  bool isLoaded() const noexcept { return loaded_; }

  // The runtime's registry of announced modules.
  static const ModuleInspectData* find(std::string_view moduleName) noexcept;
  static const TypeData* findType(std::string_view typeName) noexcept;

 private:
  std::uint32_t addParams(const std::vector<ParamDecl>& decls);

  const char* name_;
  std::vector<TypeData*> types_;
  std::vector<AttrData> attrs_;
  std::vector<ParamData> params_;
  NamePool typeNames_;
  NamePool names_;
  bool loaded_ = false;
};

}  // namespace Quill
