#pragma once
// Helpers shared by the generic entry points of the table's types (private to
// VelarL3Vfi/introspection).
#include <algorithm>
#include <cstdint>
#include <string>

#include "VelarL3Vfi/Entry.h"
#include "VelarL3Vfi/Introspection.h"
#include "VelarL3Vfi/TypeModule.h"
#include "platform/Quill/GenericIf.h"

namespace VelarL3Vfi::Introspection::detail {

using Quill::Inspect::ArgumentError;
using Quill::Inspect::Target;
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

}  // namespace VelarL3Vfi::Introspection::detail
