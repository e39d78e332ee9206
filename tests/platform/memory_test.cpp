#include <gtest/gtest.h>

#include <vector>

#include "platform/Memory/AllocationTracker.h"
#include "platform/Memory/MemTrack.h"
#include "platform/Memory/Slab.h"

namespace {

using Quill::SlabAllocator;

TEST(SlabAllocator, ReusesFreedObjectsAndKeepsStatistics) {
  static_assert(SlabAllocator::classBytes(0) == 16 && SlabAllocator::classBytes(16) == 16 &&
                SlabAllocator::classBytes(17) == 32 && SlabAllocator::classBytes(4097) == 0);
  SlabAllocator slab({.quarantineObjects = 0});
  EXPECT_EQ(slab.reservedBytes(), 0u);
  void* a = slab.allocate(24);
  void* b = slab.allocate(32);  // same class as 24
  EXPECT_EQ(slab.reservedBytes(), slab.config().blockBytes);
  EXPECT_EQ(slab.inUseBytes(), 64u);
  EXPECT_EQ(slab.liveAllocations(24), 2u);
  EXPECT_EQ(slab.freeObjects(32), slab.config().slabBytes / 32 - 2);
  slab.deallocate(a, 24);
  EXPECT_EQ(slab.inUseBytes(), 32u);
  EXPECT_EQ(slab.allocate(20), a);  // freed objects are reused first
  slab.deallocate(a, 20);
  slab.deallocate(b, 32);
  EXPECT_EQ(slab.liveAllocations(), 0u);
}

// Under AddressSanitizer a freed object is poisoned and waits before reuse,
// so a late use of it is reported where it happens.
TEST(SlabAllocatorDeathTest, AUseOfAFreedObjectIsReportedUnderAddressSanitizer) {
  if (!SlabAllocator::kPoisoningBuild) GTEST_SKIP() << "not an AddressSanitizer build";
  SlabAllocator slab;
  auto* p = static_cast<volatile int*>(slab.allocate(64));
  slab.deallocate(const_cast<int*>(p), 64);
  void* next = slab.allocate(64);
  EXPECT_NE(next, p);  // quarantined, not handed out again at once
  EXPECT_DEATH(*p = 1, "use-after-poison");
  slab.deallocate(next, 64);
}

TEST(SlabAllocator, ExhaustionFallsBackToTheHeap) {
  // One block of four 4 KiB slabs: room for exactly four 4 KiB objects.
  SlabAllocator slab({.blockBytes = 16 * 1024, .slabBytes = 4096, .limitBytes = 16 * 1024, .quarantineObjects = 0});
  std::vector<void*> fromSlab;
  for (int i = 0; i < 4; ++i) fromSlab.push_back(slab.allocate(4096));
  EXPECT_EQ(slab.allocate(4096), nullptr);
  EXPECT_EQ(slab.allocate(16), nullptr);  // no slab left for another class either
  EXPECT_EQ(slab.allocate(4097), nullptr);
  EXPECT_EQ(slab.failedAllocations(), 2u);  // too large is not a failure

  const auto heapBefore = Quill::heapFallbackAllocations();
  void* spilled = Quill::allocateOrHeap(4096, slab);
  void* large = Quill::allocateOrHeap(100000, slab);
  ASSERT_TRUE(spilled && large);
  EXPECT_FALSE(slab.owns(spilled));
  EXPECT_EQ(Quill::heapFallbackAllocations(), heapBefore + 2);
  Quill::deallocateOrHeap(fromSlab[2], 4096, slab);
  EXPECT_EQ(slab.liveAllocations(), 3u);
  // With a slab object free again, heap memory must still go back to the heap.
  Quill::deallocateOrHeap(spilled, 4096, slab);
  Quill::deallocateOrHeap(large, 100000, slab);
  EXPECT_EQ(Quill::heapFallbackAllocations(), heapBefore);
  EXPECT_EQ(Quill::allocateOrHeap(4081, slab), fromSlab[2]);
  for (void* p : fromSlab) Quill::deallocateOrHeap(p, 4096, slab);
  EXPECT_EQ(slab.liveAllocations(), 0u);
}

TEST(MemoryTrackers, CountLiveAndTotalAndRefuseUnderflow) {
  static constinit Quill::AllocationTracker records{"Route"};
  records.allocated(48);
  records.allocated(64);
  records.released(48);
  EXPECT_EQ(records.live(), 1u);
  EXPECT_EQ(records.liveBytes(), 64u);
  EXPECT_EQ(records.totalAllocations(), 2u);
  records.released(64);
  EXPECT_DEATH(records.released(64), "live_ > 0");

  static constinit Quill::MemTrack::Tracker chunks{"RouteChunk", 24};
  const auto totalBefore = Quill::MemTrack::liveBytes();
  Quill::MemTrack::registerMem(chunks, 10);
  Quill::MemTrack::unregisterMem(chunks, 4);
  EXPECT_EQ(chunks.live(), 6u);
  EXPECT_EQ(chunks.peak(), 10u);
  EXPECT_EQ(Quill::MemTrack::liveBytes(), totalBefore + 6 * 24);
  EXPECT_DEATH(Quill::MemTrack::unregisterMem(chunks, 7), "count <= tracker.live_");
  Quill::MemTrack::unregisterMem(chunks, 6);
  EXPECT_EQ(Quill::MemTrack::liveBytes(), totalBefore);
}

}  // namespace
