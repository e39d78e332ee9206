// The pending-entry queue against std::deque and boost::container::deque.
//
// Small queues: 1K or 100K queues (one per handle) of one or two entries,
// in steady and draining churn (see churn()). Bursts: one queue takes 100
// entries and gives them back. The boost deque gets the block size the
// pending-entry queue uses at that size (2 for small queues, 128 for the
// burst).
//
// Counters: ns per entry (one enqueue and one dequeue), and bytes per queue
// while it holds its entries: the queue object plus what it allocated (the
// slab allocator's class bytes for the pending-entry queue, the heap's
// figures for the deques).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <boost/container/deque.hpp>
#include <deque>
#include <vector>

#include "AsicSwTable/RQueue.h"
#include "bench/MemoryChip.h"
#include "platform/Memory/Slab.h"

namespace bench {
namespace {

struct QueueBenchTag {};
using PendingQueue = Quill::RQueue<Entry, QueueBenchTag>;
template <std::size_t Block>
using BoostDeque =
    boost::container::deque<Entry, void, boost::container::deque_options_t<boost::container::block_size<Block>>>;

// The operations the benchmark needs, the same way for every queue type.
template <class Q>
struct Ops {
  static void push(Q& q, const Entry& e) { q.push_back(e); }
  static void pop(Q& q) {
    benchmark::DoNotOptimize(q.front());
    q.pop_front();
  }
  static std::size_t heapBytes() { return mallinfo2().uordblks; }
};
template <>
struct Ops<PendingQueue> {
  static void push(PendingQueue& q, const Entry& e) { q.enq(e); }
  static void pop(PendingQueue& q) { benchmark::DoNotOptimize(q.deq()); }
  static std::size_t heapBytes() { return Quill::SlabAllocator::instance().inUseBytes(); }
};

Entry sampleEntry() {
  static auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  return Entry(nextHops->handleIs(1), 1, 7);
}

// Each of `queues` queues holds `held` entries. Steady churn then adds one
// and removes one, so the queue never runs empty (a value superseded while
// the previous one is still unconfirmed); draining churn removes all `held`
// and adds them again (the queue runs empty every time). One item is one
// entry enqueued and dequeued.
template <class Q>
void churn(benchmark::State& state, bool draining) {
  const auto queues = static_cast<std::size_t>(state.range(0));
  const auto held = static_cast<std::size_t>(state.range(1));
  const Entry entry = sampleEntry();
  const std::size_t heapBefore = Ops<Q>::heapBytes();
  std::vector<Q> qs(queues);
  for (auto& q : qs) {
    for (std::size_t i = 0; i < held; ++i) Ops<Q>::push(q, entry);
  }
  state.counters["bytes_per_queue"] =
      static_cast<double>(Ops<Q>::heapBytes() - heapBefore) / static_cast<double>(queues) +
      static_cast<double>(sizeof(Q));
  for (auto _ : state) {
    for (auto& q : qs) {
      if (draining) {
        for (std::size_t i = 0; i < held; ++i) Ops<Q>::pop(q);
        for (std::size_t i = 0; i < held; ++i) Ops<Q>::push(q, entry);
      } else {
        Ops<Q>::push(q, entry);
        Ops<Q>::pop(q);
      }
    }
  }
  reportPerKey(state, queues * (draining ? held : 1), "ns_per_entry");
}

void smallQueues(benchmark::internal::Benchmark* b) {
  b->ArgNames({"queues", "held"});
  for (std::int64_t queues : {1'000, 100'000}) {
    for (std::int64_t held : {1, 2}) b->Args({queues, held});
  }
}

void pendingQueueSteady(benchmark::State& s) { churn<PendingQueue>(s, false); }
void stdDequeSteady(benchmark::State& s) { churn<std::deque<Entry>>(s, false); }
void boostDequeSteady(benchmark::State& s) { churn<BoostDeque<2>>(s, false); }
void pendingQueueDraining(benchmark::State& s) { churn<PendingQueue>(s, true); }
void stdDequeDraining(benchmark::State& s) { churn<std::deque<Entry>>(s, true); }
void boostDequeDraining(benchmark::State& s) { churn<BoostDeque<2>>(s, true); }
BENCHMARK(pendingQueueSteady)->Apply(smallQueues);
BENCHMARK(stdDequeSteady)->Apply(smallQueues);
BENCHMARK(boostDequeSteady)->Apply(smallQueues);
BENCHMARK(pendingQueueDraining)->Apply(smallQueues);
BENCHMARK(stdDequeDraining)->Apply(smallQueues);
BENCHMARK(boostDequeDraining)->Apply(smallQueues);

// One queue takes a burst of 100 entries and gives them back.
void burst(benchmark::internal::Benchmark* b) {
  b->ArgNames({"queues", "held"})->Args({1, 100});
}
void pendingQueueBurst(benchmark::State& s) { churn<PendingQueue>(s, true); }
void stdDequeBurst(benchmark::State& s) { churn<std::deque<Entry>>(s, true); }
void boostDequeBurst(benchmark::State& s) { churn<BoostDeque<128>>(s, true); }
BENCHMARK(pendingQueueBurst)->Apply(burst);
BENCHMARK(stdDequeBurst)->Apply(burst);
BENCHMARK(boostDequeBurst)->Apply(burst);

}  // namespace
}  // namespace bench
