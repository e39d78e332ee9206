#include "platform/Trace/TraceSink.h"

#include <atomic>
#include <cstdio>

namespace Trace {

namespace {

class StandardErrorSink final : public Sink {
 public:
  void line(const Handle&, std::string_view text) override {
    // One write per line keeps lines from different threads whole.
    std::string out;
    out.reserve(text.size() + 1);
    out.append(text).push_back('\n');
    std::fwrite(out.data(), 1, out.size(), stderr);
  }
};

StandardErrorSink standardErrorSink;
std::atomic<Sink*> currentSink{nullptr};  // nullptr: the standard-error sink

}  // namespace

Sink* sink() noexcept {
  Sink* s = currentSink.load(std::memory_order_acquire);
  return s != nullptr ? s : &standardErrorSink;
}

void sinkIs(Sink* s) noexcept {
  currentSink.store(s == &standardErrorSink ? nullptr : s, std::memory_order_release);
}

CaptureSink::CaptureSink() : previous_(sink()) { sinkIs(this); }

CaptureSink::~CaptureSink() { sinkIs(previous_); }

void CaptureSink::line(const Handle&, std::string_view text) { lines_.emplace_back(text); }

}  // namespace Trace
