#pragma once
// The slab allocator behind the agent's small, frequently recycled objects
// (records, queue chunks, handles).
//
// Requests are rounded up to a size class (multiples of 16 bytes up to
// kMaxClassBytes). Memory is reserved from the system in big blocks, each
// aligned to its size so that the block holding an object is found from the
// object's address alone; a block is cut into slabs, and a slab is handed
// whole to one size class, which splits it into objects kept on the class's
// free list. Freed objects go back to their class's free list and are reused
// first; nothing is returned to the system until the allocator itself is
// destroyed. Allocation and release of a class with free objects are inline
// and take a handful of instructions.
//
// allocate() never throws: it returns nullptr when the request is larger than
// the largest class or when reserving another block would pass the configured
// limit. allocateOrHeap() adds the fallback to the general heap that most
// callers want.
//
// Not thread-safe: the agent allocates from its single activity thread.
//
// Under AddressSanitizer, a freed object is poisoned whole (the free list's
// link included: the allocator unpoisons it only while it reads or writes it)
// and waits in a short quarantine before it goes back on its free list, so a
// use of a freed object is reported at the use (use-after-poison) instead of
// reaching an object that was handed out again.
//
// The process-wide instance (instance()) is never destroyed, so objects with
// static storage duration may keep slab memory until the process exits and
// free it during the exit in any order.

#include <boost/unordered/unordered_flat_set.hpp>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/Assert/Assert.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELAR_SLAB_POISONING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELAR_SLAB_POISONING 1
#endif
#endif
#ifndef VELAR_SLAB_POISONING
#define VELAR_SLAB_POISONING 0
#endif
#if VELAR_SLAB_POISONING
#include <sanitizer/asan_interface.h>
#endif

namespace Quill {

class SlabAllocator {
 public:
  static constexpr std::size_t kGranule = 16;        // class step and object alignment
  static constexpr std::size_t kMaxClassBytes = 4096;
  static constexpr std::size_t kClassCount = kMaxClassBytes / kGranule;
  // Whether freed objects are poisoned (an AddressSanitizer build).
  static constexpr bool kPoisoningBuild = VELAR_SLAB_POISONING != 0;

  struct Config {
    std::size_t blockBytes = std::size_t{1024} * 1024;  // reserved from the system at a time (a power of two)
    std::size_t slabBytes = std::size_t{16} * 1024;     // handed to one size class at a time
    std::size_t limitBytes = std::size_t{1} << 30;  // cap on all reserved blocks
    // Under ASan: how many freed objects wait before reuse (0: reuse at once).
    std::size_t quarantineObjects = kPoisoningBuild ? 4096 : 0;
  };

  static SlabAllocator& instance();

  SlabAllocator() : SlabAllocator(Config{}) {}
  explicit SlabAllocator(const Config& config);
  ~SlabAllocator();
  SlabAllocator(const SlabAllocator&) = delete;
  SlabAllocator& operator=(const SlabAllocator&) = delete;

  // At least `bytes` bytes aligned to kGranule, or nullptr (too large for any
  // class, or the limit is reached). A request for 0 bytes gets the smallest class.
  void* allocate(std::size_t bytes) noexcept {
    if (bytes <= kMaxClassBytes) {
      const std::size_t index = classIndex(bytes);
      SizeClass& sizeClass = classes_[index];
      if (FreeObject* object = sizeClass.freeList) {
        unpoison(object, (index + 1) * kGranule);
        sizeClass.freeList = object->next;
        taken(sizeClass, index);
        return object;
      }
    }
    return allocateFromNewSlab(bytes);
  }
  // `bytes` must be the size passed to allocate(). nullptr is ignored.
  void deallocate(void* p, std::size_t bytes) noexcept {
    if (p == nullptr) {
      return;
    }
    QASSERT(bytes <= kMaxClassBytes && owns(p));
    deallocateOwned(p, bytes);
  }
  // deallocate() for an object the caller already knows to be this
  // allocator's.
  void deallocateOwned(void* p, std::size_t bytes) noexcept {
    const std::size_t index = classIndex(bytes);
    SizeClass& sizeClass = classes_[index];
    QASSERT(sizeClass.live > 0);
    --sizeClass.live;
    --liveAllocations_;
    inUseBytes_ -= (index + 1) * kGranule;
    if (config_.quarantineObjects != 0) {
      quarantine(p, index);
    } else {
      pushFree(p, index);
    }
  }

  // Whether p lies in a block of this allocator.
  // The last block found answers first: objects freed one after the other
  // mostly share a block.
  bool owns(const void* p) const noexcept {
    const std::uintptr_t block = reinterpret_cast<std::uintptr_t>(p) & ~(config_.blockBytes - 1);
    if (block == lastBlockFound_) return true;
    if (!blockAddresses_.contains(block)) return false;
    lastBlockFound_ = block;
    return true;
  }

