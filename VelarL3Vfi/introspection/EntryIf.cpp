// The generic interface of Entry: attributes 130-134, the whole-value
// operations, construction and the text form.
#include "VelarL3Vfi/introspection/Common.h"
#include "platform/Kiv/CharRange.h"

namespace VelarL3Vfi::Introspection {

using namespace detail;

namespace {

Result inspectEntry(Value& result, Target object, AttrId attr, Op op, const Value* key,
                    Operand operand) {
  if (object.value == nullptr) throw ArgumentError("an Entry request needs an Entry value");
  auto* entry = object.value->recordIf<Entry>();
  if (entry == nullptr) throw ArgumentError("the object is no VelarL3Vfi::LocalDvpTable::Entry");
  return inspectOperation(result, *entry, attr, op, key, operand);
}

Value decodeEntry(std::string_view text) { return entryValue(Kiv::strepToValue<Entry>(text)); }

std::string encodeEntry(const Value& record) { return asEntry(record).toStrep(); }

}  // namespace

Value entryValue(const LocalDvpTableEntry& entry) {
  return Value::record(&typeData(kEntryType), entry);
}

Result inspectOperation(Value& result, LocalDvpTableEntry& entry, AttrId attr, Op op,
                        const Value* /*key*/, Operand operand) {
  const Quill::AttrData* found = nullptr;
  if (auto r = Quill::Inspect::checkOperation(typeData(kEntryType), attr, op, found); r != Result::done) {
    return r;
  }
  switch (attr) {
    case Quill::Inspect::kWholeValue: {
      if (op == Op::nonDefault) return put(result, Value::boolean(entry.isNonDefault()));
      const Entry& other = asEntry(needValue(operand));
      if (op == Op::equal) return put(result, Value::boolean(Entry::isEq(&entry, &other)));
      return put(result, Value::boolean(std::is_lt(entry <=> other)));
    }
    case EntryAttr::getBlockSizeDefinedByUser:
      return put(result, Value::boolean(Entry::getBlockSizeDefinedByUser));
    case EntryAttr::numDependentFields:
      return put(result, Value::u64(Entry::numDependentFields));
    case EntryAttr::localPortNextHopHandle:
      if (op == Op::read) {
        // The runtime hands nodes out as mutable references; the handle is
        // the other table's, and nothing here changes it.
        auto* handle = const_cast<Asic::SwTableBase::EntryHandle*>(entry.localPortNextHopHandle().get());
        return put(result, Value::node(Quill::Ptr<Asic::SwTableBase::EntryHandle>(handle)));
      }
      entry.localPortNextHopHandleIs(Entry::HandlePtr(
          nodeAs<const Asic::SwTableBase::EntryHandle>(needValue(operand), "Asic::SwTableBase::EntryHandle")));
      return Result::done;
    case EntryAttr::localPortNextHop:
      if (op == Op::read) return put(result, Value::u32(entry.localPortNextHop()));
      entry.localPortNextHopIs(needValue(operand).asU32());
      return Result::done;
    case EntryAttr::dvpNetworkGroup:
      if (op == Op::read) return put(result, Value::u8(entry.dvpNetworkGroup()));
      entry.dvpNetworkGroupIs(needValue(operand).asU8());
      return Result::done;
    default:
      break;
  }
  // Every attribute of the table is handled above.
  return Result::unknownAttr;
}

Result constructEntry(Value& result, std::span<const Value> args) {
  if (args.size() > 1) throw ArgumentError("an Entry is built from nothing or from another Entry");
  return put(result, entryValue(args.empty() ? Entry() : asEntry(args[0])));
}

const Quill::Inspect::GenericIf entryGenericIf{
    &inspectEntry, &noIterator, &constructEntry, nullptr, &decodeEntry, &encodeEntry,
};

}  // namespace VelarL3Vfi::Introspection
