#include "platform/Quill/Inspect.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "platform/Quill/GenericIf.h"
#include "platform/Quill/NodeDirectory.h"

namespace Quill::Inspect {

namespace {

const GenericIf& genericIfOf(const TypeData& type) {
  if (type.genericIf == nullptr) {
    throw ArgumentError(std::string(type.name) + " has no generic interface");
  }
  return *type.genericIf;
}

const TypeData& typeOfNode(const Node& node) {
  const auto* type = node.typeData();
  if (type == nullptr || type->genericIf == nullptr) {
    throw ArgumentError("the node's type is not described by any loaded type module");
  }
  return *type;
}

std::string_view attrNameOf(const TypeData& type, const AttrData& attr) {
  return type.module->name(attr.name);
}

const AttrData& needAttr(const Object& object, std::string_view attr) {
  const auto* found = findAttr(object, attr);
  if (found == nullptr) {
    throw ArgumentError(std::string(object.type().name) + " has no attribute " + std::string(attr));
  }
  return *found;
}

template <class U>
U parseUnsigned(std::string_view text) {
  U value{};
  const auto* end = text.data() + text.size();
  auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || stop != end || text.empty()) {
    throw ArgumentError("not an unsigned number of " + std::to_string(std::numeric_limits<U>::digits) +
                        " bits: '" + std::string(text) + "'");
  }
  return value;
}

}  // namespace

// --- Object ----------------------------------------------------------------------

Object::Object(Node& node) : type_(&typeOfNode(node)) { target_.node = &node; }

Object::Object(Value& value) {
  if (value.kind() == ValueKind::record) {
    type_ = value.recordType();
    if (type_ == nullptr || type_->genericIf == nullptr) {
      throw ArgumentError("the record's type is not described by any loaded type module");
    }
    target_.value = &value;
    return;
  }
  *this = Object(static_cast<const Value&>(value));
}

Object::Object(const Value& value) {
  if (value.kind() == ValueKind::record) {
    throw ArgumentError("a record is inspected through a non-const value (its attributes may be set)");
  }
  Node* node = value.asNode();
  if (node == nullptr) throw ArgumentError("cannot inspect a null node");
  type_ = &typeOfNode(*node);
  target_.node = node;
}

Object Object::ofType(const TypeData& type) {
  genericIfOf(type);
  return Object(type);
}

const AttrData* findAttr(const Object& object, std::string_view attr) { return object.type().attr(attr); }

const AttrData* findAttr(const Object& object, AttrId attr) { return object.type().attr(attr); }

// --- requests --------------------------------------------------------------------

Outcome request(Object object, AttrId attr, Op op, const Value* key, const Value* value) {
  Outcome out;
  out.code = genericIfOf(object.type()).inspectOperation(out.value, object.target(), attr, op, key,
                                                         Operand{value, {}});
  return out;
}

Outcome request(Object object, std::string_view attr, Op op, const Value* key, const Value* value) {
  const auto* found = findAttr(object, attr);
  if (found == nullptr) return Outcome{Result::unknownAttr, {}};
  return request(object, found->id, op, key, value);
}

Outcome get(Object object, std::string_view attr) { return request(object, attr, Op::read); }
Outcome get(Object object, std::string_view attr, const Value& key) {
  return request(object, attr, Op::read, &key);
}
Outcome get(Object object, AttrId attr) { return request(object, attr, Op::read); }
Outcome get(Object object, AttrId attr, const Value& key) { return request(object, attr, Op::read, &key); }

Outcome set(Object object, std::string_view attr, const Value& value) {
  return request(object, attr, Op::set, nullptr, &value);
}

Outcome call(Object object, AttrId attr, const std::vector<Value>& args) {
  Outcome out;
  out.code = genericIfOf(object.type()).inspectOperation(out.value, object.target(), attr, Op::call,
                                                         nullptr, Operand{nullptr, args});
  return out;
}

