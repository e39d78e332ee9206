#pragma once
// Reference-counted runtime nodes.
//
// Every record of the runtime is a Node with an intrusive use count. The count
// lives in one 32-bit word together with runtime flags:
//
//   bits 0..28  the use count (traces print it masked with kCountMask)
//   0x20000000  kFlagLive: set while the node is in service; every node
//               destructor clears it first, so a use taken while a node is
//               being destroyed is caught instead of resurrecting it
//   0x40000000  kFlagHeldWithoutUse: the node's owning collection keeps it
//               without a counted use (see "Owner use" below)
//   0x80000000  kFlagInDirectory: the node has an id in the NodeDirectory
//               (how text refers to nodes); the destructor withdraws it
//
// Counting. Quill::Ptr takes a use (incUse) and drops it (decUse). Increments
// and decrements are atomic read-modify-writes only while the runtime's
// thread-safe mode is on (threadSafeModeIs); the agent normally runs every
// table operation on one thread and pays for no atomics. In the thread-safe
// mode a node ends on whichever thread drops its last use: the hook and the
// destructor run there (the node directory has its own lock), and
// ownerUseRetake may meet another thread's last release. An owner whose hook
// is not thread-safe (a table's cleanup) keeps its use while other threads
// hold the node.
//
// Last user gone. When decUse takes the count to zero the runtime
//   1. takes a guard use, so that releases nested inside the hook cannot bring
//      the count to zero again and destroy the node under the hook;
//   2. calls the virtual lastUserGone(); the runtime's own part
//      (Node::lastUserGone) re-takes the owner's use when the node is still
//      held by its owning collection without one; subclasses call it first and
//      then run their hook (an entry handle hands itself to its table's cleanup);
//   3. drops the guard; a node whose count is then zero and that no collection
//      holds is destroyed, exactly once.
//
// Releases during the hook. The hook itself may let the node's last user
// from before the hook go: a collection that took its use back for the hook
// (step 2) can drop it again while the hook runs, as a table's cleanup does
// when it finishes a whole delete inside the hook. The guard keeps the count
// above zero then, so that release would never reach the hook the way it
// would outside it. The runtime therefore notes, while a node's hook runs on
// this thread, a release that leaves only the guard once the owner's use
// taken back during this run has gone (and the node is not held without
// use). When the guard is dropped and the count is zero, a noted release
// runs the hook again, under a new guard, instead of destroying the node;
// the same rule applies to that run. Uses that the hook takes and drops
// itself are not users that went, so a hook that only does that runs once.
// The note is kept outside the use-count word, in a small per-thread list
// of the nodes whose hook runs; releases by other threads during the hook
// are not noted (they see their own list), which suits owners that keep
// their hooks on one thread.
//
// Owner use. An owning collection (a table's entryHandle collection) holds one
// counted use of each member. It can give that use up while it keeps the
// member (ownerUseRelease: the node is then "held without use") and take it
// back later (ownerUseRetake). When the other users all let go of such a node,
// step 2 above re-takes the owner's use before the hook runs, so the hook sees
// a node that its collection holds with a use, and the node survives as long
// as the collection keeps it. A collection that removes a member held without
// use must re-take the use first (ownerUseRetake) so that the pointer it hands
// back owns a real use.
#include <atomic>
#include <cstdint>

#include "platform/Assert/Assert.h"

namespace Quill {

class Publisher;
struct TypeData;

// The runtime's thread-safe mode: while on, use counts change atomically.
namespace detail {
extern std::atomic<bool> threadSafe;
// Last-user hooks running now, on any thread: while there are none, a
// release pays one load for the rule on releases during a hook.
extern std::atomic<std::uint32_t> hooksRunning;
}  // namespace detail

inline bool threadSafeMode() noexcept { return detail::threadSafe.load(std::memory_order_relaxed); }
void threadSafeModeIs(bool on) noexcept;

class Node {
 public:
  static constexpr std::uint32_t kCountMask = 0x1FFFFFFF;
  static constexpr std::uint32_t kFlagLive = 0x20000000;
  static constexpr std::uint32_t kFlagHeldWithoutUse = 0x40000000;
  static constexpr std::uint32_t kFlagInDirectory = 0x80000000;

  Node() noexcept = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  virtual ~Node();

  // The whole word and its count part.
  std::uint32_t useCountWord() const noexcept { return word_.load(std::memory_order_relaxed); }
  std::uint32_t useCount() const noexcept { return useCountWord() & kCountMask; }

  bool nodeFlag(std::uint32_t flag) const noexcept { return (useCountWord() & flag) != 0; }
  void nodeFlagSet(std::uint32_t flag, bool on) noexcept;

  // Inline: every counted reference that is copied or dropped comes here.
  void incUse() const noexcept {
    const std::uint32_t word = add(1);
    QASSERT((word & kFlagLive) != 0);
    QASSERT((word & kCountMask) != 0);
  }
  void decUse() const noexcept { decUseImpl(); }

  // The owning collection gives up its counted use but keeps the node. May run
  // lastUserGone when it was the last use.
  void ownerUseRelease() const noexcept;
  // The owning collection takes its use back; false when it already had one.
  bool ownerUseRetake() const noexcept;
  bool heldWithoutUse() const noexcept { return nodeFlag(kFlagHeldWithoutUse); }

  // Runtime part of the last-user hook: re-takes the owner's use when the node
  // is held without one. Overrides call it first.
  virtual void lastUserGone();

  // The node's change publisher; nodes without one return null.
  virtual Publisher* publisher() noexcept { return nullptr; }

  // The node's type in its library's type module; null for nodes no module
  // describes.
  virtual const TypeData* typeData() const noexcept { return nullptr; }

 private:
  void decUseImpl() const noexcept {
    const std::uint32_t before = useCountWord();
    QASSERT((before & kCountMask) != 0);
    const std::uint32_t after = sub(1);
    if ((after & kCountMask) == 0) {
      lastUserGoneImpl();
    } else if ((after & kCountMask) == 1 && detail::hooksRunning.load(std::memory_order_relaxed) != 0) {
      noteReleaseDuringHook(after);
    }
  }
  void lastUserGoneImpl() const noexcept;
  void noteReleaseDuringHook(std::uint32_t word) const noexcept;
  // The count changes atomically in thread-safe mode, and as a plain
  // load and store otherwise.
  std::uint32_t add(std::uint32_t delta) const noexcept {
    if (threadSafeMode()) {
      return word_.fetch_add(delta, std::memory_order_relaxed) + delta;
    }
    const std::uint32_t value = word_.load(std::memory_order_relaxed) + delta;
    word_.store(value, std::memory_order_relaxed);
    return value;
  }
  std::uint32_t sub(std::uint32_t delta) const noexcept {
    if (threadSafeMode()) {
      return word_.fetch_sub(delta, std::memory_order_acq_rel) - delta;
    }
    const std::uint32_t value = word_.load(std::memory_order_relaxed) - delta;
    word_.store(value, std::memory_order_relaxed);
    return value;
  }

  mutable std::atomic<std::uint32_t> word_{kFlagLive};
};

}  // namespace Quill
