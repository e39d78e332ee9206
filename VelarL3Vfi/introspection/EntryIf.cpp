// The generic interface of Entry: its attribute table (130-134), the
// whole-value operations, construction and the text form.
#include "VelarL3Vfi/introspection/Common.h"
#include "platform/Kiv/CharRange.h"

namespace VelarL3Vfi::Introspection {

using namespace detail;

namespace {

using Row = AttrRow<Entry>;

std::span<const Row> rows() {
  static const Row kRows[] = {
      {constant(130, "getBlockSizeDefinedByUser", kBool, K::boolean),
       [](Value& r, Entry*, const Request&) {
         return put(r, Value::boolean(Entry::getBlockSizeDefinedByUser));
       }},
      {constant(131, "numDependentFields", kU64, K::u64),
       [](Value& r, Entry*, const Request&) { return put(r, Value::u64(Entry::numDependentFields)); }},
      {field(132, "localPortNextHopHandle", kBaseHandle, K::node, true),
       [](Value& r, Entry* e, const Request& q) {
         if (q.op == Op::read) {
           // The runtime hands nodes out as mutable references; the handle
           // is the other table's, and nothing here changes it.
           auto* handle = const_cast<Asic::SwTableBase::EntryHandle*>(e->localPortNextHopHandle().get());
           return put(r, Value::node(Quill::Ptr<Asic::SwTableBase::EntryHandle>(handle)));
         }
         e->localPortNextHopHandleIs(
             Entry::HandlePtr(nodeAs<const Asic::SwTableBase::EntryHandle>(q.value(), kBaseHandle)));
         return Result::done;
       }},
      {field(133, "localPortNextHop", kU32, K::u32, true),
       [](Value& r, Entry* e, const Request& q) {
         if (q.op == Op::read) return put(r, Value::u32(e->localPortNextHop()));
         e->localPortNextHopIs(q.value().asU32());
         return Result::done;
       }},
      {field(134, "dvpNetworkGroup", kU8, K::u8, true),
       [](Value& r, Entry* e, const Request& q) {
         if (q.op == Op::read) return put(r, Value::u8(e->dvpNetworkGroup()));
         e->dvpNetworkGroupIs(q.value().asU8());
         return Result::done;
       }},
  };
  return kRows;
}

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

std::vector<AttrDecl> detail::entryAttrs() { return declsOf(rows()); }

Result inspectOperation(Value& result, LocalDvpTableEntry& entry, AttrId attr, Op op, const Value* key,
                        Operand operand) {
  if (attr != Quill::Inspect::kWholeValue)
    return dispatch(rows(), kEntryType, result, &entry, attr, {op, key, operand});
  const Quill::AttrData* found = nullptr;
  if (auto r = Quill::Inspect::checkOperation(typeData(kEntryType), attr, op, found); r != Result::done) {
    return r;
  }
  if (op == Op::nonDefault) return put(result, Value::boolean(entry.isNonDefault()));
  const Entry& other = asEntry(needValue(operand));
  if (op == Op::equal) return put(result, Value::boolean(Entry::isEq(&entry, &other)));
  return put(result, Value::boolean(std::is_lt(entry <=> other)));
}

Result constructEntry(Value& result, std::span<const Value> args) {
  if (args.size() > 1) throw ArgumentError("an Entry is built from nothing or from another Entry");
  return put(result, entryValue(args.empty() ? Entry() : asEntry(args[0])));
}

const Quill::Inspect::GenericIf entryGenericIf{
    &inspectEntry, &noIterator, &constructEntry, nullptr, &decodeEntry, &encodeEntry,
};

}  // namespace VelarL3Vfi::Introspection
