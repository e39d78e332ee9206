#include "platform/Memory/Slab.h"

#include <bit>
#include <new>

#include "platform/Assert/Assert.h"

namespace Quill {

namespace {

std::uintptr_t address(const void* p) noexcept { return reinterpret_cast<std::uintptr_t>(p); }

// Objects allocateOrHeap() took from the general heap and that are still live.
std::size_t heapFallbackLive = 0;

}  // namespace

SlabAllocator& SlabAllocator::instance() {
  // Never destroyed: records may be freed at any point of the process's exit
  // (by other statics' destructors), and their memory must still be there.
  static auto* slab = new SlabAllocator();
  return *slab;
}

SlabAllocator::SlabAllocator(const Config& config) : config_(config) {
  QASSERT(config_.slabBytes % kGranule == 0 && config_.slabBytes >= kMaxClassBytes);
  QASSERT(std::has_single_bit(config_.blockBytes));
  QASSERT(config_.blockBytes >= config_.slabBytes && config_.blockBytes % config_.slabBytes == 0);
}

SlabAllocator::~SlabAllocator() {
  for (char* block : blocks_) {
    unpoison(block, config_.blockBytes);
    ::operator delete(block, std::align_val_t{config_.blockBytes});
  }
}

void* SlabAllocator::allocateFromNewSlab(std::size_t bytes) noexcept {
  if (bytes > kMaxClassBytes) {
    return nullptr;
  }
  const std::size_t index = classIndex(bytes);
  if (!refill(index)) {
    ++failedAllocations_;
    return nullptr;
  }
  SizeClass& sizeClass = classes_[index];
  FreeObject* object = sizeClass.freeList;
  unpoison(object, (index + 1) * kGranule);
  sizeClass.freeList = object->next;
  taken(sizeClass, index);
  return object;
}

void SlabAllocator::quarantine(void* p, std::size_t index) noexcept {
  poison(p, (index + 1) * kGranule);
  if (quarantine_.size() < config_.quarantineObjects) {
    try {
      quarantine_.push_back({p, index});
      return;
    } catch (const std::bad_alloc&) {
      pushFree(p, index);  // no room to wait: reuse it like any build would
      return;
    }
  }
  Quarantined& oldest = quarantine_[quarantineNext_];
  unpoison(oldest.object, sizeof(FreeObject));
  pushFree(oldest.object, oldest.index);
  oldest = {p, index};
  quarantineNext_ = (quarantineNext_ + 1) % config_.quarantineObjects;
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
    poison(slab + i * objectBytes, objectBytes);
  }
  sizeClass.free += count;
  return true;
}

char* SlabAllocator::takeSlab() noexcept {
  if (carveNext_ == carveEnd_) {
    if (reservedBytes() + config_.blockBytes > config_.limitBytes) {
      return nullptr;
    }
    const std::align_val_t alignment{config_.blockBytes};
    auto* block = static_cast<char*>(::operator new(config_.blockBytes, alignment, std::nothrow));
    if (block == nullptr) {
      return nullptr;
    }
    try {
      blocks_.reserve(blocks_.size() + 1);
      blockAddresses_.insert(address(block));
      blocks_.push_back(block);
    } catch (const std::bad_alloc&) {
      ::operator delete(block, alignment);
      return nullptr;
    }
    carveNext_ = block;
    carveEnd_ = block + config_.blockBytes;
  }
  char* slab = carveNext_;
  carveNext_ += config_.slabBytes;
  return slab;
}

void* heapFallbackAllocate(std::size_t bytes) noexcept {
  void* p = ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
  if (p != nullptr) {
    ++heapFallbackLive;
  }
  return p;
}

void heapFallbackDeallocate(void* p) noexcept {
  QASSERT(heapFallbackLive > 0);
  --heapFallbackLive;
  ::operator delete(p);
}

std::size_t heapFallbackAllocations() noexcept { return heapFallbackLive; }

}  // namespace Quill
