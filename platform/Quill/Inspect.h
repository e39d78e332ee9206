#pragma once
// A small C++ facade over the generic interface (GenericIf.h), for tools and
// tests: read or set an attribute by name or id, walk a collection, call a
// method with typed (or textual) arguments, create objects from constructor
// arguments, without handling raw result areas, operand blocks or iterator
// tables. It serves the types of every loaded type module alike; e.g. on a
// node of the table library's LocalDvpTable type:
//
//   namespace In = Quill::Inspect;
//   In::Outcome n = In::get(*table, "entrys");            // n.value.asU32()
//   In::Outcome r = In::get(*table, "resolvedEntry", In::Value::u32(7));
//   if (r.code == In::Result::noValue) ...                // absent or empty slot
//   for (const auto& step : In::walk(*table, "entry"))
//     std::cout << In::toText(step.key) << " " << In::toText(*step.value) << "\n";
//   In::callText(*table, "entryRemove", {"7"});           // arguments as text
//
// Objects. An Object is a node whose type a loaded module describes (its
// typeData()), a record value of a module's value type (whose attributes can
// then be read and set in place), or a type alone, for class-level methods
// (Object::ofType). A node or related-node result can be inspected further by
// passing the result's Value as the object.
//
// Outcomes. Every request answers with the generic interface's result code
// and the value it wrote: Result::done with the value, Result::unsupported
// (the attribute does not take the operation, or is a listed method),
// Result::unknownAttr (no attribute of that name or id), Result::noValue and
// Result::noKey (absent values and keys). Malformed requests (a missing key,
// an argument of the wrong kind, text that does not parse) raise
// ArgumentError; errors of the operation behind a call (and of the text
// codec) pass through.
//
// Text. toText writes a value as the tools print it and fromText reads one
// back: booleans "true"/"false", unsigned decimals, node references "null" or
// "@<node directory id>" (NodeDirectory.h), records in their type's text form
// (GenericIf::encodeText and decodeText).
#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Quill/GenericIter.h"
#include "platform/Quill/GenericRequest.h"
#include "platform/Quill/GenericValue.h"
#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"
#include "platform/Quill/TypeModule.h"

namespace Quill::Inspect {

// What a request answered: the result code and the value written, if any.
struct Outcome {
  Result code = Result::done;
  Value value;
  bool ok() const noexcept { return code == Result::done; }
};

class Object {
 public:
  // A node of a module type (raises ArgumentError for a node no module
  // describes with a generic interface).
  Object(Node& node);  // NOLINT(google-explicit-constructor)
  template <class T>
  Object(const Ptr<T>& node) : Object(deref(node.get())) {}  // NOLINT
  // A record value (its attributes are set in place), or a node or related
  // node value (a non-null one).
  Object(Value& value);  // NOLINT(google-explicit-constructor)
  // A node or related node value (a record needs the non-const form).
  Object(const Value& value);  // NOLINT(google-explicit-constructor)
  // A type without instance: class-level methods only.
  static Object ofType(const TypeData& type);

  const TypeData& type() const noexcept { return *type_; }
  Node* node() const noexcept { return target_.node; }
  Target target() const noexcept { return target_; }

 private:
  explicit Object(const TypeData& type) : type_(&type) {}
  template <class T>
  static Node& deref(T* node) {
    if (node == nullptr) throw ArgumentError("cannot inspect a null node");
    return const_cast<Node&>(static_cast<const Node&>(*node));
  }

  const TypeData* type_ = nullptr;
  Target target_;
};

// The attribute of the object's type with that name or id; null when none.
const AttrData* findAttr(const Object& object, std::string_view attr);
const AttrData* findAttr(const Object& object, AttrId attr);

// Any operation on an attribute. `key` for keyed reads, contains and lookups;
// `value` for set and enqueue (for the whole-value comparisons, attribute
// kWholeValue, the other value).
Outcome request(Object object, AttrId attr, Op op, const Value* key = nullptr, const Value* value = nullptr);
Outcome request(Object object, std::string_view attr, Op op, const Value* key = nullptr,
                const Value* value = nullptr);

// read
Outcome get(Object object, std::string_view attr);
Outcome get(Object object, std::string_view attr, const Value& key);
Outcome get(Object object, AttrId attr);
Outcome get(Object object, AttrId attr, const Value& key);
// set (for a node value attribute: the node its constructor takes)
Outcome set(Object object, std::string_view attr, const Value& value);
// call, with the arguments in parameter order
Outcome call(Object object, std::string_view attr, const std::vector<Value>& args = {});
Outcome call(Object object, AttrId attr, const std::vector<Value>& args = {});

// A walk over a collection, view or queue attribute. The walk keeps the
// object alive and deletes its iterator when it goes. A walk over an
// attribute that cannot be walked is empty and false.
class Walk {
 public:
  struct Step {
    Value key;                   // 0xFFFFFFFF for queued entries
    std::optional<Value> value;  // nothing for a slot without value
  };

  Walk() = default;
  explicit operator bool() const noexcept { return static_cast<bool>(it_); }
  bool atEnd() const { return !it_.nonnull(); }
  Value key() const { return it_.key(); }
  std::optional<Value> value() const;
  void next() const { it_.inc(); }
  // The steps from here to the end.
  std::vector<Step> rest();

  class iterator {
   public:
    using value_type = Step;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    const Step& operator*() const noexcept { return step_; }
    const Step* operator->() const noexcept { return &step_; }
    iterator& operator++();
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const { return walk_ == nullptr || walk_->atEnd(); }

   private:
    friend class Walk;
    explicit iterator(Walk* walk);
    void load();
    Walk* walk_ = nullptr;
    Step step_;
  };
  iterator begin() { return iterator(this); }
  std::default_sentinel_t end() const noexcept { return {}; }

 private:
  friend Walk walk(Object object, AttrId attr, const Value* startKey);
  Ptr<Node> hold_;
  UniqueIter it_;
};

Walk walk(Object object, AttrId attr, const Value* startKey = nullptr);
Walk walk(Object object, std::string_view attr, const Value* startKey = nullptr);

// Creation: genericIfConstructFromCtorArgs (unsupported for a type without
// it) and newEntityForDir (ArgumentError for a type without it).
Outcome construct(const TypeData& type, const std::vector<Value>& args = {});
Ptr<Node> newEntityForDir(const TypeData& type, const String& name, const std::vector<Value>& args = {});

// A type of the announced modules by name; null when none.
const TypeData* findType(std::string_view name);

// Text.
std::string toText(const Value& value);
Value fromText(ValueKind kind, std::string_view typeName, std::string_view text);
// read with the key as text (none for an attribute without key)
Outcome getText(Object object, std::string_view attr, std::optional<std::string_view> key = {});
// set with the value as text
Outcome setText(Object object, std::string_view attr, std::string_view value);
// call with the arguments as text, converted by the method's parameter types
Outcome callText(Object object, std::string_view attr, const std::vector<std::string>& args);

// One line describing an attribute: id, name, kind, type, accepted operations.
std::string describe(const TypeData& type, const AttrData& attr);
std::string_view attrKindName(AttrKind kind) noexcept;

}  // namespace Quill::Inspect
