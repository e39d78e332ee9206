#pragma once
// The requests of the runtime's generic interface (GenericIf.h): the operation
// and result codes of inspectOperation, its object and operand, and the checks
// every inspectOperation starts with.
//
// Failures. An unknown attribute and an unsupported operation are answered
// with result codes, never by exception. An operand of the wrong kind, a
// missing key or argument, or an argument list of the wrong length is the
// caller's error and raises ArgumentError. Errors raised by the operation
// behind a call pass through unchanged.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/Quill/GenericValue.h"
#include "platform/Quill/Node.h"
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
