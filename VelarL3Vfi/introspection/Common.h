#pragma once
// Helpers shared by the generic entry points of the table's types, and the
// shape of their attribute tables (private to the library: the type module is
// built from the same tables).
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "VelarL3Vfi/Entry.h"
#include "VelarL3Vfi/Introspection.h"
#include "VelarL3Vfi/TypeModule.h"
#include "VelarL3Vfi/Util.h"
#include "platform/Quill/GenericIf.h"

namespace VelarL3Vfi::Introspection::detail {

using Quill::AttrDecl;
using Quill::AttrKind;
using Quill::ParamDecl;
using Quill::Inspect::ArgumentError;
using Quill::Inspect::ops;
using Quill::Inspect::Target;
using K = Quill::ValueKind;
using Entry = LocalDvpTableEntry;

inline Result put(Value& result, Value value) {
  result = std::move(value);
  return Result::done;
}

inline std::uint32_t needKey(const Value* key) {
  if (key == nullptr) throw ArgumentError("a key is required");
  return key->asU32();
}

inline const Value& needValue(const Operand& operand) {
  if (operand.value == nullptr) throw ArgumentError("a value is required");
  return *operand.value;
}

inline const Entry& asEntry(const Value& value) { return value.asRecordOf<Entry>(Entry::kTypeName); }

inline std::uint32_t capacityFigure(std::uint32_t count) {
  return std::min(count, Quill::Inspect::kCapacityMask);
}

// The node of a node argument as a T: null stays null, a node of another type
// is the caller's error.
template <class T>
T* nodeAs(const Value& value, const char* typeName) {
  Quill::Node* node = value.asNode();
  if (node == nullptr) return nullptr;
  auto* typed = dynamic_cast<T*>(node);
  if (typed == nullptr) throw ArgumentError(std::string("expected a node of type ") + typeName);
  return typed;
}

template <class T>
T& nonNullNodeAs(const Value& value, const char* typeName) {
  T* typed = nodeAs<T>(value, typeName);
  if (typed == nullptr) throw ArgumentError(std::string("expected a node of type ") + typeName + ", got null");
  return *typed;
}

// The object of a request as the entry point's type.
template <class T>
T& targetNode(Target object, const char* typeName) {
  auto* typed = dynamic_cast<T*>(object.node);
  if (typed == nullptr) throw ArgumentError(std::string("the object is no ") + typeName);
  return *typed;
}

// genericIfIterator of the types without iterable attributes.
inline Iter noIterator(Target /*object*/, const Value* /*startKey*/, AttrId /*attr*/) { return {}; }

// --- attribute tables ------------------------------------------------------------

// One generic request on an attribute: the operation, its key and its operand.
struct Request {
  Op op;
  const Value* key;
  Operand operand;

