#include "AsicSwTable/RQueue.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace Quill {
void PrintTo(const RQueueChunkInfo& c, std::ostream* os) {
  *os << "{cap " << c.capacity << ", [" << c.begin << ", " << c.end << "), base " << c.base << "}";
}
}  // namespace Quill

namespace {

using Quill::RQueueChunkInfo;
using Chunks = std::vector<RQueueChunkInfo>;

struct QE_PendingEntry {};
using Queue = Quill::RQueue<std::string, QE_PendingEntry>;

// Counts live instances and catches a destructor running twice on one object.
struct Counted {
  static inline int live = 0;
  static inline int badDestroys = 0;
  static constexpr unsigned kAlive = 0xC0FFEE;
  unsigned magic = kAlive;
  int value = 0;
  explicit Counted(int v = 0) : value(v) { ++live; }
  Counted(const Counted& o) : value(o.value) { ++live; }
  Counted(Counted&& o) noexcept : value(o.value) { ++live; }
  Counted& operator=(const Counted&) = default;
  ~Counted() {
    badDestroys += magic != kAlive;
    magic = 0;
    --live;
  }
};
struct QE_Counted {};
using CountedQueue = Quill::RQueue<Counted, QE_Counted>;

std::vector<std::uint32_t> seqsOf(const Queue& q) {
  std::vector<std::uint32_t> seqs;
  for (auto it = q.begin(); it != q.end(); ++it) seqs.push_back(it.seq());
  return seqs;
}

TEST(RQueue, NeverUsedQueueIsEmptyWithNoChunk) {
  Queue q;
  static_assert(sizeof(Queue) == sizeof(void*));
  EXPECT_EQ(q.frontSeq(), 1u);
  EXPECT_EQ(q.backSeq(), 0u);
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(q.size(), 0u);
  EXPECT_FALSE(q.deq());
  EXPECT_EQ(q.front(), nullptr);
  EXPECT_EQ(q.lookup(0), nullptr);
  EXPECT_EQ(q.lookup(1), nullptr);
  EXPECT_FALSE(q.has(1));
  EXPECT_EQ(q.chunkCount(), 0u);
  EXPECT_EQ(q.begin(), q.end());
}

TEST(RQueue, ChunksGrowFromTheLiveCount) {
  Queue q;
  for (std::uint32_t i = 1; i <= 5; ++i) EXPECT_EQ(q.enq("e" + std::to_string(i)), i);
  EXPECT_EQ(q.chunks(), (Chunks{{2, 0, 2, 1}, {4, 0, 3, 3}}));
  EXPECT_EQ(q.enq("e6"), 6u);
  EXPECT_EQ(q.chunkCount(), 2u);
  EXPECT_EQ(q.enq("e7"), 7u);
  EXPECT_EQ(q.chunks(), (Chunks{{2, 0, 2, 1}, {4, 0, 4, 3}, {8, 0, 1, 7}}));
  EXPECT_EQ(*q.front(), "e1");
  EXPECT_EQ(*q.back(), "e7");
  EXPECT_EQ(q.size(), 7u);
  for (std::uint32_t i = 1; i <= 7; ++i) EXPECT_EQ(*q.lookup(i), "e" + std::to_string(i)) << i;

  // Entries leave in order; each emptied chunk goes at once.
  auto first = q.deq();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->seq, 1u);
  EXPECT_EQ(first->value, "e1");
  EXPECT_EQ(q.chunks().front(), (RQueueChunkInfo{2, 1, 2, 1}));
  q.deq();
  EXPECT_EQ(q.chunks(), (Chunks{{4, 0, 4, 3}, {8, 0, 1, 7}}));
}

