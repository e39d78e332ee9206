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
// The values, the requests and the iterators of the interface have headers
// of their own, which this one includes: GenericValue.h, GenericRequest.h
// (the codes and the request checks) and GenericIter.h. Tools go through
// the facade over it all, Inspect.h.
#include <span>
#include <string>
#include <string_view>

#include "platform/Quill/GenericIter.h"
#include "platform/Quill/GenericRequest.h"
#include "platform/Quill/GenericValue.h"
#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"
#include "platform/Quill/TypeModule.h"

namespace Quill::Inspect {

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

}  // namespace Quill::Inspect
