#pragma once
// Records whose storage comes from the slab allocator and is counted by their
// type's allocation tracker.
//
//   class Handle : public Quill::Node, public Quill::SlabAllocated<Handle> {
//     static inline Quill::AllocationTracker memAllocationTracker_{"Handle"};
//   };
//
// `new Handle(...)` registers the allocation and takes the slab's memory; a
// constructor that throws has both undone by the language (the matching
// operator delete runs) before the error propagates. Deleting the record (the
// runtime does when its last use goes) releases the count and the memory.
// An allocation that fails stops the agent: records are small and a full slab
// means the process is out of memory.
#include <cstddef>
#include <cstdlib>

#include "platform/Assert/Assert.h"
#include "platform/Memory/AllocationTracker.h"
#include "platform/Memory/Slab.h"

namespace Quill {

template <class Record>
class SlabAllocated {
 public:
  static void* operator new(std::size_t bytes) {
    Record::memAllocationTracker_.allocated(bytes);
    void* memory = SlabAllocator::instance().allocate(bytes);
    if (memory == nullptr) {
      Assert::fail("memory != nullptr", __FILE__, __LINE__, "slab allocator exhausted");
    }
    return memory;
  }
  static void operator delete(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) return;
    Record::memAllocationTracker_.released(bytes);
    SlabAllocator::instance().deallocate(memory, bytes);
  }
};

}  // namespace Quill

namespace Quill {

// Records of any size, counted by their type's allocation tracker: the slab
// serves those that fit a size class and the general heap the rest (or all
// of them once the slab is exhausted). Meant for types that plug-ins extend:
// an adaptor may be larger than any slab object.
template <class Record>
class SlabOrHeapAllocated {
 public:
  static void* operator new(std::size_t bytes) {
    void* memory = allocateOrHeap(bytes);
    if (memory == nullptr) Assert::fail("memory != nullptr", __FILE__, __LINE__, "out of memory");
    Record::memAllocationTracker_.allocated(bytes);
    return memory;
  }
  static void operator delete(void* memory, std::size_t bytes) noexcept {
    if (memory == nullptr) return;
    Record::memAllocationTracker_.released(bytes);
    deallocateOrHeap(memory, bytes);
  }
};

}  // namespace Quill