TEST(RQueue, CapacityBoundsAndTheLargestChunk) {
  using Base = Quill::RQueueBase<int>;
  static_assert(Base::capacityFor(0) == 2 && Base::capacityFor(1) == 2 && Base::capacityFor(2) == 4 &&
                Base::capacityFor(3) == 4 && Base::capacityFor(4) == 8 && Base::capacityFor(4095) == 4096 &&
                Base::capacityFor(4096) == 8192 && Base::capacityFor(std::size_t{1} << 40) == 8192);
  Quill::RQueue<int, QE_PendingEntry> q;
  for (int i = 1; i <= 20000; ++i) q.enq(i);
  std::vector<std::uint32_t> capacities;
  for (const auto& c : q.chunks()) capacities.push_back(c.capacity);
  EXPECT_EQ(capacities, (std::vector<std::uint32_t>{2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192,
                                                    8192}));
  for (std::uint32_t seq : {1u, 2u, 8190u, 8191u, 16382u, 16383u, 20000u}) EXPECT_EQ(*q.lookup(seq), static_cast<int>(seq));
  EXPECT_EQ(q.lookup(20001), nullptr);
}

TEST(RQueue, DrainedQueueKeepsNumberingInAPlaceholder) {
  Queue q;
  for (int i = 0; i < 3; ++i) q.enq("x");
  for (std::uint32_t seq = 1; seq <= 3; ++seq) EXPECT_EQ(q.deq()->seq, seq);
  EXPECT_EQ(q.chunks(), (Chunks{{0, 0, 0, 4}}));
  EXPECT_TRUE(q.empty());
  EXPECT_FALSE(q.has(3));
  EXPECT_FALSE(q.has(4));
  EXPECT_EQ(q.frontSeq(), 4u);
  EXPECT_EQ(q.backSeq(), 3u);
  EXPECT_FALSE(q.deq());
  EXPECT_EQ(q.lookup(3), nullptr);
  EXPECT_EQ(q.lookup(4), nullptr);
  EXPECT_EQ(q.begin(), q.end());

  EXPECT_EQ(q.enq("y"), 4u);
  EXPECT_EQ(q.chunks(), (Chunks{{2, 0, 1, 4}}));
  EXPECT_TRUE(q.has(4));
  EXPECT_FALSE(q.has(3));
}

TEST(RQueue, PartialDequeueNeitherReusesSlotsNorOversizesTheNextChunk) {
  Queue q;
  for (int i = 0; i < 6; ++i) q.enq("x");
  for (int i = 0; i < 3; ++i) q.deq();
  // 3 live (4..6) though 6 were numbered: the next chunk holds 4, not 8.
  EXPECT_EQ(q.enq("x"), 7u);
  EXPECT_EQ(q.chunks(), (Chunks{{4, 1, 4, 3}, {4, 0, 1, 7}}));
  EXPECT_EQ(q.size(), 4u);
}

