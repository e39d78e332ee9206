// The generic interface of the table's records: EntryHandle, UnresolvedEntry,
// the adaptor Util and the adaptor loader UtilLoader.
#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/UtilLoader.h"
#include "VelarL3Vfi/introspection/Common.h"
#include "platform/Kiv/Exceptions.h"

namespace VelarL3Vfi {

const Quill::TypeData* LocalDvpTableUtil::typeData() const noexcept {
  return &VelarL3Vfi::typeData(kUtilType);
}

namespace Introspection {

using namespace detail;

// --- EntryHandle ---------------------------------------------------------------

Result inspectOperation(Value& result, LocalDvpTableEntryHandle& handle, AttrId attr, Op op,
                        const Value* key, Operand operand) {
  const Quill::AttrData* found = nullptr;
  if (auto r = Quill::Inspect::checkOperation(typeData(kEntryHandleType), attr, op, found);
      r != Result::done) {
    return r;
  }
  switch (attr) {
    case EntryHandleAttr::key:
      return put(result, Value::u32(handle.key().value));
    case EntryHandleAttr::swTable:
      return put(result, Value::node(Quill::Ptr<LocalDvpTable>(handle.swTable())));
    case EntryHandleAttr::pendingEntry:
      switch (op) {
        case Op::count:
          return put(result, Value::u32(handle.pendingEntryCount()));
        case Op::front:
          return put(result, entryValue(handle.pendingEntryFront()));
        case Op::back:
          return put(result, entryValue(handle.pendingEntryBack()));
        case Op::enqueue:
          handle.pendingEntryEnq(asEntry(needValue(operand)));
          return Result::done;
        case Op::dequeue:
          // Queued entries have no key: a keyed dequeue names nothing.
          if (key != nullptr) return Result::unsupported;
          return put(result, entryValue(handle.pendingEntryDeq()));
        default:
          break;
      }
      break;
    default:
      break;
  }
  return Result::unsupported;
}

Result constructEntryHandle(Value& result, std::span<const Value> args) {
  const auto& type = typeData(kEntryHandleType);
  const auto params = type.ctorParams();
  if (args.size() != params.size()) throw ArgumentError("an EntryHandle is built from key and swTable");
  const std::uint32_t key = args[0].asU32();
  auto* table = nodeAs<LocalDvpTable>(args[1], kLocalDvpTableTypeName);
  return put(result, Value::node(LocalDvpTableEntryHandle::EntryHandleIs(key, table)));
}

// --- UnresolvedEntry -----------------------------------------------------------

Result inspectOperation(Value& result, LocalDvpTableUnresolvedEntry& entry, AttrId attr, Op op,
                        const Value* /*key*/, Operand operand) {
  const Quill::AttrData* found = nullptr;
  if (auto r = Quill::Inspect::checkOperation(typeData(kUnresolvedEntryType), attr, op, found);
      r != Result::done) {
    return r;
  }
  switch (attr) {
    case UnresolvedEntryAttr::key:
      return put(result, Value::u32(entry.key().value));
    case UnresolvedEntryAttr::entry:
      if (op == Op::read) return put(result, entryValue(entry.entry()));
      entry.entryIs(asEntry(needValue(operand)));
      return Result::done;
    default:
      break;
  }
  return Result::unsupported;
}

// --- Util -------------------------------------------------------------------------

Result inspectOperation(Value& result, LocalDvpTableUtil& util, AttrId attr, Op op,
                        const Value* /*key*/, Operand operand) {
  const auto& type = typeData(kUtilType);
  const Quill::AttrData* found = nullptr;
  if (auto r = Quill::Inspect::checkOperation(type, attr, op, found); r != Result::done) return r;
  // Only the three callable methods accept an operation (call).
  Quill::Inspect::checkArgs(type, *found, operand.args);
  switch (attr) {
    case UtilAttr::minIndex:
      return put(result, Value::u32(util.minIndex()));
    case UtilAttr::maxIndex:
      return put(result, Value::u32(util.maxIndex()));
    case UtilAttr::dependentFieldValueToHwIndex:
      return put(result, Value::u32(util.dependentFieldValueToHwIndex(operand.args[0].asU32())));
    default:
      break;
  }
  return Result::unsupported;
}

// --- UtilLoader ---------------------------------------------------------------------

Result inspectOperation(Value& /*result*/, LocalDvpTableUtilLoader& /*loader*/, AttrId attr, Op op,
                        const Value* /*key*/, Operand /*operand*/) {
  // The loader has no attribute: every request is for an unknown one.
  const Quill::AttrData* found = nullptr;
  return Quill::Inspect::checkOperation(typeData(kUtilLoaderType), attr, op, found);
}

Quill::Ptr<Quill::Node> newUtilLoaderForDir(const Quill::String& name, std::span<const Value> args) {
  return LocalDvpTableUtilLoader::create(name, args.empty() ? nullptr : args.data());
}

// --- the tables of entry points ---------------------------------------------------------

namespace {

Result inspectHandle(Value& result, Target object, AttrId attr, Op op, const Value* key,
                     Operand operand) {
  auto& handle = targetNode<LocalDvpTableEntryHandle>(object, "VelarL3Vfi::LocalDvpTable::EntryHandle");
  return inspectOperation(result, handle, attr, op, key, operand);
}

Iter handleIterator(Target object, const Value* startKey, AttrId attr) {
  auto& handle = targetNode<LocalDvpTableEntryHandle>(object, "VelarL3Vfi::LocalDvpTable::EntryHandle");
  return genericIfIterator(handle, startKey, attr);
}

Result inspectUnresolved(Value& result, Target object, AttrId attr, Op op, const Value* key,
                         Operand operand) {
  auto& entry =
      targetNode<LocalDvpTableUnresolvedEntry>(object, "VelarL3Vfi::LocalDvpTable::UnresolvedEntry");
  return inspectOperation(result, entry, attr, op, key, operand);
}

Result inspectUtil(Value& result, Target object, AttrId attr, Op op, const Value* key,
                   Operand operand) {
  auto& util = targetNode<LocalDvpTableUtil>(object, "VelarL3Vfi::LocalDvpTable::Util");
  return inspectOperation(result, util, attr, op, key, operand);
}

Result inspectLoader(Value& result, Target object, AttrId attr, Op op, const Value* key,
                     Operand operand) {
  auto& loader = targetNode<LocalDvpTableUtilLoader>(object, "VelarL3Vfi::LocalDvpTable::UtilLoader");
  return inspectOperation(result, loader, attr, op, key, operand);
}

}  // namespace

const Quill::Inspect::GenericIf entryHandleGenericIf{
    &inspectHandle, &handleIterator, &constructEntryHandle, nullptr, nullptr, nullptr,
};
const Quill::Inspect::GenericIf unresolvedEntryGenericIf{
    &inspectUnresolved, &noIterator, nullptr, nullptr, nullptr, nullptr,
};
const Quill::Inspect::GenericIf utilGenericIf{
    &inspectUtil, &noIterator, nullptr, nullptr, nullptr, nullptr,
};
const Quill::Inspect::GenericIf utilLoaderGenericIf{
    &inspectLoader, &noIterator, nullptr, &newUtilLoaderForDir, nullptr, nullptr,
};

}  // namespace Introspection
}  // namespace VelarL3Vfi
