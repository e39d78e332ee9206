#pragma once
// The runtime's generic interface: how the runtime, and any tool that browses
// an agent's state, handles objects of a module's types without knowing their
// C++ types. Attributes are addressed by id (see the attribute table of a
// type module, TypeModule.h), collections are walked by iterator, methods are
// called with argument lists, and objects are created from constructor
// arguments.
//
// Each type of a module provides its entry points in one GenericIf table
// (TypeData::genericIf):
//
//   inspectOperation(result, object, attribute, operation, key, operand)
//       performs one operation on one attribute and returns a result code.
//       The key is given for keyed reads, contains and lookups; the operand
//       carries the value for set and enqueue (for a node value, the node)
//       or, for call, the argument list in parameter order. Attribute
//       kWholeValue addresses the whole value (value types only).
//   genericIfIterator(object, start key or none, attribute)
//       a new iterator over a collection, view or queue attribute, with its
//       table of operations (IterOps); no iterator for any other attribute.
//   constructFromCtorArgs(result, arguments), newEntityForDir(name, arguments)
//       create objects of the type.
//
// Values. Whatever passes through the interface (results, keys, set values,
// arguments) is a Value: a small tagged value that owns what it holds. The
// result area of an operation is a Value the caller passes in; an operation
// that yields nothing leaves it as it was.
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
// Failures. An unknown attribute and an unsupported operation are answered
// with result codes, never by exception. An operand of the wrong kind, a
// missing key or argument, or an argument list of the wrong length is the
// caller's error and raises ArgumentError. Errors raised by the operation
// behind a call pass through unchanged.
#include <any>
#include <cstdint>
#include <span>
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

// Operation codes (one byte).
enum class Op : std::uint8_t {
  read = 0,        // the attribute's value, or the value at the given key
  set = 1,         // stores or creates (instantiates) the value
  del = 2,         // removes the value
  count = 3,       // the collection's element count (32 bits)
  capacity = 4,    // the collection's capacity figure (23 bits)
  contains = 5,    // bool: the key is present
  front = 6,       // queue: the first element
  back = 7,        // queue: the last element
  enqueue = 8,     // queue: append the operand
  dequeue = 9,     // queue: remove and yield the first element
  call = 10,       // run the method with the argument list
  nonDefault = 11,  // whole value: bool, the value differs from the default
  equal = 12,      // whole value: bool, equal to the operand
  less = 13,       // whole value: bool, orders before the operand
  lookup = 28,     // like read, but tells an absent key from an empty value
};

// Result codes (one byte).
enum class Result : std::uint8_t {
  done = 0,         // the result area holds the value (if any)
  unsupported = 1,  // the operation is not supported on this attribute
  unknownAttr = 2,  // the attribute id is unknown to the type
  noValue = 3,      // the key is present but holds no value
  noKey = 4,        // the key is absent
};

// Addresses the whole value instead of one attribute.
inline constexpr AttrId kWholeValue = 0;

// The capacity figure is 23 bits wide.
inline constexpr std::uint32_t kCapacityMask = 0x7FFFFF;

constexpr std::uint32_t opBit(Op op) noexcept { return 1u << static_cast<unsigned>(op); }
template <class... Ops>
constexpr std::uint32_t ops(Ops... o) noexcept {
  return (0u | ... | opBit(o));
}

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

// The object of a request: a node of the type, or a record value of a value
// type. Class-level requests (static methods) need neither.
struct Target {
  Node* node = nullptr;
  Value* value = nullptr;
};

// What a request carries besides its key: the value (set, enqueue, the
// whole-value comparisons) or the argument list (call).
struct Operand {
  const Value* value = nullptr;
  std::span<const Value> args = {};
};

// The operations of an iterator, in this order.
struct IterOps {
  bool (*iterObj)(void* it, Value& out);  // copies out the current value; false when none
  void (*iterKey)(void* it, Value& out);  // writes the current key
  bool (*iterNonnull)(void* it);          // true while not at the end
  void (*iterInc)(void* it);              // steps
  void (*iterDel)(void* it);              // destroys the iterator, frees its storage
};

// A raw iterator: its storage and its operations. Null when none was made.
struct Iter {
  void* it = nullptr;
  const IterOps* ops = nullptr;
  explicit operator bool() const noexcept { return it != nullptr; }
};

// Owns a raw iterator and deletes it (iterDel) when it goes.
class UniqueIter {
 public:
  UniqueIter() = default;
  explicit UniqueIter(Iter it) noexcept : it_(it) {}
  UniqueIter(UniqueIter&& other) noexcept : it_(std::exchange(other.it_, Iter{})) {}
  UniqueIter& operator=(UniqueIter&& other) noexcept {
    UniqueIter(std::move(other)).swap(*this);
    return *this;
  }
  ~UniqueIter() {
    if (it_) it_.ops->iterDel(it_.it);
  }
  void swap(UniqueIter& other) noexcept { std::swap(it_, other.it_); }

