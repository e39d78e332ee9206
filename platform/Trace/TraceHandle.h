#pragma once
// Named text traces.
//
// A trace handle is a named switch for 32 trace levels (0..31). Code guards
// every trace line with the handle and a level, so a line that nobody asked
// for costs one relaxed load and a bit test, and its text is never built:
//
//   Trace::Handle trace_("VelarL3Vfi::LocalDvpTable");
//   QTRACE(trace_, 5, "VelarL3Vfi::LocalDvpTable" << " : " << "entryRemove" << ": key:" << key);
//
// The caller streams the whole line; the handle adds nothing to it. Lines go
// to the current sink (TraceSink.h), standard error unless a test or tool
// installed another one.
//
// Every handle is entered in a process-wide registry under its name for as
// long as it lives. Levels are switched per handle (levelIs, maskIs) or by
// name through a trace setting such as
// "VelarL3Vfi::LocalDvpTable/5-9,SwTableStat/0" (TraceConfig.h), taken from
// the TRACE environment variable when the first handle is created. A handle
// created after a setting was applied starts with the levels the setting
// gave its name.
//
// Handles are normally used from one thread; the level mask is atomic so that
// another thread may read or change it safely.
#include <atomic>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

namespace Trace {

inline constexpr unsigned kLevelCount = 32;
inline constexpr std::uint32_t kAllLevels = 0xFFFFFFFFu;

namespace detail {
// How many live handles, and trace settings for handles not made yet, have
// some level on.
extern std::atomic<std::uint32_t> levelsOn;

// Keeps levelsOn up to date after a mask went from `before` to `after`.
inline void countLevelsOn(std::uint32_t before, std::uint32_t after) noexcept {
  if ((before == 0) == (after == 0)) return;
  if (after != 0) {
    levelsOn.fetch_add(1, std::memory_order_relaxed);
  } else {
    levelsOn.fetch_sub(1, std::memory_order_relaxed);
  }
}
}  // namespace detail

// Whether any handle has, or any trace setting gives, some level on: the
// first test of every trace line, so that with all traces off a line costs
// one load and a branch, without even evaluating its handle. (A setting for
// a handle made on first use counts too, so that the first trace line makes
// the handle.)
inline bool anyLevelOn() noexcept { return detail::levelsOn.load(std::memory_order_relaxed) != 0; }

class Handle {
 public:
  explicit Handle(std::string name);
  ~Handle();
  // The registry refers to a handle by its address.
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  const std::string& name() const noexcept { return name_; }

  // One relaxed load and a bit test. Levels outside 0..31 are never on.
  bool enabled(unsigned level) const noexcept {
    return level < kLevelCount && ((mask_.load(std::memory_order_relaxed) >> level) & 1u) != 0;
  }
  // Turns one level on or off; level must be below kLevelCount.
  void levelIs(unsigned level, bool on);
  void maskIs(std::uint32_t mask) noexcept {
    detail::countLevelsOn(mask_.exchange(mask, std::memory_order_relaxed), mask);
  }
  std::uint32_t mask() const noexcept { return mask_.load(std::memory_order_relaxed); }

  // Sends one line (without its newline) to the current sink.
  void write(std::string_view text) const;

 private:
  std::string name_;
  std::atomic<std::uint32_t> mask_{0};
};

// The live handle with this name (the oldest one if several share it), or
// nullptr.
Handle* find(std::string_view name);

}  // namespace Trace

// Traces one line when `level` of `handle` is on. streamExpr is anything that
// can follow `std::ostream <<`, chained with <<; it is evaluated only when the
// level is on. With VELAR_NO_TRACE_CALLS (a build for measuring what the
// calls cost) every call site compiles to dead code that the optimiser drops.
// NOLINTBEGIN(bugprone-macro-parentheses): streamExpr is a chain of <<
#ifdef VELAR_NO_TRACE_CALLS
#define QTRACE(handle, level, streamExpr) \
  do {                                    \
    if (false) {                          \
      std::ostringstream qtraceLine_;     \
      qtraceLine_ << streamExpr;          \
      (void)(handle);                     \
    }                                     \
  } while (false)
#else
#define QTRACE(handle, level, streamExpr)                                        \
  do {                                                                           \
    if (::Trace::anyLevelOn() && (handle).enabled(level)) {                      \
      std::ostringstream qtraceLine_;                                            \
      qtraceLine_ << streamExpr;                                                 \
      (handle).write(qtraceLine_.str());                                         \
    }                                                                            \
  } while (false)
#endif
// NOLINTEND(bugprone-macro-parentheses)