Outcome call(Object object, std::string_view attr, const std::vector<Value>& args) {
  const auto* found = findAttr(object, attr);
  if (found == nullptr) return Outcome{Result::unknownAttr, {}};
  return call(object, found->id, args);
}

// --- walks -----------------------------------------------------------------------

std::optional<Value> Walk::value() const {
  Value v;
  if (!it_ || !it_.obj(v)) return std::nullopt;
  return v;
}

std::vector<Walk::Step> Walk::rest() {
  std::vector<Step> steps;
  for (const auto& step : *this) steps.push_back(step);
  return steps;
}

Walk::iterator::iterator(Walk* walk) : walk_(walk) { load(); }

Walk::iterator& Walk::iterator::operator++() {
  walk_->next();
  load();
  return *this;
}

void Walk::iterator::load() {
  if (walk_ == nullptr || walk_->atEnd()) return;
  step_.key = walk_->key();
  step_.value = walk_->value();
}

Walk walk(Object object, AttrId attr, const Value* startKey) {
  Walk w;
  const auto& gi = genericIfOf(object.type());
  if (gi.genericIfIterator == nullptr || object.target().node == nullptr) return w;
  w.hold_ = Ptr<Node>(object.node());
  w.it_ = UniqueIter(gi.genericIfIterator(object.target(), startKey, attr));
  return w;
}

Walk walk(Object object, std::string_view attr, const Value* startKey) {
  const auto* found = findAttr(object, attr);
  if (found == nullptr) return Walk();
  return walk(object, found->id, startKey);
}

// --- creation --------------------------------------------------------------------

Outcome construct(const TypeData& type, const std::vector<Value>& args) {
  const auto& gi = genericIfOf(type);
  if (gi.constructFromCtorArgs == nullptr) return Outcome{Result::unsupported, {}};
  Outcome out;
  out.code = gi.constructFromCtorArgs(out.value, args);
  return out;
}

Ptr<Node> newEntityForDir(const TypeData& type, const String& name, const std::vector<Value>& args) {
  const auto& gi = genericIfOf(type);
  if (gi.newEntityForDir == nullptr) {
    throw ArgumentError(std::string(type.name) + " cannot be created by name");
  }
  return gi.newEntityForDir(name, args);
}

const TypeData* findType(std::string_view name) { return ModuleInspectData::findType(name); }

// --- text ------------------------------------------------------------------------

std::string toText(const Value& value) {
  using K = ValueKind;
  switch (value.kind()) {
    case K::none:
      return "none";
    case K::boolean:
      return value.asBool() ? "true" : "false";
    case K::u8:
      return std::to_string(value.asU8());
    case K::u32:
      return std::to_string(value.asU32());
    case K::u64:
      return std::to_string(value.asU64());
    case K::string:
      return value.asString().str();
    case K::node:
    case K::related: {
      const Node* node = value.asNode();
      if (node == nullptr) return "null";
      std::string text = "@";  // appended, not "@" + ...: g++ 12 -O2 reports a false -Wrestrict there
      text += std::to_string(NodeDirectory::idOf(*node));
      return text;
    }
    case K::record: {
      const auto* type = value.recordType();
      if (type && type->genericIf && type->genericIf->encodeText) return type->genericIf->encodeText(value);
      return std::string("(") + (type ? type->name : "record") + ")";
    }
  }
  return "?";
}

