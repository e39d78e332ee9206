#pragma once
// A small C++ facade over the generic interface, for tools and tests: read or
// set an attribute by name or id, walk a collection, call a method with typed
// (or textual) arguments, create objects from constructor arguments, without
// handling raw result areas, operand blocks or iterator tables.
//
//   namespace In = VelarL3Vfi::Inspect;
//   auto table = VelarL3Vfi::localDvpTableFactory();
//   In::call(*table, "entryCommit", {In::Value::u32(7), In::entry(e)});
//   In::Outcome n = In::get(*table, "entrys");            // n.value.asU32()
//   In::Outcome r = In::get(*table, "resolvedEntry", In::Value::u32(7));
//   if (r.code == In::Result::noValue) ...                // absent or empty slot
//   for (const auto& step : In::walk(*table, "entry"))
//     std::cout << In::toText(step.key) << " " << In::toText(*step.value) << "\n";
//   In::callText(*table, "entryRemove", {"7"});           // arguments as text
//
// Objects. An Object is a node whose type a loaded module describes (its
// typeData()), a record value of a module's value type (an Entry wrapped with
// entry(), whose attributes can then be read and set in place), or a type
// alone, for class-level methods (Object::ofType). A node or related-node
// result can be inspected further by passing the result's Value as the
// object.
//
// Outcomes. Every request answers with the generic interface's result code
// and the value it wrote: Result::done with the value, Result::unsupported
// (the attribute does not take the operation, or is a listed method),
// Result::unknownAttr (no attribute of that name or id), Result::noValue and
// Result::noKey (absent values and keys). Malformed requests (a missing key,
// an argument of the wrong kind, text that does not parse) raise
// Quill::Inspect::ArgumentError; errors of the operation behind a call (and of
// the text codec) pass through.
//
// Text. toText writes a value as the tools print it and fromText reads one
// back: booleans "true"/"false", unsigned decimals, node references "null" or
// "@<node directory id>" (as in the text form of an Entry), records in their
// type's text form (an Entry as
// "VelarL3Vfi::LocalDvpTable::Entry(localPortNextHopHandle=@3, ...)").
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "VelarL3Vfi/Entry.h"
#include "platform/Quill/GenericIf.h"

namespace VelarL3Vfi::Inspect {

using Quill::AttrId;
using Quill::Inspect::ArgumentError;
using Quill::Inspect::Op;
using Quill::Inspect::Result;
using Quill::Inspect::Value;

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
  Object(Quill::Node& node);  // NOLINT(google-explicit-constructor)
  template <class T>
  Object(const Quill::Ptr<T>& node) : Object(deref(node.get())) {}  // NOLINT
  // A record value (its attributes are set in place), or a node or related
  // node value (a non-null one).
  Object(Value& value);  // NOLINT(google-explicit-constructor)
  // A node or related node value (a record needs the non-const form).
  Object(const Value& value);  // NOLINT(google-explicit-constructor)
  // A type without instance: class-level methods only.
  static Object ofType(const Quill::TypeData& type);

  const Quill::TypeData& type() const noexcept { return *type_; }
  Quill::Node* node() const noexcept { return target_.node; }
  Quill::Inspect::Target target() const noexcept { return target_; }

 private:
  explicit Object(const Quill::TypeData& type) : type_(&type) {}
  template <class T>
  static Quill::Node& deref(T* node) {
    if (node == nullptr) throw ArgumentError("cannot inspect a null node");
    return const_cast<Quill::Node&>(static_cast<const Quill::Node&>(*node));
  }

  const Quill::TypeData* type_ = nullptr;
  Quill::Inspect::Target target_;
};

// An Entry as a record value (to pass as argument, or to inspect).
Value entry(const LocalDvpTableEntry& e);

// The attribute of the object's type with that name or id; null when none.
const Quill::AttrData* findAttr(const Object& object, std::string_view attr);
const Quill::AttrData* findAttr(const Object& object, AttrId attr);

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
  Quill::Ptr<Quill::Node> hold_;
  Quill::Inspect::UniqueIter it_;
};

Walk walk(Object object, AttrId attr, const Value* startKey = nullptr);
Walk walk(Object object, std::string_view attr, const Value* startKey = nullptr);

// Creation: genericIfConstructFromCtorArgs (unsupported for a type without
// it) and newEntityForDir (ArgumentError for a type without it).
Outcome construct(const Quill::TypeData& type, const std::vector<Value>& args = {});
Quill::Ptr<Quill::Node> newEntityForDir(const Quill::TypeData& type, const Quill::String& name,
                                        const std::vector<Value>& args = {});

// A type of the announced modules by name; null when none.
const Quill::TypeData* findType(std::string_view name);

// Text.
std::string toText(const Value& value);
Value fromText(Quill::ValueKind kind, std::string_view typeName, std::string_view text);
// read with the key as text (none for an attribute without key)
Outcome getText(Object object, std::string_view attr, std::optional<std::string_view> key = {});
// set with the value as text
Outcome setText(Object object, std::string_view attr, std::string_view value);
// call with the arguments as text, converted by the method's parameter types
Outcome callText(Object object, std::string_view attr, const std::vector<std::string>& args);

// One line describing an attribute: id, name, kind, type, accepted operations.
std::string describe(const Quill::TypeData& type, const Quill::AttrData& attr);
std::string_view attrKindName(Quill::AttrKind kind) noexcept;

}  // namespace VelarL3Vfi::Inspect
