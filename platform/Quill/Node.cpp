#include "platform/Quill/Node.h"

#include <algorithm>
#include <exception>
#include <string>

#include "platform/Assert/Assert.h"
#include "platform/Quill/NodeDirectory.h"

namespace Quill {

std::atomic<bool> detail::threadSafe{false};
std::atomic<std::uint32_t> detail::hooksRunning{0};

namespace {

// A node whose last-user hook runs on this thread. `ownerUse` is set while
// the owning collection holds a use that it took back during this run: the
// use of a user from before the hook. `noted` counts the releases that left
// the node with only the guard after such a use had gone.
struct RunningHook {
  const Node* node;
  bool ownerUse;
  std::uint32_t noted;
};

// Innermost last: hooks nest when a hook releases the last use of another
// node. A plain array, so that it needs no destructor: hooks also run while
// statics are destroyed at exit, after the thread's own objects are gone.
// Hooks nested deeper than it holds run without notes.
constexpr std::size_t kMaxHookDepth = 64;
thread_local RunningHook runningHooks[kMaxHookDepth];
thread_local std::size_t hookDepth = 0;

// Registers a node's hook as running for as long as it lives.
class HookRun {
 public:
  explicit HookRun(const Node* node) noexcept : slot_(hookDepth++) {
    if (slot_ < kMaxHookDepth) runningHooks[slot_] = {node, false, 0};
    detail::hooksRunning.fetch_add(1, std::memory_order_relaxed);
  }
  ~HookRun() {
    --hookDepth;
    detail::hooksRunning.fetch_sub(1, std::memory_order_relaxed);
  }
  HookRun(const HookRun&) = delete;
  HookRun& operator=(const HookRun&) = delete;

  // Takes one noted release, if there is one.
  bool takeNote() noexcept {
    if (slot_ >= kMaxHookDepth || runningHooks[slot_].noted == 0) return false;
    --runningHooks[slot_].noted;
    return true;
  }

 private:
  std::size_t slot_;
};

RunningHook* runningHook(const Node* node) noexcept {
  for (std::size_t i = std::min(hookDepth, kMaxHookDepth); i-- > 0;) {
    if (runningHooks[i].node == node) return &runningHooks[i];
  }
  return nullptr;
}

}  // namespace

void threadSafeModeIs(bool on) noexcept { detail::threadSafe.store(on, std::memory_order_seq_cst); }

Node::~Node() {
  // A node is destroyed by the runtime only with no use left; anything else
  // means a Ptr still points at freed memory.
  QASSERT((useCountWord() & kCountMask) == 0);
  if (nodeFlag(kFlagInDirectory)) NodeDirectory::forget(*this);
}

void Node::nodeFlagSet(std::uint32_t flag, bool on) noexcept {
  QASSERT((flag & kCountMask) == 0);
  if (on) {
    word_.fetch_or(flag, std::memory_order_relaxed);
  } else {
    word_.fetch_and(~flag, std::memory_order_relaxed);
  }
}

void Node::ownerUseRelease() const noexcept {
  QASSERT(!heldWithoutUse());
  const_cast<Node*>(this)->nodeFlagSet(kFlagHeldWithoutUse, true);
  decUseImpl();
}

bool Node::ownerUseRetake() const noexcept {
  if (!heldWithoutUse()) {
    return false;
  }
  // The use is counted before the flag goes: in between, another thread's
  // last release would otherwise find a count of zero and no owner, and end
  // the node under us. The flag is then tested and cleared in one step, so of
  // two threads retaking at once (the owner promoting the node while another
  // thread's last release runs the hook) exactly one keeps its use.
  add(1);
  if ((word_.fetch_and(~kFlagHeldWithoutUse, std::memory_order_acq_rel) & kFlagHeldWithoutUse) == 0) {
    sub(1);  // the other one's use is counted too, so this is not the last
    return false;
  }
  if (detail::hooksRunning.load(std::memory_order_relaxed) != 0) {
    if (RunningHook* run = runningHook(this)) run->ownerUse = true;
  }
  return true;
}

void Node::lastUserGone() { ownerUseRetake(); }

void Node::lastUserGoneImpl() const noexcept {
  auto* self = const_cast<Node*>(this);
  {
    HookRun run(this);
    for (;;) {
      add(1);  // the guard use
      try {
        self->lastUserGone();
      } catch (const std::exception& e) {
        Assert::fail("exception escaped lastUserGone", __FILE__, __LINE__, e.what());
      } catch (...) {
        Assert::fail("exception escaped lastUserGone", __FILE__, __LINE__);
      }
      const auto word = sub(1);
      if ((word & kCountMask) != 0 || (word & kFlagHeldWithoutUse) != 0) return;
      if (!run.takeNote()) break;
    }
  }
  delete self;
}

void Node::noteReleaseDuringHook(std::uint32_t word) const noexcept {
  if ((word & kFlagHeldWithoutUse) != 0) return;
  RunningHook* run = runningHook(this);
  if (run == nullptr || !run->ownerUse) return;
  run->ownerUse = false;
  ++run->noted;
}

}  // namespace Quill
