// Entry handles shared between threads with the runtime's thread-safe mode on:
// uses taken and dropped concurrently keep exact counts, a node ends exactly
// once on whichever thread lets go last, and the owner's use comes back once.
// Built and run under ThreadSanitizer by the tsan preset, which also reports
// any unsynchronised access these paths make.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/Asic/EntryHandle.h"
#include "platform/Quill/Node.h"
#include "platform/Quill/NodeDirectory.h"
#include "platform/Quill/Ptr.h"

namespace {

using Handle = Asic::SwTableBase::EntryHandle;
using HandlePtr = Quill::Ptr<const Handle>;

constexpr int kThreads = 4;

// An entry handle of some table that counts its last-user hooks and its
// destruction.
class CountedHandle : public Handle {
 public:
  CountedHandle(std::atomic<int>* hooks, std::atomic<int>* gone) : hooks_(hooks), destroyed_(gone) {}
  void lastUserGone() override {
    Handle::lastUserGone();
    hooks_->fetch_add(1, std::memory_order_relaxed);
  }

 private:
  ~CountedHandle() override {
    nodeFlagSet(kFlagLive, false);
    destroyed_->fetch_add(1, std::memory_order_relaxed);
  }
  std::atomic<int>* hooks_;
  std::atomic<int>* destroyed_;
};

// Starts body(t) on kThreads threads, t = 0 .. kThreads - 1; clear() joins them.
template <class Body>
std::vector<std::jthread> startThreads(Body body) {
  std::vector<std::jthread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(body, t);
  return threads;
}

// Turns the thread-safe mode on for a test, and off again.
class ThreadSafeUseCounts : public ::testing::Test {
 protected:
  void SetUp() override { Quill::threadSafeModeIs(true); }
  void TearDown() override { Quill::threadSafeModeIs(false); }

  std::vector<Quill::Ptr<CountedHandle>> makeHandles(std::size_t n) {
    std::vector<Quill::Ptr<CountedHandle>> handles;
    while (handles.size() < n) handles.emplace_back(new CountedHandle(&hooks, &destroyed));
    return handles;
  }

  std::atomic<int> hooks{0};
  std::atomic<int> destroyed{0};
};

TEST_F(ThreadSafeUseCounts, ConcurrentCopiesKeepExactCounts) {
  const auto handles = makeHandles(8);
  constexpr int kRounds = 300;
  std::barrier sync(kThreads + 1);
  auto threads = startThreads([&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      // Copies through every way a Ptr takes a use: copy construction,
      // conversion to the base type, assignment, and a move that takes none.
      std::vector<HandlePtr> held;
      for (const auto& h : handles) held.emplace_back(h);
      HandlePtr assigned;
      assigned = handles[static_cast<std::size_t>(round + t) % handles.size()];
      const HandlePtr moved(std::move(held.back()));
      if (round == kRounds / 2) {
        sync.arrive_and_wait();  // main reads the counts
        sync.arrive_and_wait();
      }
    }
  });
  sync.arrive_and_wait();
  // Every thread holds one copy of each handle, and one more of the handle
  // it assigned.
  std::vector<std::uint32_t> expected(handles.size(), 1 + kThreads);
  for (int t = 0; t < kThreads; ++t) ++expected[static_cast<std::size_t>(kRounds / 2 + t) % handles.size()];
  for (std::size_t i = 0; i < handles.size(); ++i) EXPECT_EQ(handles[i]->useCount(), expected[i]) << i;
  sync.arrive_and_wait();
  threads.clear();

  for (const auto& h : handles) EXPECT_EQ(h->useCount(), 1u);
  EXPECT_EQ(hooks.load(), 0);
  EXPECT_EQ(destroyed.load(), 0);
}

