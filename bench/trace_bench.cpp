// What traces and change publication cost on the key life cycle (10K keys,
// in cache, where their share is largest): traces off; every level of the
// table's text traces on, into a sink that drops the lines; the binary log
// on; one observer registered on the table.
//
// The cost of trace calls that are present but off is measured against a
// build with the calls compiled out (the bench-notrace preset); scripts/bench
// runs both.
#include <benchmark/benchmark.h>

#include "bench/LifeCycle.h"
#include "platform/FastLog/FastLog.h"
#include "platform/Trace/TraceSink.h"

namespace bench {
namespace {

constexpr std::uint32_t kKeys = 10'000;

void lifeCycleTracesOff(benchmark::State& state) {
  LifeCycle cycle(kKeys);
  cycle.pass();
  for (auto _ : state) cycle.pass();
  reportPerKey(state, kKeys);
}
BENCHMARK(lifeCycleTracesOff)->Unit(benchmark::kMicrosecond);

class DiscardingSink : public Trace::Sink {
 public:
  void line(const Trace::Handle&, std::string_view text) override { benchmark::DoNotOptimize(text.data()); }
};

void lifeCycleTextTracesOn(benchmark::State& state) {
  DiscardingSink sink;
  Trace::Sink* previous = Trace::sink();
  Trace::sinkIs(&sink);
  LocalDvpTable::traceHandle().maskIs(Trace::kAllLevels);
  {
    LifeCycle cycle(kKeys);
    cycle.pass();
    for (auto _ : state) cycle.pass();
  }
  LocalDvpTable::traceHandle().maskIs(0);
  Trace::sinkIs(previous);
  reportPerKey(state, kKeys);
}
BENCHMARK(lifeCycleTextTracesOn)->Unit(benchmark::kMicrosecond);

void lifeCycleFastLogOn(benchmark::State& state) {
  FastLog::Log log(1 << 20);
  FastLog::defaultHandleIs(&log);
  {
    LifeCycle cycle(kKeys);
    cycle.pass();
    for (auto _ : state) cycle.pass();
  }
  FastLog::defaultHandleIs(nullptr);
  state.counters["log_records"] = static_cast<double>(log.recordCount() + log.overwrittenCount());
  reportPerKey(state, kKeys);
}
BENCHMARK(lifeCycleFastLogOn)->Unit(benchmark::kMicrosecond);

class CountingObserver : public Quill::Observer {
 public:
  void onChange(const Quill::Change&) override { ++changes; }
  std::uint64_t changes = 0;
};

void lifeCycleOneObserver(benchmark::State& state) {
  CountingObserver observer;
  LifeCycle cycle(kKeys);
  auto* publisher = cycle.table().publisher();
  publisher->observerIs(&observer);
  cycle.pass();
  for (auto _ : state) cycle.pass();
  publisher->observerDel(&observer);
  state.counters["changes_per_key"] =
      static_cast<double>(observer.changes) / (static_cast<double>(state.iterations() + 1) * kKeys);
  reportPerKey(state, kKeys);
}
BENCHMARK(lifeCycleOneObserver)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace bench