  explicit operator bool() const noexcept { return static_cast<bool>(it_); }
  const Iter& raw() const noexcept { return it_; }

  bool nonnull() const { return it_ && it_.ops->iterNonnull(it_.it); }
  bool obj(Value& out) const { return it_.ops->iterObj(it_.it, out); }
  Value key() const {
    Value k;
    it_.ops->iterKey(it_.it, k);
    return k;
  }
  void inc() const { it_.ops->iterInc(it_.it); }

 private:
  Iter it_;
};

using InspectFn = Result (*)(Value& result, Target object, AttrId attr, Op op, const Value* key,
                             Operand operand);
using IteratorFn = Iter (*)(Target object, const Value* startKey, AttrId attr);
using ConstructFn = Result (*)(Value& result, std::span<const Value> args);
using NewEntityFn = Ptr<Node> (*)(const String& name, std::span<const Value> args);

// The generic entry points of one type. Entries a type does not have are null.
struct GenericIf {
  InspectFn inspectOperation = nullptr;
  IteratorFn genericIfIterator = nullptr;
  ConstructFn constructFromCtorArgs = nullptr;
  NewEntityFn newEntityForDir = nullptr;
  // Value types: the text form of a record value of the type.
  Value (*decodeText)(std::string_view text) = nullptr;
  std::string (*encodeText)(const Value& record) = nullptr;
};

// The related-node encoding: writes a counted reference to `node` (or a null
// reference) to the result area together with the node's type, and returns
// done. A node that is being destroyed (its live flag already clear) cannot be
// handed out: no use is taken, the result area stays as it was and the answer
// is noValue.
inline Result opResEncRelNode(Value& result, Node* node) {
  if (node != nullptr && !node->nodeFlag(Node::kFlagLive)) return Result::noValue;
  result = Value::related(Ptr<Node>(node), node ? node->typeData() : nullptr);
  return Result::done;
}

// The first two steps of every inspectOperation: the attribute must be known
// to the type (else unknownAttr) and must accept the operation (else
// unsupported; a listed method accepts none). For kWholeValue the type's
// whole-value operations decide; a type without any has no such attribute.
inline Result checkOperation(const TypeData& type, AttrId attr, Op op, const AttrData*& found) {
  found = nullptr;
  const auto code = static_cast<unsigned>(op);
  if (attr == kWholeValue) {
    if (type.wholeValueOps == 0) return Result::unknownAttr;
    return code < 32 && (type.wholeValueOps >> code & 1u) ? Result::done : Result::unsupported;
  }
  found = type.attr(attr);
  if (found == nullptr) return Result::unknownAttr;
  return found->accepts(code) ? Result::done : Result::unsupported;
}

// Checks an argument list against the attribute's parameters: as many
// arguments as parameters (optional ones may be none), each of its
// parameter's kind; a node argument may be null. Raises ArgumentError.
inline void checkArgs(const TypeData& type, const AttrData& attr, std::span<const Value> args) {
  const auto params = type.params(attr);
  const auto attrName = std::string(type.module->name(attr.name));
  if (args.size() != params.size()) {
    throw ArgumentError(attrName + " takes " + std::to_string(params.size()) + " argument(s), got " +
                        std::to_string(args.size()));
  }
  for (std::size_t i = 0; i < params.size(); ++i) {
    const auto& p = params[i];
    const ValueKind kind = args[i].kind();
    const bool fits = kind == p.kind || (p.optional && kind == ValueKind::none) ||
                      (p.kind == ValueKind::node && (kind == ValueKind::none || kind == ValueKind::related));
    if (!fits) {
      throw ArgumentError(attrName + ": argument " + std::string(type.module->name(p.name)) +
                          " must be a " + std::string(valueKindName(p.kind)) + " (" +
                          std::string(type.module->typeName(p.type)) + "), got " +
                          std::string(valueKindName(kind)));
    }
  }
}

inline std::string_view opName(Op op) noexcept {
  switch (op) {
    case Op::read: return "read";
    case Op::set: return "set";
    case Op::del: return "delete";
    case Op::count: return "count";
    case Op::capacity: return "capacity";
    case Op::contains: return "contains";
    case Op::front: return "front";
    case Op::back: return "back";
    case Op::enqueue: return "enqueue";
    case Op::dequeue: return "dequeue";
    case Op::call: return "call";
    case Op::nonDefault: return "nonDefault";
    case Op::equal: return "equal";
    case Op::less: return "less";
    case Op::lookup: return "lookup";
  }
  return "unknown";
}

inline std::string_view resultName(Result r) noexcept {
  switch (r) {
    case Result::done: return "done";
    case Result::unsupported: return "unsupported";
    case Result::unknownAttr: return "unknown attribute";
    case Result::noValue: return "no value";
    case Result::noKey: return "no key";
  }
  return "unknown result";
}

}  // namespace Quill::Inspect