TEST_F(ThreadSafeUseCounts, LastUseDroppedOnAnyThreadEndsTheNodeOnce) {
  constexpr int kRounds = 100;
  constexpr std::size_t kHandles = 16;
  const std::size_t namedBefore = Quill::NodeDirectory::size();
  for (int round = 0; round < kRounds; ++round) {
    // Handle i is shared by threads i and i + 1 (mod kThreads): the threads
    // that end handle 0 and handle 2 have nothing else in common.
    std::vector<std::vector<HandlePtr>> perThread(kThreads);
    auto handles = makeHandles(kHandles);
    for (std::size_t i = 0; i < kHandles; ++i) {
      // Every other handle has a directory id, as one written out as text has.
      if (i % 2 == 0) Quill::NodeDirectory::idOf(*handles[i]);
      // A copy and the test's own use, moved: the threads hold the only uses.
      perThread[i % kThreads].emplace_back(handles[i]);
      perThread[(i + 1) % kThreads].emplace_back(std::move(handles[i]));
    }
    auto threads = startThreads([&](int t) {
      auto& mine = perThread[static_cast<std::size_t>(t)];
      // Alternate directions so that either sharer may end a handle.
      if ((t + round) % 2 == 1) while (!mine.empty()) mine.pop_back();
      else for (auto& h : mine) h = nullptr;
    });
    threads.clear();
    ASSERT_EQ(destroyed.load(), (round + 1) * static_cast<int>(kHandles));
  }
  EXPECT_EQ(hooks.load(), kRounds * static_cast<int>(kHandles));
  EXPECT_EQ(Quill::NodeDirectory::size(), namedBefore);
}

// Spins for about `n` steps.
void pause(int n) {
  static std::atomic<int> sink{0};
  for (int i = 0; i < n; ++i) sink.fetch_add(0, std::memory_order_relaxed);
}

TEST_F(ThreadSafeUseCounts, OwnerRetakingWhileTheLastUserLetsGoTakesOneUse) {
  // The owner promotes the handle (takes its use back) just as another thread
  // lets go of the last other use: whichever comes first, the collection ends
  // with exactly one use, the handle lives on, and it ends once when the
  // collection lets go. Both threads start each round together (spinning on
  // the round number); then one of them, alternately, waits a little longer
  // every round, so that the retake sweeps across the release. The rounds
  // stop after a time limit, so a loaded machine only makes the test weaker.
  constexpr int kRounds = 5000;
  constexpr int kSweep = 256;
  // Waiting spins while both threads are likely to be on a core, then yields
  // (the machine may have fewer free cores than threads).
  constexpr int kSpinsBeforeYield = 1 << 16;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  auto delay = [](int round) { return (round / 2) % kSweep; };

  std::atomic<int> started{-1};
  std::atomic<int> finished{-1};
  HandlePtr user;
  // Stopped (and joined) when the test ends.
  std::jthread last([&](const std::stop_token& stop) {
    for (int round = 0;; ++round) {
      for (int spins = 0; started.load(std::memory_order_acquire) != round;) {
        if (stop.stop_requested()) return;
        if (++spins > kSpinsBeforeYield) std::this_thread::yield();
      }
      if (round % 2 == 1) pause(delay(round));
      user = nullptr;
      finished.store(round, std::memory_order_release);
    }
  });
  int rounds = 0;
  int retakenByOwner = 0;
  for (; rounds < kRounds && std::chrono::steady_clock::now() < deadline; ++rounds) {
    auto* handle = new CountedHandle(&hooks, &destroyed);
    handle->incUse();  // the collection's use
    user = HandlePtr(handle);
    handle->ownerUseRelease();

    started.store(rounds, std::memory_order_release);
    if (rounds % 2 == 0) pause(delay(rounds));
    retakenByOwner += handle->ownerUseRetake() ? 1 : 0;
    for (int spins = 0; finished.load(std::memory_order_acquire) != rounds;) {
      if (++spins > kSpinsBeforeYield) std::this_thread::yield();
    }

    if (handle->useCount() != 1 || handle->heldWithoutUse() || destroyed.load() != rounds) {
      ADD_FAILURE() << "round " << rounds << ": count " << handle->useCount() << ", held without use "
                    << handle->heldWithoutUse() << ", destroyed " << destroyed.load();
      break;
    }
    handle->decUse();
    EXPECT_EQ(destroyed.load(), rounds + 1);
  }
  // How many rounds ran, and how often the owner came first (the other times
  // the hook retook the use).
  RecordProperty("rounds", rounds);
  RecordProperty("retakenByOwner", retakenByOwner);
}

}  // namespace
