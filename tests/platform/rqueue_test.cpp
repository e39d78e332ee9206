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

using Chunks = std::vector<Quill::RQueueChunkInfo>;
struct QE_PendingEntry {};
using Queue = Quill::RQueue<std::string, QE_PendingEntry>;
static_assert(sizeof(Queue) == sizeof(void*));  // one pointer, to the tail chunk

Queue filled(int count) {
  Queue q;
  for (int i = 1; i <= count; ++i) q.enq(std::to_string(i));
  return q;
}

// A queue that runs empty keeps its numbering in a placeholder chunk, and so
// does clear(true); after clear(false) it is as if never used.
TEST(RQueue, EmptyQueueKeepsOrRestartsItsNumbering) {
  Queue q = filled(3);
  for (int i = 0; i < 3; ++i) q.deq();
  EXPECT_EQ(q.chunks(), (Chunks{{0, 0, 0, 4}}));
  EXPECT_FALSE(q.has(3));
  EXPECT_FALSE(q.deq());
  EXPECT_EQ(q.lookup(4), nullptr);
  EXPECT_EQ(q.enq("4"), 4u);
  EXPECT_EQ(q.chunks(), (Chunks{{2, 0, 1, 4}}));
  EXPECT_EQ(q.enq("5"), 5u);  // into the chunk's free slot
  q.clear(true);
  EXPECT_EQ(q.chunks(), (Chunks{{0, 0, 0, 6}}));
  q.clear(true);
  EXPECT_EQ(q.enq("6"), 6u);

  q.clear(false);
  EXPECT_EQ(q.chunkCount(), 0u);
  EXPECT_EQ(q.frontSeq(), 1u);
  EXPECT_EQ(q.backSeq(), 0u);
  EXPECT_EQ(q.size(), 0u);
  EXPECT_FALSE(q.deq());
  EXPECT_EQ(q.lookup(1), nullptr);
  EXPECT_FALSE(q.has(1));
  EXPECT_EQ(q.begin(), q.end());
  EXPECT_EQ(q.enq("1"), 1u);
}

// Lookups walk every chunk: a number is found only while it is queued.
TEST(RQueue, LookupFindsOnlyQueuedNumbers) {
  Queue q = filled(10);  // chunks 1-2, 3-6, 7-10 (of 8)
  q.deq();               // the head chunk now starts at slot 1
  for (std::uint32_t seq = 2; seq <= 10; ++seq) EXPECT_EQ(*q.lookup(seq), std::to_string(seq));
  for (std::uint32_t seq : {0u, 1u, 11u, 0x80000000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(q.lookup(seq), nullptr) << seq;
    EXPECT_FALSE(q.has(seq)) << seq;
  }
}

TEST(RQueue, NumberingWrapsPast32Bits) {
  using Base = Quill::RQueueBase<std::string>;
  static_assert(Base::precedes(0xFFFFFFFFu, 0) && Base::precedes(0, 0x7FFFFFFFu) && !Base::precedes(0, 0x80000000u) &&
                !Base::precedes(0x80000000u, 0) && !Base::precedes(2, 1) && !Base::precedes(5, 5));
  Queue q;
  q.restartNumbering(0xFFFFFFFEu);
  for (const char* e : {"a", "b", "c", "d"}) q.enq(e);
  EXPECT_EQ(q.chunks(), (Chunks{{2, 0, 2, 0xFFFFFFFEu}, {4, 0, 2, 0}}));
  EXPECT_EQ(*q.lookup(0xFFFFFFFFu), "b");
  EXPECT_EQ(*q.lookup(0), "c");
  EXPECT_EQ(q.lookup(0xFFFFFFFDu), nullptr);
  EXPECT_EQ(q.lookup(2), nullptr);
  std::vector<std::uint32_t> seqs;
  for (auto it = q.begin(); it != q.end(); ++it) seqs.push_back(it.seq());
  EXPECT_EQ(seqs, (std::vector<std::uint32_t>{0xFFFFFFFEu, 0xFFFFFFFFu, 0, 1}));
  while (q.deq()) continue;
  EXPECT_EQ(q.enq("e"), 2u);
}

TEST(RQueue, IteratorSurvivesDequeues) {
  Queue q = filled(6);
  auto it = std::next(q.begin());
  // 1..4 leave and chunk 1-2 is freed: stepping from 2 lands on the new front.
  for (int i = 0; i < 4; ++i) q.deq();
  EXPECT_EQ((++it).seq(), 5u);
  q.enq("7");  // into a new chunk, and visited
  std::string rest;
  for (; it != q.end(); ++it) rest += *it;
  EXPECT_EQ(rest, "567");

  auto last = q.begin();
  while (q.deq()) continue;
  EXPECT_EQ(++last, q.end());
}

TEST(RQueue, ThrowingCopyLeavesTheQueueUnchanged) {
  struct Fragile {
    Fragile() = default;
    Fragile(const Fragile&) { throw std::runtime_error("copy"); }
  };
  Quill::RQueue<Fragile, QE_PendingEntry> q;
  const Fragile bad;
  q.restartNumbering(3);
  EXPECT_THROW(q.enq(bad), std::runtime_error);  // would replace the placeholder
  EXPECT_EQ(q.chunks(), (Chunks{{0, 0, 0, 3}}));
  EXPECT_EQ(q.arrayElemTracker.live(), 0u);
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
