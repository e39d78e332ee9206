#pragma once
// The values of the runtime's generic interface (GenericIf.h). Whatever passes
// through the interface (results, keys, set values, arguments) is a Value: a
// small tagged value that owns what it holds. The result area of an operation
// is a Value the caller passes in; an operation that yields nothing leaves it
// as it was.
//
//   none      no value
//   boolean   one byte; u8, u32, u64: unsigned numbers of that width
//   string    a Quill::String
//   node      a counted reference to a node (holds one use; may be null)
//   related   a node handed over through the related-node encoding
//             (opResEncRelNode): the counted reference together with the
//             node's type in its module, so that a browser can go on
//             inspecting it generically
//   record    a copy of a value of a value type (an Entry holds its own use of
//             the handle inside it), tagged with its type
//
// A Value read as a kind it is not raises ArgumentError, the error of every
// malformed request (GenericRequest.h).
#include <any>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"
#include "platform/Quill/TypeModule.h"

namespace Quill::Inspect {

// A malformed request: an operand of the wrong kind, a missing key or
// argument, an argument list of the wrong length, an object of another type.
class ArgumentError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// A node handed over through the related-node encoding.
struct Related {
  Ptr<Node> node;
  const TypeData* type = nullptr;  // the node's type in its module; null for a null node
};

// A copy of a value of a value type, tagged with its type (null for a type no
// module describes, e.g. a framework struct passed as an argument).
struct Record {
  const TypeData* type = nullptr;
  std::any value;
};

class Value {
 public:
  Value() = default;

  static Value boolean(bool b) { return Value(Storage(std::in_place_index<1>, b)); }
  static Value u8(std::uint8_t n) { return Value(Storage(std::in_place_index<2>, n)); }
  static Value u32(std::uint32_t n) { return Value(Storage(std::in_place_index<3>, n)); }
  static Value u64(std::uint64_t n) { return Value(Storage(std::in_place_index<4>, n)); }
  static Value string(String s) { return Value(Storage(std::in_place_index<5>, std::move(s))); }
  template <class T>
  static Value node(Ptr<T> n) {
    return Value(Storage(std::in_place_index<6>, Ptr<Node>(std::move(n))));
  }
  static Value node(std::nullptr_t) { return Value(Storage(std::in_place_index<6>, Ptr<Node>())); }
  static Value related(Ptr<Node> n, const TypeData* type) {
    return Value(Storage(std::in_place_index<7>, Related{std::move(n), type}));
  }
  template <class T>
  static Value record(const TypeData* type, T value) {
    return Value(Storage(std::in_place_index<8>, Record{type, std::any(std::move(value))}));
  }

  ValueKind kind() const noexcept { return static_cast<ValueKind>(v_.index()); }
  bool isNone() const noexcept { return v_.index() == 0; }

  // Typed reads; each raises ArgumentError when the value is of another kind.
  bool asBool() const { return get<1>("bool"); }
  std::uint8_t asU8() const { return get<2>("U8"); }
  std::uint32_t asU32() const { return get<3>("U32"); }
  std::uint64_t asU64() const { return get<4>("U64"); }
  const String& asString() const { return get<5>("string"); }
  // The node of a node or related value; none reads as a null node.
  Node* asNode() const {
    if (isNone()) return nullptr;
    if (const auto* p = std::get_if<6>(&v_)) return p->get();
    if (const auto* r = std::get_if<7>(&v_)) return r->node.get();
    throw ArgumentError(mismatch("node"));
  }
  const Related& asRelated() const { return get<7>("related node"); }
  const Record& asRecord() const { return get<8>("record"); }

  // The record's value if it is a T, else null.
  template <class T>
  const T* recordIf() const noexcept {
    const auto* r = std::get_if<8>(&v_);
    return r ? std::any_cast<T>(&r->value) : nullptr;
  }
  template <class T>
  T* recordIf() noexcept {
    auto* r = std::get_if<8>(&v_);
    return r ? std::any_cast<T>(&r->value) : nullptr;
  }
  // The record's value; ArgumentError when it is no record of T.
  template <class T>
  const T& asRecordOf(std::string_view typeName) const {
    if (const T* value = recordIf<T>()) return *value;
    throw ArgumentError(mismatch(typeName));
  }
  const TypeData* recordType() const noexcept {
    const auto* r = std::get_if<8>(&v_);
    return r ? r->type : nullptr;
  }

 private:
  using Storage = std::variant<std::monostate, bool, std::uint8_t, std::uint32_t, std::uint64_t,
                               String, Ptr<Node>, Related, Record>;
  // kind() is the alternative's index: one alternative per kind, in order.
  static_assert(std::variant_size_v<Storage> == static_cast<std::size_t>(ValueKind::record) + 1);
  explicit Value(Storage v) : v_(std::move(v)) {}

  template <std::size_t I>
  const std::variant_alternative_t<I, Storage>& get(std::string_view wanted) const {
    if (const auto* p = std::get_if<I>(&v_)) return *p;
    throw ArgumentError(mismatch(wanted));
  }
  std::string mismatch(std::string_view wanted) const {
    return "expected a " + std::string(wanted) + " value, got " +
           std::string(valueKindName(kind()));
  }

  Storage v_;
};

}  // namespace Quill::Inspect
