// The iterators of the generic interface: over the table's stored
// collections, the merged entry view and the pending-entry queue (see
// VelarL3Vfi/Introspection.h for what they yield). The attribute tables name
// them.
#include <new>

#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/introspection/Common.h"
#include "platform/Memory/Slab.h"

namespace VelarL3Vfi::Introspection {

using namespace detail;
using Quill::Inspect::IterOps;

namespace {

// What each stored collection yields for one member.
struct ResolvedYield {
  using Map = LocalDvpTable::Collection<Kiv::Optional<Entry>>;
  static const Map& map(const LocalDvpTable& t) { return t.resolvedEntryColl(); }
  // A slot without value yields nothing.
  static bool yield(const Kiv::Optional<Entry>& slot, Value& out) {
    if (!slot.present()) return false;
    out = entryValue(slot.value());
    return true;
  }
};

struct SyncedYield {
  using Map = LocalDvpTable::Collection<Entry>;
  static const Map& map(const LocalDvpTable& t) { return t.syncedEntryColl(); }
  static bool yield(const Entry& entry, Value& out) {
    out = entryValue(entry);
    return true;
  }
};

struct HandleYield {
  using Map = LocalDvpTable::Collection<Quill::Ptr<LocalDvpTableEntryHandle>>;
  static const Map& map(const LocalDvpTable& t) { return t.entryHandleColl(); }
  static bool yield(const Quill::Ptr<LocalDvpTableEntryHandle>& handle, Value& out) {
    out = Value::node(handle);
    return true;
  }
};

struct UnresolvedYield {
  using Map = LocalDvpTable::Collection<Quill::Ptr<LocalDvpTableUnresolvedEntry>>;
  static const Map& map(const LocalDvpTable& t) { return t.unresolvedEntryColl(); }
  static bool yield(const Quill::Ptr<LocalDvpTableUnresolvedEntry>& entry, Value& out) {
    return Quill::Inspect::opResEncRelNode(out, entry.get()) == Result::done;
  }
};

// An iterator over a stored collection, in slab storage. It keeps the key of
// the member it stands on and looks the member up again when asked for its
// value, so that a member deleted between two steps yields nothing instead of
// a destroyed value; the collection's own position has already found the next
// member, so stepping on is safe.
template <class Yield>
class StoredIter {
  using Map = typename Yield::Map;

 public:
  static Iter make(const LocalDvpTable& table, const Value* startKey) {
    static_assert(alignof(StoredIter) <= Quill::SlabAllocator::kGranule);
    const Map& map = Yield::map(table);
    auto pos = startKey ? map.iteratorAt(needKey(startKey)) : map.begin();
    void* storage = Quill::allocateOrHeap(sizeof(StoredIter));
    if (storage == nullptr) return {};
    return {::new (storage) StoredIter(map, pos), &kOps};
  }

 private:
  StoredIter(const Map& map, typename Map::Iterator pos) noexcept : map_(&map), pos_(pos) { seat(); }

  void seat() {
    atEnd_ = pos_ == map_->end();
    if (!atEnd_) key_ = pos_.key().value;
  }

  static StoredIter& self(void* p) { return *static_cast<StoredIter*>(p); }

  static bool obj(void* p, Value& out) {
    auto& it = self(p);
    if (it.atEnd_) return false;
    const auto* member = it.map_->find(it.key_);
    return member != nullptr && Yield::yield(*member, out);
  }
  static void key(void* p, Value& out) {
    auto& it = self(p);
    if (!it.atEnd_) out = Value::u32(it.key_);
  }
  static bool nonnull(void* p) { return !self(p).atEnd_; }
  static void inc(void* p) {
    auto& it = self(p);
    if (it.atEnd_) return;
    ++it.pos_;
    it.seat();
  }
  static void del(void* p) {
    self(p).~StoredIter();
    Quill::deallocateOrHeap(p, sizeof(StoredIter));
  }

  static constexpr IterOps kOps{&obj, &key, &nonnull, &inc, &del};

  const Map* map_;
  typename Map::Iterator pos_;
  std::uint32_t key_ = 0;
  bool atEnd_ = true;
};

// The merged view of committed entries (LocalDvpTable::entryIteratorConst),
// on the heap. The key is taken when the iterator arrives at an entry; the
// value is looked up again by key (it is the value entry(key) gives), so an
// entry withdrawn between two steps yields nothing.
class EntryViewIter {
 public:
  static Iter make(const LocalDvpTable& table, const Value* startKey) {
    auto pos = startKey ? table.entryIteratorConst(needKey(startKey)) : table.entryIteratorConst();
    auto* it = new (std::nothrow) EntryViewIter(table, pos);
    if (it == nullptr) return {};
    return {it, &kOps};
  }

