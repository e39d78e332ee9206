#pragma once
// The generic interface of the table's six types: what the runtime (and any
// tool that browses an agent's state) gets when it reads or writes an
// attribute by id, walks a collection, calls a method, or creates an object
// from constructor arguments. The conventions (operation and result codes,
// Value, iterators) are the runtime's, platform/Quill/GenericIf.h; the
// attribute table is the type module's, VelarL3Vfi/TypeModule.cpp. Tools
// should use the facade (platform/Quill/Inspect.h; VelarL3Vfi/Inspect.h adds
// the Entry record) rather than these entry points.
//
// What the entry points answer, beyond the runtime's conventions:
//
//   - Every request first checks the attribute table: an id the type does not
//     have gives unknownAttr, an operation the attribute does not accept (any
//     operation on a listed method) gives unsupported.
//   - Reads never create anything: a read of entryHandle or unresolvedEntry at
//     an absent key yields a null node.
//   - resolvedEntry: read gives noValue both for an absent key and for a slot
//     without value; lookup tells them apart (noKey, noValue). syncedEntry:
//     read gives the default Entry for an absent key, lookup gives noKey.
//     entryHandle: read and lookup give the handle or null, done.
//   - Node results of unresolvedEntry, entryCommit and util go through the
//     related-node encoding (Inspect::opResEncRelNode) and its result code.
//   - entry (the merged view): read is LocalDvpTable::entry(key) (the
//     default Entry when nothing is committed), contains is entryHas(key).
//   - pendingEntry: front, back and dequeue of an empty queue give the default
//     Entry, as the handle's own operations do; a dequeue given a key is
//     refused (unsupported) and leaves the queue alone.
//   - The capacity figure of a keyed collection is its element count, cut to
//     23 bits: the runtime's hash collections keep no capacity of their own
//     apart from their bucket array, which they do not expose.
//   - The class-level methods (doMountHwTableMountInfo, ...) may be called
//     without a table: pass a Target without node.
//
// Iterators. genericIfIterator gives iterators over resolvedEntry (every
// slot, slots without value included: their iterObj answers false),
// syncedEntry, entryHandle (the handle, counted), unresolvedEntry (the
// related-node encoding), the entry view (the merged walk of
// LocalDvpTable::entryIteratorConst) and EntryHandle::pendingEntry (front to
// back; the key is always 0xFFFFFFFF). With a start key a stored collection
// or the view starts at that key's element (the end when the key is absent);
// queues ignore it. Iterators over stored collections live in slab storage
// with the heap as fallback (no iterator when neither has room); the view's
// and the queue's come from the heap. An iterator holds no use of its object:
// the caller keeps the object alive until iterDel.
//
// Between two steps the member at the iterator may be deleted (the
// collections allow that): the iterator remembers its key, iterObj then
// answers false and iterInc goes on with the next member. A dequeue between
// two steps of a queue walk moves the iterator to the new front. Other
// deletions and insertions while an iterator lives are not supported by the
// collections.
#include <span>

#include "platform/Quill/GenericIf.h"

namespace VelarL3Vfi {

class LocalDvpTable;
class LocalDvpTableEntry;
class LocalDvpTableEntryHandle;
class LocalDvpTableUnresolvedEntry;
class LocalDvpTableUtil;
class LocalDvpTableUtilLoader;

namespace Introspection {

using Quill::AttrId;
using Quill::Inspect::Iter;
using Quill::Inspect::Op;
using Quill::Inspect::Operand;
using Quill::Inspect::Result;
using Quill::Inspect::Value;

// The entry-point tables of the six types (TypeData::genericIf).
extern const Quill::Inspect::GenericIf entryGenericIf;
extern const Quill::Inspect::GenericIf entryHandleGenericIf;
extern const Quill::Inspect::GenericIf unresolvedEntryGenericIf;
extern const Quill::Inspect::GenericIf utilGenericIf;
extern const Quill::Inspect::GenericIf utilLoaderGenericIf;
extern const Quill::Inspect::GenericIf tableGenericIf;

// inspectOperation of each type, typed.
Result inspectOperation(Value& result, LocalDvpTableEntry& entry, AttrId attr, Op op,
                        const Value* key, Operand operand);
Result inspectOperation(Value& result, LocalDvpTableEntryHandle& handle, AttrId attr, Op op,
                        const Value* key, Operand operand);
Result inspectOperation(Value& result, LocalDvpTableUnresolvedEntry& entry, AttrId attr, Op op,
                        const Value* key, Operand operand);
Result inspectOperation(Value& result, LocalDvpTableUtil& util, AttrId attr, Op op, const Value* key,
                        Operand operand);
Result inspectOperation(Value& result, LocalDvpTableUtilLoader& loader, AttrId attr, Op op,
                        const Value* key, Operand operand);
// `table` may be null for the class-level methods.
Result inspectOperation(Value& result, LocalDvpTable* table, AttrId attr, Op op, const Value* key,
                        Operand operand);

// genericIfIterator of the types with iterable attributes; the other types
// have none and answer with no iterator.
Iter genericIfIterator(const LocalDvpTable& table, const Value* startKey, AttrId attr);
Iter genericIfIterator(const LocalDvpTableEntryHandle& handle, const Value* startKey, AttrId attr);

// genericIfConstructFromCtorArgs. Entry: no argument (the default entry) or
// an Entry to copy. EntryHandle: key and swTable (a LocalDvpTable or null),
// through EntryHandle::EntryHandleIs; the handle is not put in the table.
// LocalDvpTable: no argument, through localDvpTableFactory(); arguments raise
// the runtime's new-entity-arguments error.
Result constructEntry(Value& result, std::span<const Value> args);
Result constructEntryHandle(Value& result, std::span<const Value> args);
Result constructTable(Value& result, std::span<const Value> args);

// newEntityForDir of UtilLoader: a loader with the given name; any argument
// raises the runtime's new-entity-arguments error.
Quill::Ptr<Quill::Node> newUtilLoaderForDir(const Quill::String& name, std::span<const Value> args);

// An Entry as a record value of the module's Entry type.
Value entryValue(const LocalDvpTableEntry& entry);

}  // namespace Introspection
}  // namespace VelarL3Vfi
