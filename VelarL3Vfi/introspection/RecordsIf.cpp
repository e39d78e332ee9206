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

namespace {

using HandleRow = AttrRow<LocalDvpTableEntryHandle>;

std::span<const HandleRow> handleRows() {
  static const HandleRow kRows[] = {
      {field(386, "key", kIndex, K::u32),
       [](Value& r, LocalDvpTableEntryHandle* h, const Request&) {
         return put(r, Value::u32(h->key().value));
       }},
      {field(387, "swTable", kLocalDvpTableTypeName, K::node),
       [](Value& r, LocalDvpTableEntryHandle* h, const Request&) {
         return put(r, Value::node(Quill::Ptr<LocalDvpTable>(h->swTable())));
       }},
      {{389, "pendingEntry", AttrKind::queue, kEntry, K::record,
        ops(Op::count, Op::front, Op::back, Op::enqueue, Op::dequeue), Quill::kAttrIterable},
       [](Value& r, LocalDvpTableEntryHandle* h, const Request& q) {
         switch (q.op) {
           case Op::count: return put(r, Value::u32(h->pendingEntryCount()));
           case Op::front: return put(r, entryValue(h->pendingEntryFront()));
           case Op::back: return put(r, entryValue(h->pendingEntryBack()));
           case Op::enqueue: h->pendingEntryEnq(asEntry(q.value())); return Result::done;
           default: break;
         }
         // Queued entries have no key: a keyed dequeue names nothing.
         if (q.key != nullptr) return Result::unsupported;
         return put(r, entryValue(h->pendingEntryDeq()));
       },
       &pendingEntryIter},
      {listed(390, "cleanup", {})},
  };
  return kRows;
}

}  // namespace

std::vector<AttrDecl> detail::entryHandleAttrs() { return declsOf(handleRows()); }

Result inspectOperation(Value& result, LocalDvpTableEntryHandle& handle, AttrId attr, Op op,
                        const Value* key, Operand operand) {
  return dispatch(handleRows(), kEntryHandleType, result, &handle, attr, {op, key, operand});
}

Iter genericIfIterator(const LocalDvpTableEntryHandle& handle, const Value* startKey, AttrId attr) {
  return walk(handleRows(), kEntryHandleType, handle, startKey, attr);
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

namespace {

using UnresolvedRow = AttrRow<LocalDvpTableUnresolvedEntry>;

std::span<const UnresolvedRow> unresolvedRows() {
  static const UnresolvedRow kRows[] = {
      {field(386, "key", kIndex, K::u32),
       [](Value& r, LocalDvpTableUnresolvedEntry* e, const Request&) {
         return put(r, Value::u32(e->key().value));
       }},
      {field(387, "entry", kEntry, K::record, true),
       [](Value& r, LocalDvpTableUnresolvedEntry* e, const Request& q) {
         if (q.op == Op::read) return put(r, entryValue(e->entry()));
         e->entryIs(asEntry(q.value()));
         return Result::done;
       }},
  };
  return kRows;
}

}  // namespace

std::vector<AttrDecl> detail::unresolvedEntryAttrs() { return declsOf(unresolvedRows()); }

Result inspectOperation(Value& result, LocalDvpTableUnresolvedEntry& entry, AttrId attr, Op op,
                        const Value* key, Operand operand) {
  return dispatch(unresolvedRows(), kUnresolvedEntryType, result, &entry, attr, {op, key, operand});
}

// --- Util -------------------------------------------------------------------------

namespace {

using UtilRow = AttrRow<LocalDvpTableUtil>;

std::span<const UtilRow> utilRows() {
  static const UtilRow kRows[] = {
      {method(514, "minIndex", {}, kU32, K::u32),
       [](Value& r, LocalDvpTableUtil* u, const Request&) { return put(r, Value::u32(u->minIndex())); }},
      {method(515, "maxIndex", {}, kU32, K::u32),
       [](Value& r, LocalDvpTableUtil* u, const Request&) { return put(r, Value::u32(u->maxIndex())); }},
      {listed(516, "hwTableEntryIs", {kSwTableParam, kKeyParam, {"entry", kEntry, K::record, true}})},
      {listed(517, "hwTableEntryDel", {kSwTableParam, kKeyParam})},
      {listed(518, "updateHwIndexRefCountTracker",
              {kHwTableParam, kKeyParam, {"updateOperation", "Asic::IndexUserTracker::OpType", K::u8}})},
      {listed(519, "compareHwEntries", {kSwTableParam, kKeyParam, {"resolvedEntry", kEntry, K::record}},
              kBool, K::boolean)},
      {listed(520, "syncEntries", {kHwTableParam, kSwTableParam})},
      {listed(521, "getHwIndex", {kHdlParam}, kHwIndex, K::u32, AttrKind::staticMethod)},
      {listed(522, "hwIndexForDependentField", {kHdlParam}, kHwIndex, K::u32)},
      {method(523, "dependentFieldValueToHwIndex", {{"dependentField", kHwIndex, K::u32}}, kHwIndex, K::u32),
       [](Value& r, LocalDvpTableUtil* u, const Request& q) {
         return put(r, Value::u32(u->dependentFieldValueToHwIndex(q.arg(0).asU32())));
       }},
  };
  return kRows;
}

}  // namespace

std::vector<AttrDecl> detail::utilAttrs() { return declsOf(utilRows()); }

Result inspectOperation(Value& result, LocalDvpTableUtil& util, AttrId attr, Op op, const Value* key,
                        Operand operand) {
  return dispatch(utilRows(), kUtilType, result, &util, attr, {op, key, operand});
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