  // The object size serving a request of `bytes` (0 when no class serves it).
  static constexpr std::size_t classBytes(std::size_t bytes) noexcept {
    if (bytes > kMaxClassBytes) return 0;
    return bytes == 0 ? kGranule : (bytes + kGranule - 1) / kGranule * kGranule;
  }

  const Config& config() const noexcept { return config_; }
  // Bytes held in blocks reserved from the system.
  std::size_t reservedBytes() const noexcept { return blocks_.size() * config_.blockBytes; }
  // Bytes of live objects, counted at their class size.
  std::size_t inUseBytes() const noexcept { return inUseBytes_; }
  std::size_t liveAllocations() const noexcept { return liveAllocations_; }
  // Live objects / objects waiting on the free list, in the class serving `bytes`.
  std::size_t liveAllocations(std::size_t bytes) const noexcept;
  std::size_t freeObjects(std::size_t bytes) const noexcept;
  // Requests refused because the limit was reached or the system had no memory
  // (requests too large for any class are not counted).
  std::size_t failedAllocations() const noexcept { return failedAllocations_; }

 private:
  struct FreeObject {
    FreeObject* next;
  };
  struct SizeClass {
    FreeObject* freeList = nullptr;
    std::size_t live = 0;
    std::size_t free = 0;
  };

  static void poison(const void* p, std::size_t bytes) noexcept {
#if VELAR_SLAB_POISONING
    ASAN_POISON_MEMORY_REGION(p, bytes);
#else
    (void)p, (void)bytes;
#endif
  }
  static void unpoison(const void* p, std::size_t bytes) noexcept {
#if VELAR_SLAB_POISONING
    ASAN_UNPOISON_MEMORY_REGION(p, bytes);
#else
    (void)p, (void)bytes;
#endif
  }
  // Puts a free object on its class's free list (poisoned under ASan).
  void pushFree(void* p, std::size_t index) noexcept {
    SizeClass& sizeClass = classes_[index];
    sizeClass.freeList = ::new (p) FreeObject{sizeClass.freeList};
    ++sizeClass.free;
    poison(p, (index + 1) * kGranule);
  }
  void quarantine(void* p, std::size_t index) noexcept;

  static std::size_t classIndex(std::size_t bytes) noexcept { return classBytes(bytes) / kGranule - 1; }
  void taken(SizeClass& sizeClass, std::size_t index) noexcept {
    --sizeClass.free;
    ++sizeClass.live;
    ++liveAllocations_;
    inUseBytes_ += (index + 1) * kGranule;
  }
  void* allocateFromNewSlab(std::size_t bytes) noexcept;
  bool refill(std::size_t index) noexcept;
  char* takeSlab() noexcept;

  Config config_;
  SizeClass classes_[kClassCount];
  std::vector<char*> blocks_;                              // reserved from the system, freed at destruction
  boost::unordered_flat_set<std::uintptr_t> blockAddresses_;  // the same, for owns()
  mutable std::uintptr_t lastBlockFound_ = 1;          // never a block address
  // Under ASan: freed objects, oldest first from quarantineNext_, with
  // their class index.
  struct Quarantined {
    void* object;
    std::size_t index;
  };
  std::vector<Quarantined> quarantine_;
  std::size_t quarantineNext_ = 0;
  char* carveNext_ = nullptr;  // unsliced rest of the newest block
  char* carveEnd_ = nullptr;
  std::size_t inUseBytes_ = 0;
  std::size_t liveAllocations_ = 0;
  std::size_t failedAllocations_ = 0;
};

// The slab allocator with fallback to the general heap: requests the slab
// cannot serve are taken from ::operator new (nothrow). nullptr only when both
// fail; the caller decides how to die.
void* heapFallbackAllocate(std::size_t bytes) noexcept;
void heapFallbackDeallocate(void* p) noexcept;

inline void* allocateOrHeap(std::size_t bytes, SlabAllocator& slab = SlabAllocator::instance()) noexcept {
  if (void* p = slab.allocate(bytes)) {
    return p;
  }
  return heapFallbackAllocate(bytes);
}
// Frees memory from allocateOrHeap(); `bytes` and `slab` must match the
// allocation. Memory inside the slab's blocks goes back to the slab, anything
// else to the heap.
inline void deallocateOrHeap(void* p, std::size_t bytes, SlabAllocator& slab = SlabAllocator::instance()) noexcept {
  if (p == nullptr) {
    return;
  }
  if (slab.owns(p)) {
    slab.deallocateOwned(p, bytes);
    return;
  }
  heapFallbackDeallocate(p);
}
// Live allocations that allocateOrHeap() had to take from the general heap.
std::size_t heapFallbackAllocations() noexcept;

}  // namespace Quill
