#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "platform/Memory/AllocationTracker.h"
#include "platform/Memory/MemTrack.h"
#include "platform/Memory/Slab.h"

namespace {

using Quill::SlabAllocator;

// 4 slabs of 4 KiB in one block: room for exactly four 4 KiB objects.
SlabAllocator::Config tinyConfig() { return {.blockBytes = 16 * 1024, .slabBytes = 4096, .limitBytes = 16 * 1024}; }

TEST(SlabAllocator, SizeClasses) {
  static_assert(SlabAllocator::classBytes(0) == 16 && SlabAllocator::classBytes(1) == 16 &&
                SlabAllocator::classBytes(16) == 16 && SlabAllocator::classBytes(17) == 32 &&
                SlabAllocator::classBytes(4096) == 4096 && SlabAllocator::classBytes(4097) == 0);
}

TEST(SlabAllocator, ReusesFreedObjectsAndKeepsStatistics) {
  SlabAllocator slab;
  EXPECT_EQ(slab.reservedBytes(), 0u);
  void* a = slab.allocate(24);
  void* b = slab.allocate(32);  // same class as 24
  ASSERT_TRUE(a && b);
  EXPECT_EQ(slab.reservedBytes(), slab.config().blockBytes);
  EXPECT_EQ(slab.inUseBytes(), 64u);
  EXPECT_EQ(slab.liveAllocations(24), 2u);
  EXPECT_EQ(slab.liveAllocations(16), 0u);
  EXPECT_EQ(slab.freeObjects(32), slab.config().slabBytes / 32 - 2);
  EXPECT_TRUE(slab.owns(a));
  int local = 0;
  EXPECT_FALSE(slab.owns(&local));

  slab.deallocate(a, 24);
  EXPECT_EQ(slab.liveAllocations(), 1u);
  EXPECT_EQ(slab.inUseBytes(), 32u);
  EXPECT_EQ(slab.allocate(20), a);  // freed objects are reused first
  slab.deallocate(a, 20);
  slab.deallocate(b, 32);
  EXPECT_EQ(slab.liveAllocations(), 0u);
  EXPECT_EQ(slab.inUseBytes(), 0u);
}

TEST(SlabAllocator, ObjectsAreAlignedAndDisjoint) {
  SlabAllocator slab;
  std::vector<std::pair<unsigned char*, std::size_t>> objects;
  for (std::size_t i = 0; i < 3000; ++i) {
    const std::size_t bytes = 1 + (i * 37) % SlabAllocator::kMaxClassBytes;
    auto* p = static_cast<unsigned char*>(slab.allocate(bytes));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % SlabAllocator::kGranule, 0u);
    std::memset(p, static_cast<int>(i & 0xFF), bytes);
    objects.emplace_back(p, bytes);
  }
  for (std::size_t i = 0; i < objects.size(); ++i) {
    auto [p, bytes] = objects[i];
    EXPECT_TRUE(std::all_of(p, p + bytes, [&](unsigned char c) { return c == (i & 0xFF); })) << "object " << i;
    slab.deallocate(p, bytes);
  }
  EXPECT_EQ(slab.liveAllocations(), 0u);
  EXPECT_GT(slab.reservedBytes(), slab.config().blockBytes);  // took several blocks, all freed at destruction
}

TEST(SlabAllocator, ReturnsNullWhenExhaustedOrTooLarge) {
  SlabAllocator slab(tinyConfig());
  std::vector<void*> big;
  for (int i = 0; i < 4; ++i) big.push_back(slab.allocate(4096));
  EXPECT_EQ(std::set<void*>(big.begin(), big.end()).size(), 4u);
  EXPECT_EQ(slab.allocate(4096), nullptr);
  EXPECT_EQ(slab.allocate(16), nullptr);  // no slab left for another class either
  EXPECT_EQ(slab.failedAllocations(), 2u);
  EXPECT_EQ(slab.allocate(4097), nullptr);
  EXPECT_EQ(slab.failedAllocations(), 2u);
  EXPECT_EQ(slab.reservedBytes(), 16u * 1024);
  slab.deallocate(big[2], 4096);
  EXPECT_EQ(slab.allocate(4081), big[2]);  // same class
  for (void* p : big) slab.deallocate(p, 4096);
}

TEST(SlabAllocator, HeapFallbackFreesEachPointerWhereItCameFrom) {
  SlabAllocator slab(tinyConfig());
  const auto heapBefore = Quill::heapFallbackAllocations();
  std::vector<void*> fromSlab;
  for (int i = 0; i < 4; ++i) fromSlab.push_back(Quill::allocateOrHeap(4096, slab));
  void* spilled = Quill::allocateOrHeap(4096, slab);
  void* large = Quill::allocateOrHeap(100000, slab);
  ASSERT_TRUE(spilled && large);
  EXPECT_FALSE(slab.owns(spilled));
  EXPECT_EQ(Quill::heapFallbackAllocations(), heapBefore + 2);
  std::memset(large, 0xAB, 100000);

  Quill::deallocateOrHeap(fromSlab[0], 4096, slab);
  EXPECT_EQ(slab.liveAllocations(), 3u);
  // A slab object is free again, but the heap block must still go to the heap.
  Quill::deallocateOrHeap(spilled, 4096, slab);
  Quill::deallocateOrHeap(large, 100000, slab);
  EXPECT_EQ(Quill::heapFallbackAllocations(), heapBefore);
  for (int i = 1; i < 4; ++i) Quill::deallocateOrHeap(fromSlab[i], 4096, slab);
  EXPECT_EQ(slab.liveAllocations(), 0u);
  Quill::deallocateOrHeap(nullptr, 16, slab);
}

TEST(AllocationTracker, CountsLiveAndTotal) {
  static constinit Quill::AllocationTracker tracker{"Route"};
  tracker.allocated(48);
  tracker.allocated(64);
  tracker.released(48);
  EXPECT_EQ(tracker.name(), "Route");
  EXPECT_EQ(tracker.live(), 1u);
  EXPECT_EQ(tracker.liveBytes(), 64u);
  EXPECT_EQ(tracker.totalAllocations(), 2u);
  tracker.released(64);
  EXPECT_EQ(tracker.live(), 0u);
  EXPECT_DEATH(tracker.released(64), "live_ > 0");
}

TEST(MemTrack, CountsRegisteredElements) {
  static constinit Quill::MemTrack::Tracker tracker{"RouteChunk", 24};
  const auto totalBefore = Quill::MemTrack::liveBytes();
  Quill::MemTrack::registerMem(tracker, 10);
  Quill::MemTrack::registerMem(tracker, 0);
  Quill::MemTrack::unregisterMem(tracker, 4);
  EXPECT_EQ(tracker.live(), 6u);
  EXPECT_EQ(tracker.liveBytes(), 6u * 24);
  EXPECT_EQ(tracker.peak(), 10u);
  EXPECT_EQ(tracker.totalRegistered(), 10u);
  EXPECT_EQ(Quill::MemTrack::liveBytes(), totalBefore + 6 * 24);
  EXPECT_DEATH(Quill::MemTrack::unregisterMem(tracker, 7), "count <= tracker.live_");
  Quill::MemTrack::unregisterMem(tracker, 6);
  EXPECT_EQ(tracker.live(), 0u);
  EXPECT_EQ(Quill::MemTrack::liveBytes(), totalBefore);
}

}  // namespace