Value fromText(ValueKind kind, std::string_view typeName, std::string_view text) {
  using K = ValueKind;
  switch (kind) {
    case K::none:
      return Value();
    case K::boolean:
      if (text == "true" || text == "1") return Value::boolean(true);
      if (text == "false" || text == "0") return Value::boolean(false);
      throw ArgumentError("not a bool: '" + std::string(text) + "'");
    case K::u8:
      return Value::u8(parseUnsigned<std::uint8_t>(text));
    case K::u32:
      return Value::u32(parseUnsigned<std::uint32_t>(text));
    case K::u64:
      return Value::u64(parseUnsigned<std::uint64_t>(text));
    case K::string:
      return Value::string(String(text));
    case K::node:
    case K::related: {
      if (text == "null") return Value::node(nullptr);
      if (text.empty() || text.front() != '@') {
        throw ArgumentError("not a node reference ('null' or '@<id>'): '" + std::string(text) + "'");
      }
      Node* node = NodeDirectory::find(parseUnsigned<std::uint64_t>(text.substr(1)));
      if (node == nullptr) throw ArgumentError("no live node " + std::string(text));
      return Value::node(Ptr<Node>(node));
    }
    case K::record: {
      const auto* type = findType(typeName);
      if (type == nullptr || type->genericIf == nullptr || type->genericIf->decodeText == nullptr) {
        throw ArgumentError(std::string(typeName) + " has no text form");
      }
      return type->genericIf->decodeText(text);
    }
  }
  throw ArgumentError("unknown value kind");
}

Outcome getText(Object object, std::string_view attr, std::optional<std::string_view> key) {
  const auto& a = needAttr(object, attr);
  if (!key) return request(object, a.id, Op::read);
  const Value k = fromText(a.keyKind, object.type().module->typeName(a.keyType), *key);
  return request(object, a.id, Op::read, &k);
}

Outcome setText(Object object, std::string_view attr, std::string_view value) {
  const auto& type = object.type();
  const auto& a = needAttr(object, attr);
  // A node value is set from what its constructor takes.
  ValueKind kind = a.valueKind;
  std::string_view typeName = type.module->typeName(a.type);
  if (a.kind == AttrKind::nodeValue && !type.params(a).empty()) {
    kind = type.params(a)[0].kind;
    typeName = type.module->typeName(type.params(a)[0].type);
  }
  const Value v = fromText(kind, typeName, value);
  return request(object, a.id, Op::set, nullptr, &v);
}

Outcome callText(Object object, std::string_view attr, const std::vector<std::string>& args) {
  const auto& type = object.type();
  const auto& a = needAttr(object, attr);
  const auto params = type.params(a);
  if (params.size() != args.size()) {
    throw ArgumentError(std::string(attr) + " takes " + std::to_string(params.size()) + " argument(s), got " +
                        std::to_string(args.size()));
  }
  std::vector<Value> values;
  values.reserve(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    values.push_back(fromText(params[i].kind, type.module->typeName(params[i].type), args[i]));
  }
  return call(object, a.id, values);
}

// --- description -------------------------------------------------------------------

std::string_view attrKindName(AttrKind kind) noexcept {
  using A = AttrKind;
  switch (kind) {
    case A::constant: return "constant";
    case A::value: return "value";
    case A::nodeValue: return "node value";
    case A::collection: return "collection";
    case A::nodeCollection: return "node collection";
    case A::view: return "view";
    case A::queue: return "queue";
    case A::method: return "method";
    case A::staticMethod: return "static method";
  }
  return "?";
}

std::string describe(const TypeData& type, const AttrData& attr) {
  const auto* module = type.module;
  std::string line = std::to_string(attr.id) + " " + std::string(attrNameOf(type, attr)) + " : " +
                     std::string(attrKindName(attr.kind));
  if (attr.listed()) line += ", listed";
  if (attr.keyType != kNoName) line += ", key " + std::string(module->typeName(attr.keyType));
  if (attr.type != kNoName) line += ", " + std::string(module->typeName(attr.type));
  const auto params = type.params(attr);
  if (!params.empty()) {
    line += " (";
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (i != 0) line += ", ";
      line += std::string(module->name(params[i].name)) + ": " + std::string(module->typeName(params[i].type));
    }
    line += ")";
  }
  line += " [";
  bool first = true;
  for (unsigned code = 0; code < 32; ++code) {
    if (!attr.accepts(code)) continue;
    if (!first) line += " ";
    first = false;
    line += opName(static_cast<Op>(code));
  }
  line += "]";
  if (attr.iterable()) line += " iterable";
  return line;
}

}  // namespace Quill::Inspect