 private:
  EntryViewIter(const LocalDvpTable& table, LocalDvpTable::EntryIteratorConst pos)
      : table_(&table), pos_(pos) {
    seat();
  }

  void seat() {
    if (!pos_.isEnd()) key_ = pos_.key().value;
  }

  static EntryViewIter& self(void* p) { return *static_cast<EntryViewIter*>(p); }

  static bool obj(void* p, Value& out) {
    auto& it = self(p);
    if (it.pos_.isEnd()) return false;
    if (const auto* ue = it.table_->unresolvedEntryColl().find(it.key_)) {
      out = entryValue((*ue)->entry());
      return true;
    }
    const auto* slot = it.table_->resolvedEntryColl().find(it.key_);
    if (slot == nullptr || !slot->present()) return false;
    out = entryValue(slot->value());
    return true;
  }
  static void key(void* p, Value& out) {
    auto& it = self(p);
    if (!it.pos_.isEnd()) out = Value::u32(it.key_);
  }
  static bool nonnull(void* p) { return !self(p).pos_.isEnd(); }
  static void inc(void* p) {
    auto& it = self(p);
    it.pos_.advance();
    it.seat();
  }
  static void del(void* p) { delete &self(p); }

  static constexpr IterOps kOps{&obj, &key, &nonnull, &inc, &del};

  const LocalDvpTable* table_;
  LocalDvpTable::EntryIteratorConst pos_;
  std::uint32_t key_ = 0;
};

// The pending-entry queue of a handle, front to back, on the heap. Queued
// entries have no key; the iterator reports the exhausted index.
class PendingIter {
 public:
  static Iter make(const LocalDvpTableEntryHandle& handle) {
    auto* it = new (std::nothrow) PendingIter(handle.pendingEntryQueue());
    if (it == nullptr) return {};
    return {it, &kOps};
  }

 private:
  using Queue = LocalDvpTableEntryHandle::PendingQueue;

  explicit PendingIter(const Queue& queue) : queue_(&queue), pos_(queue.begin()) {}

  static PendingIter& self(void* p) { return *static_cast<PendingIter*>(p); }

  static bool obj(void* p, Value& out) {
    auto& it = self(p);
    // The entry the iterator stands on may have been dequeued meanwhile.
    if (it.pos_ == it.queue_->end() || !it.queue_->has(it.pos_.seq())) return false;
    out = entryValue(*it.pos_);
    return true;
  }
  static void key(void* p, Value& out) {
    if (nonnull(p)) out = Value::u32(Asic::kExhaustedIndex);
  }
  static bool nonnull(void* p) {
    auto& it = self(p);
    return it.pos_ != it.queue_->end();
  }
  static void inc(void* p) {
    if (nonnull(p)) ++self(p).pos_;
  }
  static void del(void* p) { delete &self(p); }

  static constexpr IterOps kOps{&obj, &key, &nonnull, &inc, &del};

  const Queue* queue_;
  LocalDvpTableEntryHandle::PendingIterator pos_;
};

}  // namespace

Iter detail::resolvedEntryIter(const LocalDvpTable& table, const Value* startKey) {
  return StoredIter<ResolvedYield>::make(table, startKey);
}

Iter detail::syncedEntryIter(const LocalDvpTable& table, const Value* startKey) {
  return StoredIter<SyncedYield>::make(table, startKey);
}

Iter detail::entryHandleIter(const LocalDvpTable& table, const Value* startKey) {
  return StoredIter<HandleYield>::make(table, startKey);
}

Iter detail::unresolvedEntryIter(const LocalDvpTable& table, const Value* startKey) {
  return StoredIter<UnresolvedYield>::make(table, startKey);
}

Iter detail::entryViewIter(const LocalDvpTable& table, const Value* startKey) {
  return EntryViewIter::make(table, startKey);
}

Iter detail::pendingEntryIter(const LocalDvpTableEntryHandle& handle, const Value* /*startKey*/) {
  return PendingIter::make(handle);
}

}  // namespace VelarL3Vfi::Introspection