TEST(RQueue, LookupFindsOnlyQueuedNumbers) {
  Queue q;
  for (int i = 1; i <= 10; ++i) q.enq(std::to_string(i));  // chunks 1-2, 3-6, 7-10 (of 8)
  for (int i = 0; i < 3; ++i) q.deq();
  for (std::uint32_t seq : {0u, 1u, 3u, 11u, 12u, 0x80000000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(q.lookup(seq), nullptr) << seq;
    EXPECT_FALSE(q.has(seq)) << seq;
  }
  for (std::uint32_t seq = 4; seq <= 10; ++seq) {
    ASSERT_NE(q.lookup(seq), nullptr) << seq;
    EXPECT_EQ(*q.lookup(seq), std::to_string(seq));
    EXPECT_TRUE(q.has(seq));
  }
  *q.lookup(5) = "five";
  EXPECT_EQ(*std::as_const(q).lookup(5), "five");
}

TEST(RQueue, ClearEitherContinuesOrRestartsNumbering) {
  Queue q;
  for (int i = 0; i < 5; ++i) q.enq("x");
  q.deq();
  q.clear(true);
  EXPECT_EQ(q.chunks(), (Chunks{{0, 0, 0, 6}}));
  EXPECT_FALSE(q.has(5));
  q.clear(true);
  EXPECT_EQ(q.enq("x"), 6u);
  q.clear(false);
  EXPECT_EQ(q.chunkCount(), 0u);
  EXPECT_EQ(q.enq("x"), 1u);
}

TEST(RQueue, NumberingWrapsPast32Bits) {
  using Base = Quill::RQueueBase<std::string>;
  static_assert(Base::precedes(1, 2) && Base::precedes(0xFFFFFFFFu, 0) && Base::precedes(0, 0x7FFFFFFFu));
  static_assert(!Base::precedes(2, 1) && !Base::precedes(5, 5) && !Base::precedes(0, 0x80000000u) &&
                !Base::precedes(0x80000000u, 0));
  Queue q;
  q.restartNumbering(0xFFFFFFFEu);
  EXPECT_EQ(q.enq("a"), 0xFFFFFFFEu);
  EXPECT_EQ(q.enq("b"), 0xFFFFFFFFu);
  EXPECT_EQ(q.enq("c"), 0u);
  EXPECT_EQ(q.enq("d"), 1u);
  EXPECT_EQ(q.chunks(), (Chunks{{2, 0, 2, 0xFFFFFFFEu}, {4, 0, 2, 0}}));
  EXPECT_EQ(q.size(), 4u);
  EXPECT_EQ(*q.lookup(0xFFFFFFFFu), "b");
  EXPECT_EQ(*q.lookup(0), "c");
  EXPECT_EQ(*q.lookup(1), "d");
  EXPECT_EQ(q.lookup(0xFFFFFFFDu), nullptr);
  EXPECT_EQ(q.lookup(2), nullptr);
  EXPECT_TRUE(q.has(0xFFFFFFFEu));
  EXPECT_FALSE(q.has(2));
  EXPECT_EQ(seqsOf(q), (std::vector<std::uint32_t>{0xFFFFFFFEu, 0xFFFFFFFFu, 0, 1}));
  q.deq();
  q.deq();
  EXPECT_EQ(q.frontSeq(), 0u);
  EXPECT_EQ(q.lookup(0xFFFFFFFFu), nullptr);
  q.deq();
  q.deq();
  EXPECT_EQ(q.enq("e"), 2u);
}

TEST(RQueue, IteratorSurvivesDequeues) {
  Queue q;
  for (int i = 1; i <= 6; ++i) q.enq(std::to_string(i));
  std::string all;
  for (const std::string& e : q) all += e;
  EXPECT_EQ(all, "123456");

  auto it = q.begin();
  ++it;
  EXPECT_EQ(*it, "2");
  // 1..4 leave (chunk 1-2 is freed); stepping from 2 lands on the new front, 5.
  for (int i = 0; i < 4; ++i) q.deq();
  ++it;
  EXPECT_EQ(it.seq(), 5u);
  EXPECT_EQ(*it, "5");
  // Entries enqueued behind the iterator, in a new chunk, are visited.
  q.enq("7");
  q.enq("8");
  EXPECT_EQ(q.chunkCount(), 2u);
  std::vector<std::uint32_t> rest;
  for (; it != q.end(); ++it) rest.push_back(it.seq());
  EXPECT_EQ(rest, (std::vector<std::uint32_t>{5, 6, 7, 8}));

  // An iterator whose entry was dequeued with everything else becomes end.
  auto last = q.begin();
  while (q.deq()) {
  }
  EXPECT_EQ(++last, q.end());
}

TEST(RQueue, EveryEntryIsDestroyedExactlyOnce) {
  {
    CountedQueue q;
    Counted c(7);
    for (int i = 0; i < 20; ++i) {
      if (i % 2) {
        q.enq(c);
      } else {
        q.enq(Counted(i));
      }
    }
    for (int i = 0; i < 9; ++i) EXPECT_TRUE(q.deq());
    EXPECT_EQ(Counted::live, 1 + 11);
    q.clear(true);
    EXPECT_EQ(Counted::live, 1);
    for (int i = 0; i < 5; ++i) q.enq(c);
    CountedQueue other(std::move(q));
    EXPECT_EQ(q.chunkCount(), 0u);
    EXPECT_EQ(other.enq(c), 26u);
    for (int i = 0; i < 3; ++i) q.enq(c);
    q = std::move(other);  // drops q's three entries
    EXPECT_EQ(Counted::live, 1 + 6);
    EXPECT_EQ(q.size(), 6u);
  }
  EXPECT_EQ(Counted::live, 0);
  EXPECT_EQ(Counted::badDestroys, 0);
}

TEST(RQueue, ThrowingCopyLeavesTheQueueUnchanged) {
  struct Fragile {
    bool fail = false;
    Fragile() = default;
    Fragile(const Fragile& o) : fail(o.fail) {
      if (fail) throw std::runtime_error("copy");
    }
  };
  struct QE_Fragile {};
  Quill::RQueue<Fragile, QE_Fragile> q;
  Fragile bad;
  bad.fail = true;
  q.enq(Fragile{});
  q.enq(Fragile{});
  q.deq();
  q.deq();  // placeholder at 3
  EXPECT_THROW(q.enq(bad), std::runtime_error);
  EXPECT_EQ(q.chunks(), (Chunks{{0, 0, 0, 3}}));
  q.enq(Fragile{});
  q.enq(Fragile{});  // full tail
  EXPECT_THROW(q.enq(bad), std::runtime_error);
  EXPECT_EQ(q.chunks(), (Chunks{{2, 0, 2, 3}}));
  EXPECT_EQ(q.arrayElemTracker.live(), 2u);
  EXPECT_EQ(q.arrayTracker.live(), 1u);
}

TEST(RQueue, ChunksAreRegisteredWithMemTrack) {
  using Q = Quill::RQueue<Counted, QE_Counted>;
  auto& headers = Q::arrayTracker;
  auto& elems = Q::arrayElemTracker;
  EXPECT_TRUE(elems.typeName().ends_with("QE_Counted")) << elems.typeName();
  EXPECT_EQ(elems.elementSize(), sizeof(Counted));
  const auto slabLive = Quill::SlabAllocator::instance().liveAllocations();
  {
    Q q;
    for (int i = 0; i < 7; ++i) q.enq(Counted());
    EXPECT_EQ(headers.live(), 3u);
    EXPECT_EQ(elems.live(), 2u + 4 + 8);
    while (q.deq()) {
    }
    EXPECT_EQ(headers.live(), 1u);  // the placeholder
    EXPECT_EQ(elems.live(), 0u);
    EXPECT_EQ(Quill::SlabAllocator::instance().liveAllocations(), slabLive + 1);
  }
  EXPECT_EQ(headers.live(), 0u);
  EXPECT_EQ(elems.live(), 0u);
  EXPECT_EQ(Quill::SlabAllocator::instance().liveAllocations(), slabLive);
}

struct ExposedQueue : Quill::RQueue<int, QE_PendingEntry> {
  using RQueueBase<int>::takeOffHead;
};

TEST(RQueueDeathTest, BrokenChunkHandlingStopsTheAgent) {
  using Array = Quill::RQueueBase<int>::Array;
  auto& elems = ExposedQueue::arrayElemTracker;
  EXPECT_DEATH(Array::create(3, 1, elems), "isPowerOfTwo\\( i \\)");
  Array* chunk = Array::create(2, 1, elems);
  chunk->link_ = chunk;
  EXPECT_DEATH(chunk->release(elems), "!linked\\(\\)");
  chunk->link_ = nullptr;
  chunk->release(elems);
  ExposedQueue q;
  EXPECT_DEATH(q.takeOffHead(), "tail_ != nullptr");
}

}  // namespace
