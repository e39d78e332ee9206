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
  const_cast<Node*>(this)->nodeFlagSet(kFlagHeldWithoutUse, false);
  add(1);
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
