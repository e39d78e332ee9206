#pragma once
// A FIFO of pending entries that hands every entry a sequence number.
//
// The owner publishes the returned numbers (e.g. to the peers that will ask
// for the entry later); the queue finds an entry by number, tells whether a
// number is still queued and keeps numbering going across dequeues and clears.
// Numbers start at 1, each enqueue takes the previous back + 1, and they
// compare in serial-number order, so numbering may wrap past 2^32.
//
// Layout. The queue object is one pointer, to its tail chunk. Chunks (Array)
// form a circular singly-linked list through link_: each chunk points to the
// next younger one and the tail points back to the head, the oldest. A chunk is
// a small header followed by its slots in one block from the slab allocator;
// slot i holds number base + i and the live slots are [begin, end).
//   - Only the head may have begin > 0; every chunk but the tail is full.
//   - Chunks continue each other's numbering.
//   - A chunk that runs empty is freed at once. A queue that runs empty keeps a
//     single placeholder chunk (capacity 0, base = the next number to hand
//     out), so numbering survives; only destruction leaves no chunk at all.
//   - A new chunk is sized from the live entry count: the smallest power of two
//     above it, between 2 and 8192. Growth is geometric while the queue grows,
//     and a queue that drained mostly away goes back to small chunks.
// Every chunk is registered with MemTrack: one Array header under
// RQueueBase<T>::arrayTracker, `capacity` entries under the element tracker
// RQueue<T, Tag>::arrayElemTracker, which is named after the tag type.
//
// Iterators survive dequeues: stepping from an entry that was dequeued
// meanwhile continues at the current front. Destruction, clear(false) and
// move-assignment invalidate them. Not thread-safe.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Assert/Assert.h"
#include "platform/Memory/MemTrack.h"
#include "platform/Memory/Slab.h"

namespace Quill {

template <class T>
class RQueueBaseConstIter;

// The shape of one chunk, for tests and diagnostics.
struct RQueueChunkInfo {
  std::uint32_t capacity;
  std::uint32_t begin;
  std::uint32_t end;
  std::uint32_t base;
  bool operator==(const RQueueChunkInfo&) const = default;
};

namespace RQueueDetail {

// The spelling of a type as the compiler prints it, for tracker names.
template <class Tag>
constexpr std::string_view typeName() noexcept {
  constexpr std::string_view signature = __PRETTY_FUNCTION__;
  constexpr std::string_view key = "Tag = ";
  const auto start = signature.find(key);
  if (start == std::string_view::npos) {
    return "RQueueEntry";
  }
  const auto stop = signature.find_first_of(";]", start + key.size());
  return signature.substr(start + key.size(), stop - start - key.size());
}

}  // namespace RQueueDetail

// The queue's storage and its read side. Entries are added and removed through
// RQueue<T, Tag>, which binds the element tracker.
template <class T>
class RQueueBase {
 public:
  using const_iterator = RQueueBaseConstIter<T>;

  static constexpr std::uint32_t kMaxCapacity = 8192;

  // A dequeued entry and the number it had.
  struct Entry {
    Entry(std::uint32_t s, T&& v) : seq(s), value(std::move(v)) {}
    std::uint32_t seq;
    T value;
  };

  class Array {
   public:
    // Bit fields of the packed state word.
    static constexpr std::uint32_t kIndexBits = 14;
    static constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr std::uint32_t kEndShift = kIndexBits;
    static constexpr std::uint32_t kLog2Shift = 2 * kIndexBits;

    // A chunk of capacity i (a power of two from 2 to kMaxCapacity, or 0 for a
    // placeholder) whose slot 0 carries number `first`; unlinked, no live slots.
    // Stops the agent when memory runs out.
    static Array* create(std::uint32_t i, std::uint32_t first, MemTrack::Tracker& elemTracker) {
      if (i != 0) {
        QASSERT(isPowerOfTwo( i ));
        QASSERT(i >= 2 && i <= kMaxCapacity);
      }
      void* memory = allocateOrHeap(bytesFor(i));
      if (memory == nullptr) {
        std::abort();
      }
      auto* chunk = ::new (memory) Array(i == 0 ? 0 : static_cast<std::uint32_t>(std::countr_zero(i)), first);
      MemTrack::registerMem(arrayTracker, 1);
      MemTrack::registerMem(elemTracker, i);
      return chunk;
    }

    // Frees a chunk that is out of its queue and holds no live entries.
    void release(MemTrack::Tracker& elemTracker) noexcept {
      QASSERT(!linked());
      const std::uint32_t capacity = this->capacity();
      MemTrack::unregisterMem(arrayTracker, 1);
      MemTrack::unregisterMem(elemTracker, capacity);
      this->~Array();
      deallocateOrHeap(this, bytesFor(capacity));
    }

