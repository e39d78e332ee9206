// The generic interface of LocalDvpTable: its 27 attributes, construction
// through the factory.
#include "VelarL3Vfi/Library.h"
#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/introspection/Common.h"
#include "platform/Kiv/Exceptions.h"

namespace VelarL3Vfi::Introspection {

using namespace detail;

namespace {

// Operations on a keyed collection of the table: read, lookup, count,
// capacity, contains.
template <class Map>
std::uint32_t count(const Map& map) {
  return static_cast<std::uint32_t>(map.count());
}

Result collectionSize(Value& result, Op op, std::uint32_t n) {
  return put(result, Value::u32(op == Op::count ? n : capacityFigure(n)));
}

Result resolvedEntry(Value& result, const LocalDvpTable& table, Op op, const Value* key) {
  const auto& coll = table.resolvedEntryColl();
  if (op == Op::count || op == Op::capacity) return collectionSize(result, op, count(coll));
  const auto* slot = coll.find(needKey(key));
  if (op == Op::contains) return put(result, Value::boolean(slot != nullptr));
  if (slot == nullptr) return op == Op::lookup ? Result::noKey : Result::noValue;
  if (!slot->present()) return Result::noValue;
  return put(result, entryValue(slot->value()));
}

Result syncedEntry(Value& result, const LocalDvpTable& table, Op op, const Value* key) {
  const auto& coll = table.syncedEntryColl();
  if (op == Op::count || op == Op::capacity) return collectionSize(result, op, count(coll));
  const auto* stored = coll.find(needKey(key));
  if (op == Op::contains) return put(result, Value::boolean(stored != nullptr));
  if (stored == nullptr) {
    if (op == Op::lookup) return Result::noKey;
    return put(result, entryValue(Entry()));
  }
  return put(result, entryValue(*stored));
}

Result entryHandle(Value& result, const LocalDvpTable& table, Op op, const Value* key) {
  const auto& coll = table.entryHandleColl();
  if (op == Op::count || op == Op::capacity) return collectionSize(result, op, count(coll));
  const auto* stored = coll.find(needKey(key));
  if (op == Op::contains) return put(result, Value::boolean(stored != nullptr));
  return put(result, stored ? Value::node(*stored) : Value::node(nullptr));
}

Result unresolvedEntry(Value& result, const LocalDvpTable& table, Op op, const Value* key) {
  const auto& coll = table.unresolvedEntryColl();
  if (op == Op::count || op == Op::capacity) return collectionSize(result, op, count(coll));
  const auto* stored = coll.find(needKey(key));
  if (op == Op::contains) return put(result, Value::boolean(stored != nullptr));
  return Quill::Inspect::opResEncRelNode(result, stored ? stored->get() : nullptr);
}

// The methods and static methods (call).
Result call(Value& result, LocalDvpTable* table, const Quill::AttrData& attr, std::span<const Value> args) {
  Quill::Inspect::checkArgs(typeData(kLocalDvpTableType), attr, args);
  switch (attr.id) {
    case TableAttr::doMountHwTableMountInfo:
      LocalDvpTable::doMountHwTableMountInfo(
          Quill::Ptr<Ledger::MountGroup>(&nonNullNodeAs<Ledger::MountGroup>(args[0], "Ledger::MountGroup")));
      return Result::done;
    case TableAttr::doMountHwTableRecoveryStatus:
      LocalDvpTable::doMountHwTableRecoveryStatus(
          Quill::Ptr<Ledger::MountGroup>(&nonNullNodeAs<Ledger::MountGroup>(args[0], "Ledger::MountGroup")));
      return Result::done;
    case TableAttr::doRecoverHwTable:
      LocalDvpTable::doRecoverHwTable(
          Quill::Ptr<Asic::HwTableRecoverGroup>(
              &nonNullNodeAs<Asic::HwTableRecoverGroup>(args[0], "Asic::HwTableRecoverGroup")),
          args[1].asU32(),
          Quill::Ptr<Ledger::EntityManager>(
              &nonNullNodeAs<Ledger::EntityManager>(args[2], "Ledger::EntityManager")),
          args[3].asRecordOf<Asic::ChipInfo>("Asic::ChipInfo"));
      return Result::done;
    default:
      break;
  }
  if (table == nullptr) throw ArgumentError("a table is needed to call a method of it");
  switch (attr.id) {
    case TableAttr::entryHas:
      return put(result, Value::boolean(table->entryHas(args[0].asU32())));
    case TableAttr::entryRemoveAll:
      table->entryRemoveAll();
      return Result::done;
    case TableAttr::minIndex:
      return put(result, Value::u32(table->minIndex()));
    case TableAttr::maxIndex:
      return put(result, Value::u32(table->maxIndex()));
    case TableAttr::entryRemove:
      table->entryRemove(args[0].asU32());
      return Result::done;
    case TableAttr::entryCommit: {
      auto handle = table->entryCommit(args[0].asU32(), asEntry(args[1]));
      // The handle goes out as the runtime's mutable reference; the caller
      // gets the same use entryCommit hands out.
      return Quill::Inspect::opResEncRelNode(result, const_cast<Asic::SwTableBase::EntryHandle*>(handle.get()));
    }
    case TableAttr::hwIndexOnlyForCrossAgentCommunication:
      return put(result, Value::u32(table->hwIndexOnlyForCrossAgentCommunication(args[0].asU32())));
    case TableAttr::util:
      return Quill::Inspect::opResEncRelNode(result, table->util());
    default:
      break;
  }
  return Result::unsupported;
}

Result writeResponseSm(Value& result, LocalDvpTable& table, Op op, const Operand& operand) {
  switch (op) {
    case Op::read:
      return put(result, Value::node(table.writeResponseSm()));
    case Op::set: {
      auto& swTable = nonNullNodeAs<Asic::SwTable>(needValue(operand), "Asic::SwTable");
      return put(result, Value::node(table.writeResponseSmIs(&swTable)));
    }
    case Op::del:
      return put(result, Value::node(table.writeResponseSmDel()));
    default:
      return Result::unsupported;
  }
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

Result inspectOperation(Value& result, LocalDvpTable* table, AttrId attr, Op op, const Value* key,
                        Operand operand) {
  const Quill::AttrData* found = nullptr;
  if (auto r = Quill::Inspect::checkOperation(typeData(kLocalDvpTableType), attr, op, found);
      r != Result::done) {
    return r;
  }
  if (op == Op::call) return call(result, table, *found, operand.args);
  if (table == nullptr) throw ArgumentError("a table is needed to reach its attributes");
  switch (attr) {
    case TableAttr::isOwnedByMergeTable:
      return put(result, Value::boolean(LocalDvpTable::isOwnedByMergeTable));
    case TableAttr::isExternalKeyType:
      return put(result, Value::boolean(LocalDvpTable::isExternalKeyType));
    case TableAttr::setResolvedEntryBlockMetaDataDefinedByUser:
      return put(result, Value::u64(LocalDvpTable::setResolvedEntryBlockMetaDataDefinedByUser));
    case TableAttr::setResolvedEntryMetaDataDefinedByUser:
      return put(result, Value::u64(LocalDvpTable::setResolvedEntryMetaDataDefinedByUser));
    case TableAttr::readAccess:
      return put(result, Value::boolean(LocalDvpTable::readAccess));
    case TableAttr::writeAccess:
      return put(result, Value::boolean(LocalDvpTable::writeAccess));
    case TableAttr::resolvedEntry:
      return resolvedEntry(result, *table, op, key);
    case TableAttr::entry:
      if (op == Op::contains) return put(result, Value::boolean(table->entryHas(needKey(key))));
      return put(result, entryValue(table->entry(needKey(key))));
    case TableAttr::entryInHwTable:
      return put(result, Value::boolean(table->entryInHwTable(needKey(key))));
    case TableAttr::syncedEntry:
      return syncedEntry(result, *table, op, key);
    case TableAttr::entryHandle:
      return entryHandle(result, *table, op, key);
    case TableAttr::unresolvedEntry:
      return unresolvedEntry(result, *table, op, key);
    case TableAttr::entrys:
      return put(result, Value::u32(table->entrys()));
    case TableAttr::writeResponseSm:
      return writeResponseSm(result, *table, op, operand);
    default:
      break;
  }
  return Result::unsupported;
}

Result constructTable(Value& result, std::span<const Value> args) {
  if (!args.empty()) Kiv::throwNewEntityArgsException(typeData(kLocalDvpTableType).name);
  return put(result, Value::node(localDvpTableFactory()));
}

const Quill::Inspect::GenericIf tableGenericIf{
    &inspectTable, &tableIterator, &constructTable, nullptr, nullptr, nullptr,
};

}  // namespace VelarL3Vfi::Introspection
