#pragma once
// Per-type allocation accounting for the agent's records.
//
// Each record type keeps one tracker as its static member
// `memAllocationTracker_` and reports to it from its allocation functions:
//
//   class Route {
//     static void* operator new(std::size_t bytes);   // allocated(bytes)
//     static void operator delete(void* p, std::size_t bytes);  // released(bytes)
//     static inline constinit Quill::AllocationTracker memAllocationTracker_{"Route"};
//   };
//
// The live count lets tests prove that every record was freed. Releasing more
// than was allocated stops the agent. Single-threaded.

#include <cstddef>
#include <string_view>

#include "platform/Assert/Assert.h"

namespace Quill {

class AllocationTracker {
 public:
  explicit constexpr AllocationTracker(std::string_view name) noexcept : name_(name) {}
  AllocationTracker(const AllocationTracker&) = delete;
  AllocationTracker& operator=(const AllocationTracker&) = delete;

  void allocated(std::size_t bytes) noexcept {
    ++live_;
    ++total_;
    liveBytes_ += bytes;
  }

  void released(std::size_t bytes) noexcept {
    QASSERT(live_ > 0 && liveBytes_ >= bytes);
    --live_;
    liveBytes_ -= bytes;
  }

  std::string_view name() const noexcept { return name_; }
  std::size_t live() const noexcept { return live_; }
  std::size_t totalAllocations() const noexcept { return total_; }
  std::size_t liveBytes() const noexcept { return liveBytes_; }

 private:
  std::string_view name_;
  std::size_t live_ = 0;
  std::size_t total_ = 0;
  std::size_t liveBytes_ = 0;
};

}  // namespace Quill