    std::uint32_t capacity() const noexcept {
      const std::uint32_t log2 = word_ >> kLog2Shift;
      return log2 == 0 ? 0 : 1u << log2;
    }
    std::uint32_t begin() const noexcept { return word_ & kIndexMask; }
    std::uint32_t end() const noexcept { return (word_ >> kEndShift) & kIndexMask; }
    void setBegin(std::uint32_t index) noexcept { word_ = (word_ & ~kIndexMask) | index; }
    void setEnd(std::uint32_t index) noexcept { word_ = (word_ & ~(kIndexMask << kEndShift)) | index << kEndShift; }
    bool linked() const noexcept { return link_ != nullptr; }

    // Raw storage of slot i; slot(i) for a live one.
    T* slotAddress(std::uint32_t i) noexcept {
      return static_cast<T*>(static_cast<void*>(reinterpret_cast<char*>(this) + kSlotOffset)) + i;
    }
    T& slot(std::uint32_t i) noexcept { return *std::launder(slotAddress(i)); }
    const T& slot(std::uint32_t i) const noexcept { return const_cast<Array*>(this)->slot(i); }

    Array* link_ = nullptr;  // next younger chunk; the tail's leads to the head

   private:
    Array(std::uint32_t log2, std::uint32_t slot0) : word_(log2 << kLog2Shift), base(slot0) {}

    // begin (bits 0-13), end (bits 14-27), log2 of the capacity (bits 28-31; 0: placeholder).
    std::uint32_t word_;

   public:
    std::uint32_t base;  // the number of slot 0
  };

  static inline constinit MemTrack::Tracker arrayTracker{RQueueDetail::typeName<Array>(), sizeof(Array)};

  // Serial-number order: a precedes b when b is 1 to 2^31 - 1 steps ahead.
  static constexpr bool precedes(std::uint32_t a, std::uint32_t b) noexcept {
    const std::uint32_t ahead = b - a;
    return ahead != 0 && ahead < 0x80000000u;
  }
  static constexpr bool atOrBefore(std::uint32_t a, std::uint32_t b) noexcept { return a == b || precedes(a, b); }
  static constexpr bool isPowerOfTwo(std::uint32_t i) noexcept { return i != 0 && (i & (i - 1)) == 0; }

  // Capacity of the chunk opened after a full tail when `live` entries are queued.
  static constexpr std::uint32_t capacityFor(std::size_t live) noexcept {
    if (live >= kMaxCapacity / 2) {
      return kMaxCapacity;
    }
    return live < 2 ? 2 : std::bit_ceil(static_cast<std::uint32_t>(live) + 1);
  }

  RQueueBase(const RQueueBase&) = delete;
  RQueueBase& operator=(const RQueueBase&) = delete;

  // A never-used queue reads as front 1, back 0.
  std::uint32_t frontSeq() const noexcept { return tail_ == nullptr ? 1 : head()->base + head()->begin(); }
  std::uint32_t backSeq() const noexcept { return tail_ == nullptr ? 0 : tail_->base + tail_->end() - 1; }
  std::size_t size() const noexcept { return static_cast<std::uint32_t>(backSeq() - frontSeq() + 1); }
  bool empty() const noexcept { return backSeq() + 1 == frontSeq(); }
  bool has(std::uint32_t seq) const noexcept {
    return !empty() && atOrBefore(frontSeq(), seq) && atOrBefore(seq, backSeq());
  }

  const T* front() const noexcept { return empty() ? nullptr : &head()->slot(head()->begin()); }
  const T* back() const noexcept { return empty() ? nullptr : &tail_->slot(tail_->end() - 1); }
  T* front() noexcept { return const_cast<T*>(std::as_const(*this).front()); }
  T* back() noexcept { return const_cast<T*>(std::as_const(*this).back()); }

  // The entry numbered seq, or nullptr when it is not queued.
  const T* lookup(std::uint32_t seq) const noexcept;
  T* lookup(std::uint32_t seq) noexcept { return const_cast<T*>(std::as_const(*this).lookup(seq)); }

  const_iterator begin() const noexcept { return const_iterator(this, head()); }
  const_iterator end() const noexcept { return const_iterator(this, nullptr); }

  // Chunks from head to tail.
  std::size_t chunkCount() const noexcept;
  std::vector<RQueueChunkInfo> chunks() const;

 protected:
  RQueueBase() = default;
  RQueueBase(RQueueBase&& other) noexcept : tail_(std::exchange(other.tail_, nullptr)) {}
  ~RQueueBase() { QASSERT(tail_ == nullptr); }

  Array* head() const noexcept { return tail_ == nullptr ? nullptr : tail_->link_; }