  const Value& value() const { return needValue(operand); }
  const Value& arg(std::size_t i) const { return operand.args[i]; }
};

// One row of a type's attribute table: the attribute as the type module
// declares it, and what performs the generic operations on it.
template <class Object>
struct AttrRow {
  AttrDecl decl;
  // Performs an operation the declaration accepts, with a call's arguments
  // already checked against its parameters. The object is null only for the
  // class-level methods. Null for a listed method, which accepts nothing.
  Result (*access)(Value& result, Object* object, const Request& request) = nullptr;
  // Iterable attributes: a new iterator, at the start key's element or the
  // first one.
  Iter (*walk)(const Object& object, const Value* startKey) = nullptr;
};

template <class Object>
std::vector<AttrDecl> declsOf(std::span<const AttrRow<Object>> rows) {
  std::vector<AttrDecl> decls;
  decls.reserve(rows.size());
  for (const auto& row : rows) decls.push_back(row.decl);
  return decls;
}

// The row of an attribute of the type: the type's module records were built
// from its rows, in the same order.
template <class Object>
const AttrRow<Object>& rowOf(std::span<const AttrRow<Object>> rows, const Quill::TypeData& type,
                             const Quill::AttrData& attr) {
  return rows[static_cast<std::size_t>(&attr - type.attrs().data())];
}

// inspectOperation through a type's attribute table (`rows`, the table the
// type's module records were built from, in the same order): the attribute
// must be known and accept the operation, a call's arguments must fit its
// parameters, and only a class-level method may do without an object (a
// class-level request has no table).
template <class Object>
Result dispatch(std::span<const AttrRow<Object>> rows, TypeIndex index, Value& result, Object* object,
                AttrId attr, const Request& request) {
  const auto& type = typeData(index);
  const Quill::AttrData* found = nullptr;
  if (auto r = Quill::Inspect::checkOperation(type, attr, request.op, found); r != Result::done) return r;
  if (request.op == Op::call) Quill::Inspect::checkArgs(type, *found, request.operand.args);
  if (object == nullptr && found->kind != AttrKind::staticMethod) {
    throw ArgumentError(request.op == Op::call ? "a table is needed to call a method of it"
                                               : "a table is needed to reach its attributes");
  }
  const auto& row = rowOf(rows, type, *found);
  return row.access ? row.access(result, object, request) : Result::unsupported;
}

// genericIfIterator through a type's attribute table: no iterator for an
// unknown or not iterable attribute.
template <class Object>
Iter walk(std::span<const AttrRow<Object>> rows, TypeIndex index, const Object& object, const Value* startKey,
          AttrId attr) {
  const auto& type = typeData(index);
  const Quill::AttrData* found = type.attr(attr);
  if (found == nullptr) return {};
  const auto& row = rowOf(rows, type, *found);
  return row.walk ? row.walk(object, startKey) : Iter{};
}

// The attribute declarations of each type with attributes, from its table.
std::vector<AttrDecl> entryAttrs();
std::vector<AttrDecl> entryHandleAttrs();
std::vector<AttrDecl> unresolvedEntryAttrs();
std::vector<AttrDecl> utilAttrs();
std::vector<AttrDecl> tableAttrs();

// The iterators (Iterators.cpp).
Iter resolvedEntryIter(const LocalDvpTable& table, const Value* startKey);
Iter syncedEntryIter(const LocalDvpTable& table, const Value* startKey);
Iter entryHandleIter(const LocalDvpTable& table, const Value* startKey);
Iter unresolvedEntryIter(const LocalDvpTable& table, const Value* startKey);
Iter entryViewIter(const LocalDvpTable& table, const Value* startKey);
Iter pendingEntryIter(const LocalDvpTableEntryHandle& handle, const Value* startKey);

// --- declarations ------------------------------------------------------------------

// Type names the attribute tables use.
inline constexpr const char* kBool = "bool";
inline constexpr const char* kU8 = "U8";
inline constexpr const char* kU32 = "U32";
inline constexpr const char* kU64 = "U64";
inline constexpr const char* kIndex = "Asic::SwTableBase::Index";
inline constexpr const char* kHwIndex = "Asic::Index";
inline constexpr const char* kEntry = "VelarL3Vfi::LocalDvpTable::Entry";
inline constexpr const char* kBaseHandle = "Asic::SwTableBase::EntryHandle";
inline constexpr const char* kHwTable = "Asic::HwTable";
inline constexpr const char* kMountGroup = "Ledger::MountGroup";

inline const ParamDecl kKeyParam{"key", kIndex, K::u32};
inline const ParamDecl kSwTableParam{"swTable", kLocalDvpTableTypeName, K::node};
inline const ParamDecl kHwTableParam{"hwTable", kHwTable, K::node};
inline const ParamDecl kHdlParam{"hdl", kBaseHandle, K::node};
inline const ParamDecl kNameParam{"name", "Quill::String", K::string};

inline AttrDecl constant(AttrId id, const char* name, const char* type, K kind) {
  return {id, name, AttrKind::constant, type, kind, ops(Op::read)};
}

// A stored field: read, and set when writable.
inline AttrDecl field(AttrId id, const char* name, const char* type, K kind, bool writable = false) {
  if (!writable) return {id, name, AttrKind::value, type, kind, ops(Op::read)};
  return {id, name, AttrKind::value, type, kind, ops(Op::read, Op::set), Quill::kAttrWritable};
}

inline AttrDecl method(AttrId id, const char* name, std::vector<ParamDecl> params,
                       const char* result = nullptr, K resultKind = K::none,
                       AttrKind kind = AttrKind::method) {
  return {id, name, kind, result, resultKind, ops(Op::call), 0, nullptr, K::none, std::move(params)};
}

// Described in the module, refusing every generic operation.
inline AttrDecl listed(AttrId id, const char* name, std::vector<ParamDecl> params,
                       const char* result = nullptr, K resultKind = K::none,
                       AttrKind kind = AttrKind::method) {
  return {id, name, kind, result, resultKind, 0, Quill::kAttrListed, nullptr, K::none, std::move(params)};
}

// A keyed collection or view of the table (key Asic::SwTableBase::Index).
inline AttrDecl keyed(AttrId id, const char* name, AttrKind kind, const char* type, K valueKind,
                      std::uint32_t accepted, bool iterable, std::vector<ParamDecl> ctorArgs = {}) {
  return {id,     name,   kind, type, valueKind, accepted, iterable ? Quill::kAttrIterable : std::uint8_t{0},
          kIndex, K::u32, std::move(ctorArgs)};
}

}  // namespace VelarL3Vfi::Introspection::detail
