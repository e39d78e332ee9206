#include "platform/Memory/Slab.h"

#include <algorithm>
#include <new>

#include "platform/Assert/Assert.h"

namespace Quill {

static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= SlabAllocator::kGranule,
              "blocks from operator new must be aligned for every size class");

namespace {

std::uintptr_t address(const void* p) noexcept { return reinterpret_cast<std::uintptr_t>(p); }

// Objects allocateOrHeap() took from the general heap and that are still live.
std::size_t heapFallbackLive = 0;

}  // namespace

SlabAllocator& SlabAllocator::instance() {
  static SlabAllocator slab;
  return slab;
}

SlabAllocator::SlabAllocator(const Config& config) : config_(config) {
  QASSERT(config_.slabBytes % kGranule == 0 && config_.slabBytes >= kMaxClassBytes);
  QASSERT(config_.blockBytes >= config_.slabBytes && config_.blockBytes % config_.slabBytes == 0);
}

SlabAllocator::~SlabAllocator() {
  for (char* block : blocks_) {
    ::operator delete(block);
  }
}

void* SlabAllocator::allocate(std::size_t bytes) noexcept {
  if (bytes > kMaxClassBytes) {
    return nullptr;
  }
  const std::size_t index = classIndex(bytes);
  SizeClass& sizeClass = classes_[index];
  if (sizeClass.freeList == nullptr && !refill(index)) {
    ++failedAllocations_;
    return nullptr;
  }
  FreeObject* object = sizeClass.freeList;
  sizeClass.freeList = object->next;
  --sizeClass.free;
  ++sizeClass.live;
  ++liveAllocations_;
  inUseBytes_ += (index + 1) * kGranule;
  return object;
}

void SlabAllocator::deallocate(void* p, std::size_t bytes) noexcept {
  if (p == nullptr) {
    return;
  }
  QASSERT(bytes <= kMaxClassBytes && owns(p));
  const std::size_t index = classIndex(bytes);
  SizeClass& sizeClass = classes_[index];
  QASSERT(sizeClass.live > 0);
  sizeClass.freeList = ::new (p) FreeObject{sizeClass.freeList};
  ++sizeClass.free;
  --sizeClass.live;
  --liveAllocations_;
  inUseBytes_ -= (index + 1) * kGranule;
}

bool SlabAllocator::owns(const void* p) const noexcept {
  // The block starting at or below p is the only candidate.
  auto above = std::upper_bound(blocks_.begin(), blocks_.end(), address(p),
                                [](std::uintptr_t a, const char* block) { return a < address(block); });
  if (above == blocks_.begin()) {
    return false;
  }
  return address(p) < address(*(above - 1)) + config_.blockBytes;
}

std::size_t SlabAllocator::liveAllocations(std::size_t bytes) const noexcept {
  return bytes > kMaxClassBytes ? 0 : classes_[classIndex(bytes)].live;
}

std::size_t SlabAllocator::freeObjects(std::size_t bytes) const noexcept {
  return bytes > kMaxClassBytes ? 0 : classes_[classIndex(bytes)].free;
}

// Gives the class a fresh slab, split into objects on its free list. The
// objects are pushed from the slab's end so they come out in address order.
bool SlabAllocator::refill(std::size_t index) noexcept {
  char* slab = takeSlab();
  if (slab == nullptr) {
    return false;
  }
  const std::size_t objectBytes = (index + 1) * kGranule;
  const std::size_t count = config_.slabBytes / objectBytes;
  SizeClass& sizeClass = classes_[index];
  for (std::size_t i = count; i-- > 0;) {
    sizeClass.freeList = ::new (slab + i * objectBytes) FreeObject{sizeClass.freeList};
  }
  sizeClass.free += count;
  return true;
}

char* SlabAllocator::takeSlab() noexcept {
  if (carveNext_ == carveEnd_) {
    if (reservedBytes() + config_.blockBytes > config_.limitBytes) {
      return nullptr;
    }
    auto* block = static_cast<char*>(::operator new(config_.blockBytes, std::nothrow));
    if (block == nullptr) {
      return nullptr;
    }
    try {
      blocks_.insert(std::upper_bound(blocks_.begin(), blocks_.end(), block,
                                      [](const char* a, const char* b) { return address(a) < address(b); }),
                     block);
    } catch (const std::bad_alloc&) {
      ::operator delete(block);
      return nullptr;
    }
    carveNext_ = block;
    carveEnd_ = block + config_.blockBytes;
  }
  char* slab = carveNext_;
  carveNext_ += config_.slabBytes;
  return slab;
}

void* allocateOrHeap(std::size_t bytes, SlabAllocator& slab) noexcept {
  if (void* p = slab.allocate(bytes)) {
    return p;
  }
  void* p = ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
  if (p != nullptr) {
    ++heapFallbackLive;
  }
  return p;
}

void deallocateOrHeap(void* p, std::size_t bytes, SlabAllocator& slab) noexcept {
  if (p == nullptr) {
    return;
  }
  if (slab.owns(p)) {
    slab.deallocate(p, bytes);
    return;
  }
  QASSERT(heapFallbackLive > 0);
  --heapFallbackLive;
  ::operator delete(p);
}

std::size_t heapFallbackAllocations() noexcept { return heapFallbackLive; }

}  // namespace Quill