  template <class U>
  std::uint32_t enqueue(U&& entry, MemTrack::Tracker& elemTracker);
  std::optional<Entry> dequeue(MemTrack::Tracker& elemTracker);
  // Destroys every entry and frees every chunk; with keepNumbering a
  // placeholder carries the next number on.
  void clearChunks(bool keepNumbering, MemTrack::Tracker& elemTracker) noexcept;
  // Unlinks and returns the head chunk; the queue pointer becomes null when it
  // was the only one.
  Array* takeOffHead() noexcept;
  void installPlaceholder(std::uint32_t next, MemTrack::Tracker& elemTracker);

  Array* tail_ = nullptr;

 private:
  friend class RQueueBaseConstIter<T>;
  static_assert(alignof(T) <= SlabAllocator::kGranule, "slots are only aligned to the slab granule");
  static constexpr std::size_t kSlotOffset = (sizeof(Array) + alignof(T) - 1) / alignof(T) * alignof(T);
  static constexpr std::size_t bytesFor(std::uint32_t capacity) noexcept {
    return kSlotOffset + std::size_t{capacity} * sizeof(T);
  }
};

// A queue of T whose entries are accounted to the tag type Tag.
template <class T, class Tag>
class RQueue : public RQueueBase<T> {
  using Base = RQueueBase<T>;

 public:
  static inline constinit MemTrack::Tracker arrayElemTracker{RQueueDetail::typeName<Tag>(), sizeof(T)};

  RQueue() = default;
  RQueue(RQueue&& other) noexcept : Base(std::move(other)) {}
  RQueue& operator=(RQueue&& other) noexcept {
    if (this != &other) {
      clear(false);
      this->tail_ = std::exchange(other.tail_, nullptr);
    }
    return *this;
  }
  ~RQueue() { clear(false); }

  // Appends an entry and returns its number.
  std::uint32_t enq(const T& entry) { return this->enqueue(entry, arrayElemTracker); }
  std::uint32_t enq(T&& entry) { return this->enqueue(std::move(entry), arrayElemTracker); }
  // Removes the front entry; nothing when the queue is empty.
  std::optional<typename Base::Entry> deq() { return this->dequeue(arrayElemTracker); }
  // Drops every entry. With keepNumbering the next enqueue continues the
  // numbering; without, the queue is as if never used.
  void clear(bool keepNumbering) noexcept { this->clearChunks(keepNumbering, arrayElemTracker); }
  // Makes an empty queue hand out `next` as its next number.
  void restartNumbering(std::uint32_t next) {
    QASSERT(this->empty());
    clear(false);
    this->installPlaceholder(next, arrayElemTracker);
  }
};

// Walks a queue from front to back. Stepping from an entry that was dequeued
// meanwhile continues at the current front; entries enqueued meanwhile are
// visited.
template <class T>
class RQueueBaseConstIter {
  using Queue = RQueueBase<T>;
  using Array = typename Queue::Array;

 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = T;
  using difference_type = std::ptrdiff_t;
  using pointer = const T*;
  using reference = const T&;

  RQueueBaseConstIter() = default;

  // The number of the entry the iterator stands on.
  std::uint32_t seq() const noexcept { return seq_; }

  reference operator*() const noexcept {
    QASSERT(queue_->has(seq_));
    return chunk_->slot(index_);
  }
  pointer operator->() const noexcept { return &**this; }

  RQueueBaseConstIter& operator++() noexcept {
    if (queue_->tail_ == nullptr || Queue::precedes(seq_, queue_->frontSeq())) {
      // Our entry was dequeued and its chunk may be gone: restart at the front.
      seat(queue_->head());
      return *this;
    }
    ++seq_;
    if (++index_ == chunk_->end()) {
      if (chunk_ == queue_->tail_) {
        chunk_ = nullptr;
      } else {
        chunk_ = chunk_->link_;
        index_ = 0;
      }
    }
    return *this;
  }
  RQueueBaseConstIter operator++(int) noexcept {
    auto before = *this;
    ++*this;
    return before;
  }

  bool operator==(const RQueueBaseConstIter& other) const noexcept {
    const bool atEnd = chunk_ == nullptr;
    return queue_ == other.queue_ && atEnd == (other.chunk_ == nullptr) && (atEnd || seq_ == other.seq_);
  }

 private:
  friend class RQueueBase<T>;

  RQueueBaseConstIter(const Queue* queue, const Array* head) noexcept : queue_(queue) { seat(head); }

  // Stands on the front entry, or becomes the end iterator on an empty queue.
  void seat(const Array* head) noexcept {
    if (head == nullptr || queue_->empty()) {
      chunk_ = nullptr;
      return;
    }
    chunk_ = head;
    index_ = head->begin();
    seq_ = queue_->frontSeq();
  }

