// The generic interface of LocalDvpTable: its attribute table (27
// attributes), construction through the factory.
#include "VelarL3Vfi/Library.h"
#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/introspection/Common.h"
#include "platform/Kiv/Exceptions.h"

namespace VelarL3Vfi::Introspection {

using namespace detail;

namespace {

using Row = AttrRow<LocalDvpTable>;
using Table = LocalDvpTable;
namespace A = TableAttr;

// Operations on a keyed collection of the table: read, lookup, count,
// capacity, contains.
template <class Map>
std::uint32_t count(const Map& map) {
  return static_cast<std::uint32_t>(map.count());
}

Result collectionSize(Value& result, Op op, std::uint32_t n) {
  return put(result, Value::u32(op == Op::count ? n : capacityFigure(n)));
}

Result resolvedEntry(Value& result, Table* table, const Request& request) {
  const Op op = request.op;
  const Value* key = request.key;
  const auto& coll = table->resolvedEntryColl();
  if (op == Op::count || op == Op::capacity) return collectionSize(result, op, count(coll));
  const auto* slot = coll.find(needKey(key));
  if (op == Op::contains) return put(result, Value::boolean(slot != nullptr));
  if (slot == nullptr) return op == Op::lookup ? Result::noKey : Result::noValue;
  if (!slot->present()) return Result::noValue;
  return put(result, entryValue(slot->value()));
}

Result syncedEntry(Value& result, Table* table, const Request& request) {
  const Op op = request.op;
  const Value* key = request.key;
  const auto& coll = table->syncedEntryColl();
  if (op == Op::count || op == Op::capacity) return collectionSize(result, op, count(coll));
  const auto* stored = coll.find(needKey(key));
  if (op == Op::contains) return put(result, Value::boolean(stored != nullptr));
  if (stored == nullptr) {
    if (op == Op::lookup) return Result::noKey;
    return put(result, entryValue(Entry()));
  }
  return put(result, entryValue(*stored));
}

Result entryHandle(Value& result, Table* table, const Request& request) {
  const Op op = request.op;
  const Value* key = request.key;
  const auto& coll = table->entryHandleColl();
  if (op == Op::count || op == Op::capacity) return collectionSize(result, op, count(coll));
  const auto* stored = coll.find(needKey(key));
  if (op == Op::contains) return put(result, Value::boolean(stored != nullptr));
  return put(result, stored ? Value::node(*stored) : Value::node(nullptr));
}

Result unresolvedEntry(Value& result, Table* table, const Request& request) {
  const Op op = request.op;
  const Value* key = request.key;
  const auto& coll = table->unresolvedEntryColl();
  if (op == Op::count || op == Op::capacity) return collectionSize(result, op, count(coll));
  const auto* stored = coll.find(needKey(key));
  if (op == Op::contains) return put(result, Value::boolean(stored != nullptr));
  return Quill::Inspect::opResEncRelNode(result, stored ? stored->get() : nullptr);
}

Result writeResponseSm(Value& result, Table* table, const Request& request) {
  if (request.op == Op::read) return put(result, Value::node(table->writeResponseSm()));
  if (request.op == Op::del) return put(result, Value::node(table->writeResponseSmDel()));
  auto& swTable = nonNullNodeAs<Asic::SwTable>(request.value(), "Asic::SwTable");
  return put(result, Value::node(table->writeResponseSmIs(&swTable)));
}

template <class T>
Quill::Ptr<T> nodeArg(const Value& arg, const char* typeName) {
  return Quill::Ptr<T>(&nonNullNodeAs<T>(arg, typeName));
}

std::span<const Row> rows() {
  constexpr auto storedOps = ops(Op::read, Op::lookup, Op::count, Op::capacity, Op::contains);
  static const Row kRows[] = {
      {constant(A::isOwnedByMergeTable, "isOwnedByMergeTable", kBool, K::boolean),
       [](Value& r, Table*, const Request&) { return put(r, Value::boolean(Table::isOwnedByMergeTable)); }},
      {constant(A::isExternalKeyType, "isExternalKeyType", kBool, K::boolean),
       [](Value& r, Table*, const Request&) { return put(r, Value::boolean(Table::isExternalKeyType)); }},
      {constant(A::setResolvedEntryBlockMetaDataDefinedByUser, "setResolvedEntryBlockMetaDataDefinedByUser",
                kU64, K::u64),
       [](Value& r, Table*, const Request&) {
         return put(r, Value::u64(Table::setResolvedEntryBlockMetaDataDefinedByUser));
       }},
      {constant(A::setResolvedEntryMetaDataDefinedByUser, "setResolvedEntryMetaDataDefinedByUser", kU64,
                K::u64),
       [](Value& r, Table*, const Request&) {
         return put(r, Value::u64(Table::setResolvedEntryMetaDataDefinedByUser));
       }},
      {method(A::entryHas, "entryHas", {kKeyParam}, kBool, K::boolean),
       [](Value& r, Table* t, const Request& q) {
         return put(r, Value::boolean(t->entryHas(q.arg(0).asU32())));
       }},
      {keyed(A::resolvedEntry, "resolvedEntry", AttrKind::collection, kEntry, K::record, storedOps, true),
       &resolvedEntry, &resolvedEntryIter},
      {keyed(A::entry, "entry", AttrKind::view, kEntry, K::record, ops(Op::read, Op::contains), true),
       [](Value& r, Table* t, const Request& q) {
         if (q.op == Op::contains) return put(r, Value::boolean(t->entryHas(needKey(q.key))));
         return put(r, entryValue(t->entry(needKey(q.key))));
       },
       &entryViewIter},
      {keyed(A::entryInHwTable, "entryInHwTable", AttrKind::view, kBool, K::boolean, ops(Op::read), false),
       [](Value& r, Table* t, const Request& q) {
         return put(r, Value::boolean(t->entryInHwTable(needKey(q.key))));
       }},
      {keyed(A::syncedEntry, "syncedEntry", AttrKind::collection, kEntry, K::record, storedOps, true),
       &syncedEntry, &syncedEntryIter},
      {method(A::entryRemoveAll, "entryRemoveAll", {}),
       [](Value&, Table* t, const Request&) {
         t->entryRemoveAll();
         return Result::done;
       }},
      {method(A::minIndex, "minIndex", {}, kU32, K::u32),
       [](Value& r, Table* t, const Request&) { return put(r, Value::u32(t->minIndex())); }},
      {method(A::maxIndex, "maxIndex", {}, kU32, K::u32),
       [](Value& r, Table* t, const Request&) { return put(r, Value::u32(t->maxIndex())); }},
      {listed(A::handleEntry, "handleEntry", {kKeyParam})},
      {constant(A::readAccess, "readAccess", kBool, K::boolean),
       [](Value& r, Table*, const Request&) { return put(r, Value::boolean(Table::readAccess)); }},
      {constant(A::writeAccess, "writeAccess", kBool, K::boolean),
       [](Value& r, Table*, const Request&) { return put(r, Value::boolean(Table::writeAccess)); }},
      {keyed(A::entryHandle, "entryHandle", AttrKind::nodeCollection,
             "VelarL3Vfi::LocalDvpTable::EntryHandle", K::node, storedOps, true, {kKeyParam, kSwTableParam}),
       &entryHandle, &entryHandleIter},
      {keyed(A::unresolvedEntry, "unresolvedEntry", AttrKind::nodeCollection,
             "VelarL3Vfi::LocalDvpTable::UnresolvedEntry", K::related, storedOps, true, {kKeyParam}),
       &unresolvedEntry, &unresolvedEntryIter},
      {field(A::entrys, "entrys", kU32, K::u32),
       [](Value& r, Table* t, const Request&) { return put(r, Value::u32(t->entrys())); }},
      {method(A::entryRemove, "entryRemove", {kKeyParam}),
       [](Value&, Table* t, const Request& q) {
         t->entryRemove(q.arg(0).asU32());
         return Result::done;
       }},
      {method(A::entryCommit, "entryCommit", {kKeyParam, {"entry", kEntry, K::record}}, kBaseHandle,
              K::related),
       [](Value& r, Table* t, const Request& q) {
         auto handle = t->entryCommit(q.arg(0).asU32(), asEntry(q.arg(1)));
         // The handle goes out as the runtime's mutable reference; the
         // caller gets the same use entryCommit hands out.
         return Quill::Inspect::opResEncRelNode(r, const_cast<Asic::SwTableBase::EntryHandle*>(handle.get()));
       }},
      {{A::writeResponseSm, "writeResponseSm", AttrKind::nodeValue, "Asic::WriteResponseSm", K::node,
        ops(Op::read, Op::set, Op::del), Quill::kAttrWritable, nullptr, K::none,
        {{"swTable", "Asic::SwTable", K::node}}},
       &writeResponseSm},
      {method(A::hwIndexOnlyForCrossAgentCommunication, "hwIndexOnlyForCrossAgentCommunication", {kKeyParam},
              kHwIndex, K::u32),
       [](Value& r, Table* t, const Request& q) {
         return put(r, Value::u32(t->hwIndexOnlyForCrossAgentCommunication(q.arg(0).asU32())));
       }},
      {method(A::util, "util", {}, "VelarL3Vfi::LocalDvpTable::Util", K::related),
       [](Value& r, Table* t, const Request&) { return Quill::Inspect::opResEncRelNode(r, t->util()); }},
      {method(A::doMountHwTableMountInfo, "doMountHwTableMountInfo", {{"mg", kMountGroup, K::node}}, nullptr,
              K::none, AttrKind::staticMethod),
       [](Value&, Table*, const Request& q) {
         Table::doMountHwTableMountInfo(nodeArg<Ledger::MountGroup>(q.arg(0), kMountGroup));
         return Result::done;
       }},
      {method(A::doMountHwTableRecoveryStatus, "doMountHwTableRecoveryStatus", {{"mg", kMountGroup, K::node}},
              nullptr, K::none, AttrKind::staticMethod),
       [](Value&, Table*, const Request& q) {
         Table::doMountHwTableRecoveryStatus(nodeArg<Ledger::MountGroup>(q.arg(0), kMountGroup));
         return Result::done;
       }},
      {method(A::doRecoverHwTable, "doRecoverHwTable",
              {{"rg", "Asic::HwTableRecoverGroup", K::node},
               {"unitId", "Asic::UnitId", K::u32},
               {"ledgerEm", "Ledger::EntityManager", K::node},
               {"chipInfo", "Asic::ChipInfo", K::record}},
              nullptr, K::none, AttrKind::staticMethod),
       [](Value&, Table*, const Request& q) {
         Table::doRecoverHwTable(nodeArg<Asic::HwTableRecoverGroup>(q.arg(0), "Asic::HwTableRecoverGroup"),
                                 q.arg(1).asU32(),
                                 nodeArg<Ledger::EntityManager>(q.arg(2), "Ledger::EntityManager"),
                                 q.arg(3).asRecordOf<Asic::ChipInfo>("Asic::ChipInfo"));
         return Result::done;
       }},
      {listed(A::cleanup, "cleanup", {})},
  };
  return kRows;
}

Result inspectTable(Value& result, Target object, AttrId attr, Op op, const Value* key,
                    Operand operand) {
  LocalDvpTable* table = nullptr;
  if (object.node != nullptr) table = &targetNode<LocalDvpTable>(object, kLocalDvpTableTypeName);
  return inspectOperation(result, table, attr, op, key, operand);
}

Iter tableIterator(Target object, const Value* startKey, AttrId attr) {
  return genericIfIterator(targetNode<LocalDvpTable>(object, kLocalDvpTableTypeName), startKey, attr);
}

}  // namespace

std::vector<AttrDecl> detail::tableAttrs() { return declsOf(rows()); }

Result inspectOperation(Value& result, LocalDvpTable* table, AttrId attr, Op op, const Value* key,
                        Operand operand) {
  return dispatch(rows(), kLocalDvpTableType, result, table, attr, {op, key, operand});
}

Iter genericIfIterator(const LocalDvpTable& table, const Value* startKey, AttrId attr) {
  return walk(rows(), kLocalDvpTableType, table, startKey, attr);
}

Result constructTable(Value& result, std::span<const Value> args) {
  if (!args.empty()) Kiv::throwNewEntityArgsException(typeData(kLocalDvpTableType).name);
  return put(result, Value::node(localDvpTableFactory()));
}

const Quill::Inspect::GenericIf tableGenericIf{
    &inspectTable, &tableIterator, &constructTable, nullptr, nullptr, nullptr,
};

}  // namespace VelarL3Vfi::Introspection
