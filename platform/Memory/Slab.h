#pragma once
// The slab allocator behind the agent's small, frequently recycled objects
// (records, queue chunks, handles).
//
// Requests are rounded up to a size class (multiples of 16 bytes up to
// kMaxClassBytes). Memory is reserved from the system in big blocks; a block is
// cut into slabs, and a slab is handed whole to one size class, which splits it
// into objects kept on the class's free list. Freed objects go back to their
// class's free list and are reused first; nothing is returned to the system
// until the allocator itself is destroyed.
//
// allocate() never throws: it returns nullptr when the request is larger than
// the largest class or when reserving another block would pass the configured
// limit. allocateOrHeap() adds the fallback to the general heap that most
// callers want.
//
// Not thread-safe: the agent allocates from its single activity thread.
//
// The process-wide instance is a function-local static, destroyed at exit with
// all its blocks. An object with static storage duration that keeps slab memory
// until exit must call SlabAllocator::instance() before it allocates for the
// first time (e.g. in its constructor), so the allocator outlives it.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quill {

class SlabAllocator {
 public:
  static constexpr std::size_t kGranule = 16;        // class step and object alignment
  static constexpr std::size_t kMaxClassBytes = 4096;
  static constexpr std::size_t kClassCount = kMaxClassBytes / kGranule;

  struct Config {
    std::size_t blockBytes = std::size_t{1024} * 1024;  // reserved from the system at a time
    std::size_t slabBytes = std::size_t{16} * 1024;     // handed to one size class at a time
    std::size_t limitBytes = std::size_t{1} << 30;  // cap on all reserved blocks
  };

  static SlabAllocator& instance();

  SlabAllocator() : SlabAllocator(Config{}) {}
  explicit SlabAllocator(const Config& config);
  ~SlabAllocator();
  SlabAllocator(const SlabAllocator&) = delete;
  SlabAllocator& operator=(const SlabAllocator&) = delete;

  // At least `bytes` bytes aligned to kGranule, or nullptr (too large for any
  // class, or the limit is reached). A request for 0 bytes gets the smallest class.
  void* allocate(std::size_t bytes) noexcept;
  // `bytes` must be the size passed to allocate(). nullptr is ignored.
  void deallocate(void* p, std::size_t bytes) noexcept;

  // Whether p lies in a block of this allocator.
  bool owns(const void* p) const noexcept;

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

  static std::size_t classIndex(std::size_t bytes) noexcept { return classBytes(bytes) / kGranule - 1; }
  bool refill(std::size_t index) noexcept;
  char* takeSlab() noexcept;

  Config config_;
  SizeClass classes_[kClassCount];
  std::vector<char*> blocks_;  // sorted by address, for owns()
  char* carveNext_ = nullptr;  // unsliced rest of the newest block
  char* carveEnd_ = nullptr;
  std::size_t inUseBytes_ = 0;
  std::size_t liveAllocations_ = 0;
  std::size_t failedAllocations_ = 0;
};

// The slab allocator with fallback to the general heap: requests the slab
// cannot serve are taken from ::operator new (nothrow). nullptr only when both
// fail; the caller decides how to die.
void* allocateOrHeap(std::size_t bytes, SlabAllocator& slab = SlabAllocator::instance()) noexcept;
// Frees memory from allocateOrHeap(); `bytes` and `slab` must match the
// allocation. Memory inside the slab's blocks goes back to the slab, anything
// else to the heap.
void deallocateOrHeap(void* p, std::size_t bytes, SlabAllocator& slab = SlabAllocator::instance()) noexcept;
// Live allocations that allocateOrHeap() had to take from the general heap.
std::size_t heapFallbackAllocations() noexcept;

}  // namespace Quill