  const Queue* queue_ = nullptr;
  const Array* chunk_ = nullptr;  // null at the end
  std::uint32_t index_ = 0;
  std::uint32_t seq_ = 0;
};

template <class T>
template <class U>
std::uint32_t RQueueBase<T>::enqueue(U&& entry, MemTrack::Tracker& elemTracker) {
  Array* tail = tail_;
  if (tail != nullptr && tail->end() < tail->capacity()) {
    ::new (tail->slotAddress(tail->end())) T(std::forward<U>(entry));
    tail->setEnd(tail->end() + 1);
    return backSeq();
  }
  // A new tail: the first chunk, the replacement of a placeholder, or the
  // successor of a full tail. The entry is built before the chunk goes in, so
  // a throwing copy leaves the queue as it was (`entry` may even live in it).
  Array* chunk = Array::create(capacityFor(size()), backSeq() + 1, elemTracker);
  try {
    ::new (chunk->slotAddress(0)) T(std::forward<U>(entry));
  } catch (...) {
    chunk->release(elemTracker);
    throw;
  }
  chunk->setEnd(1);
  if (tail == nullptr || tail->capacity() == 0) {
    if (tail != nullptr) {
      takeOffHead()->release(elemTracker);
    }
    chunk->link_ = chunk;
  } else {
    chunk->link_ = tail->link_;
    tail->link_ = chunk;
  }
  tail_ = chunk;
  return chunk->base;
}

template <class T>
auto RQueueBase<T>::dequeue(MemTrack::Tracker& elemTracker) -> std::optional<Entry> {
  if (empty()) {
    return std::nullopt;
  }
  Array* chunk = head();
  T& slot = chunk->slot(chunk->begin());
  std::optional<Entry> entry(std::in_place, frontSeq(), std::move(slot));
  std::destroy_at(&slot);
  chunk->setBegin(chunk->begin() + 1);
  if (chunk->begin() == chunk->end()) {
    const std::uint32_t next = chunk->base + chunk->end();
    takeOffHead();
    if (tail_ == nullptr) {
      installPlaceholder(next, elemTracker);
    }
    chunk->release(elemTracker);
  }
  return entry;
}

template <class T>
void RQueueBase<T>::clearChunks(bool keepNumbering, MemTrack::Tracker& elemTracker) noexcept {
  if (tail_ == nullptr || (keepNumbering && tail_->capacity() == 0)) {
    return;
  }
  const std::uint32_t next = backSeq() + 1;
  while (tail_ != nullptr) {
    Array* chunk = takeOffHead();
    for (std::uint32_t i = chunk->begin(); i != chunk->end(); ++i) {
      std::destroy_at(&chunk->slot(i));
    }
    chunk->release(elemTracker);
  }
  if (keepNumbering) {
    installPlaceholder(next, elemTracker);
  }
}

template <class T>
auto RQueueBase<T>::takeOffHead() noexcept -> Array* {
  QASSERT(tail_ != nullptr);
  Array* chunk = tail_->link_;
  if (chunk == tail_) {
    tail_ = nullptr;
  } else {
    tail_->link_ = chunk->link_;
  }
  chunk->link_ = nullptr;
  return chunk;
}

template <class T>
void RQueueBase<T>::installPlaceholder(std::uint32_t next, MemTrack::Tracker& elemTracker) {
  Array* chunk = Array::create(0, next, elemTracker);
  chunk->link_ = chunk;
  tail_ = chunk;
}

template <class T>
const T* RQueueBase<T>::lookup(std::uint32_t seq) const noexcept {
  const Array* tail = tail_;
  if (tail == nullptr) {
    return nullptr;
  }
  // Recent numbers live in the tail, so it is checked first.
  if (atOrBefore(tail->base + tail->begin(), seq)) {
    return atOrBefore(seq, backSeq()) ? &tail->slot(seq - tail->base) : nullptr;
  }
  if (precedes(seq, frontSeq())) {
    return nullptr;
  }
  for (const Array* chunk = tail->link_; chunk != tail; chunk = chunk->link_) {
    const std::uint32_t index = seq - chunk->base;
    if (index >= chunk->begin() && index < chunk->end()) {
      return &chunk->slot(index);
    }
  }
  return nullptr;
}

template <class T>
std::size_t RQueueBase<T>::chunkCount() const noexcept {
  std::size_t count = 0;
  for (const Array* chunk = head(); chunk != nullptr; chunk = chunk == tail_ ? nullptr : chunk->link_) {
    ++count;
  }
  return count;
}

template <class T>
std::vector<RQueueChunkInfo> RQueueBase<T>::chunks() const {
  std::vector<RQueueChunkInfo> shapes;
  for (const Array* chunk = head(); chunk != nullptr; chunk = chunk == tail_ ? nullptr : chunk->link_) {
    shapes.push_back({chunk->capacity(), chunk->begin(), chunk->end(), chunk->base});
  }
  return shapes;
}

}  // namespace Quill
