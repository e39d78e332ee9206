#pragma once
// The runtime's memory tracker: counts the live objects of each tracked kind.
//
// Each kind has one Tracker with static storage duration, naming the type and
// its element size. Code that takes memory for `count` such elements registers
// them, and unregisters the same count when the memory goes back:
//
//   constinit MemTrack::Tracker chunkTracker{"RouteChunk", sizeof(RouteChunk)};
//   MemTrack::registerMem(chunkTracker, 1);
//   ...
//   MemTrack::unregisterMem(chunkTracker, 1);
//
// Trackers are constant-initialised, so they are usable from any static
// initialiser or destructor. Unregistering more than is registered is a bug in
// the caller and stops the agent. Single-threaded like the rest of the runtime.

#include <cstddef>
#include <string_view>

#include "platform/Assert/Assert.h"

namespace Quill {

class MemTrack {
 public:
  class Tracker {
   public:
    constexpr Tracker(std::string_view typeName, std::size_t elementSize) noexcept
        : typeName_(typeName), elementSize_(elementSize) {}
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    std::string_view typeName() const noexcept { return typeName_; }
    std::size_t elementSize() const noexcept { return elementSize_; }
    // Elements registered and not yet unregistered.
    std::size_t live() const noexcept { return live_; }
    std::size_t liveBytes() const noexcept { return live_ * elementSize_; }
    // Every element ever registered, and the highest live count seen.
    std::size_t totalRegistered() const noexcept { return total_; }
    std::size_t peak() const noexcept { return peak_; }

   private:
    friend class MemTrack;
    std::string_view typeName_;
    std::size_t elementSize_;
    std::size_t live_ = 0;
    std::size_t total_ = 0;
    std::size_t peak_ = 0;
  };

  static void registerMem(Tracker& tracker, std::size_t count) noexcept {
    tracker.live_ += count;
    tracker.total_ += count;
    if (tracker.live_ > tracker.peak_) {
      tracker.peak_ = tracker.live_;
    }
    liveBytes_ += count * tracker.elementSize_;
  }

  static void unregisterMem(Tracker& tracker, std::size_t count) noexcept {
    QASSERT(count <= tracker.live_);
    tracker.live_ -= count;
    liveBytes_ -= count * tracker.elementSize_;
  }

  // Bytes registered under all trackers together.
  static std::size_t liveBytes() noexcept { return liveBytes_; }

 private:
  static inline constinit std::size_t liveBytes_ = 0;
};

}  // namespace Quill
