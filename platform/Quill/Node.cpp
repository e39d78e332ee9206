#include "platform/Quill/Node.h"

#include <exception>
#include <string>

#include "platform/Assert/Assert.h"
#include "platform/Quill/NodeDirectory.h"

namespace Quill {

std::atomic<bool> detail::threadSafe{false};

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
  return true;
}

void Node::lastUserGone() { ownerUseRetake(); }

void Node::lastUserGoneImpl() const noexcept {
  auto* self = const_cast<Node*>(this);
  add(1);  // the guard use
  try {
    self->lastUserGone();
  } catch (const std::exception& e) {
    Assert::fail("exception escaped lastUserGone", __FILE__, __LINE__, e.what());
  } catch (...) {
    Assert::fail("exception escaped lastUserGone", __FILE__, __LINE__);
  }
  auto word = sub(1);
  if ((word & kCountMask) == 0 && (word & kFlagHeldWithoutUse) == 0) {
    delete self;
  }
}

}  // namespace Quill
