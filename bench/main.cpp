// Runs the benchmarks like benchmark_main, then prints the targets they are
// held to, each as a ratio or figure from this one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// The console report, remembering every counter of every run by name.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      for (const auto& [name, counter] : run.counters) values_[run.benchmark_name()][name].push_back(counter.value);
    }
  }

  // The median of a counter over the repetitions of a benchmark; negative
  // when the benchmark did not run (filtered out).
  double value(const std::string& benchmark, const std::string& counter) const {
    auto b = values_.find(benchmark);
    if (b == values_.end()) return -1;
    auto c = b->second.find(counter);
    if (c == b->second.end() || c->second.empty()) return -1;
    std::vector<double> v = c->second;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }

 private:
  std::map<std::string, std::map<std::string, std::vector<double>>> values_;
};

void line(const char* target, double measured, const char* unit, bool met) {
  std::printf("  %-58s %10.2f %-8s %s\n", target, measured, unit, met ? "met" : "MISSED");
}

void printTargets(const RecordingReporter& r) {
  std::printf("\nTargets (figures from this run)\n");
  const double lc1k = r.value("keyLifeCycle/1000", "ns_per_key");
  const double lc1m = r.value("keyLifeCycle/1000000", "ns_per_key");
  const double floor1m = r.value("flatMapFloor/1000000", "ns_per_key");
  if (lc1m > 0 && floor1m > 0) line("life cycle at 1M / flat-map floor at 1M, dense keys (<= 10)", lc1m / floor1m, "x", lc1m / floor1m <= 10);
  if (lc1m > 0 && lc1k > 0) line("life cycle per key at 1M / at 1K, dense keys (<= 2)", lc1m / lc1k, "x", lc1m / lc1k <= 2);
  const double random1k = r.value("keyLifeCycleRandom/1000", "ns_per_key");
  const double random1m = r.value("keyLifeCycleRandom/1000000", "ns_per_key");
  if (random1m > 0 && random1k > 0) {
    // Held to the figure of the hashed collections, which docs/performance.md records.
    std::printf("  %-58s %10.2f %-8s\n", "life cycle per key at 1M / at 1K, random keys", random1m / random1k, "x");
  }
  for (const char* n : {"100000", "1000000"}) {
    const std::string name = std::string("warmRestart/") + n + "/manual_time";
    const double ratio = r.value(name, "warm_over_cold");
    const double writes = r.value(name, "warm_hw_writes");
    if (ratio < 0) continue;
    line(("warm restart / cold start at " + std::string(n) + " (<= 1)").c_str(), ratio, "x", ratio <= 1);
    line(("hardware writes of the warm restart at " + std::string(n) + " (0)").c_str(), writes, "", writes == 0);
  }
  for (const char* queues : {"1000", "100000"}) {
    for (const char* held : {"1", "2"}) {
      const std::string args = std::string("/queues:") + queues + "/held:" + held;
      const double ours = r.value("pendingQueueSteady" + args, "ns_per_entry");
      const double theirs = r.value("stdDequeSteady" + args, "ns_per_entry");
      if (ours > 0 && theirs > 0) {
        line(("std::deque / pending queue, steady, " + std::string(queues) + " queues of " + held + " (>= 2)").c_str(),
             theirs / ours, "x", theirs / ours >= 2);
      }
      const double ourBytes = r.value("pendingQueueSteady" + args, "bytes_per_queue");
      const double theirBytes = r.value("stdDequeSteady" + args, "bytes_per_queue");
      if (ourBytes > 0 && theirBytes > 0 && std::string(queues) == "1000") {
        line(("pending queue / std::deque memory, queue of " + std::string(held) + " (<= 0.125)").c_str(),
             ourBytes / theirBytes, "x", ourBytes / theirBytes <= 0.125);
      }
    }
  }
  const double dense = r.value("memoryPerEntry/keys:1000000/random:0/iterations:1", "bytes_per_entry");
  if (dense > 0) line("bytes per programmed entry at 1M, dense keys (<= 160)", dense, "bytes", dense <= 160);
  const double sparse = r.value("memoryPerEntry/keys:1000000/random:1/iterations:1", "bytes_per_entry");
  if (sparse > 0) line("bytes per programmed entry at 1M, random keys (<= 400)", sparse, "bytes", sparse <= 400);
  const double audit = r.value("auditProgrammed/1000000", "ns_per_key") * 1e9;  // seconds per key * 1M, in ms
  if (audit > 0) line("audit of 1M programmed keys (< 500 ms)", audit, "ms", audit < 500);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printTargets(reporter);
  benchmark::Shutdown();
  return 0;
}
