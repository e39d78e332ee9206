// The runtime's use counting: count arithmetic, the last-user hook, the
// owner's use of a collection, and the assertions that catch misuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"

namespace {

// What a Probe saw, readable after it is gone.
struct Seen {
  int hookCalls = 0;
  std::uint32_t countInHook = 0;  // at the last hook call
  int destroyed = 0;
};

// A node that records its hook calls and its destruction. Its hook takes and
// drops a use of the node, which must not end the node under the hook.
class Probe : public Quill::Node {
 public:
  explicit Probe(Seen* seen) : seen_(seen) {}
  void lastUserGone() override {
    Quill::Node::lastUserGone();
    ++seen_->hookCalls;
    seen_->countInHook = useCount();
    const Quill::Ptr<Probe> again(this);
  }

 private:
  ~Probe() override { nodeFlagSet(kFlagLive, false); ++seen_->destroyed; }
  Seen* seen_;
};

TEST(QuillNode, LastUserGoneArrivesOnceWithAGuardUseThenTheNodeIsDestroyed) {
  Seen seen;
  Quill::Ptr<Probe> p(new Probe(&seen));
  p = nullptr;
  EXPECT_EQ(seen.hookCalls, 1);
  EXPECT_EQ(seen.countInHook, 1u);  // the guard
  EXPECT_EQ(seen.destroyed, 1);
}

TEST(QuillNode, OwnerUseIsRetakenBeforeTheHookWheneverTheNodeRunsOutOfUses) {
  Seen seen;
  auto* raw = new Probe(&seen);
  Quill::Ptr<Probe> owner(raw);     // the collection's use
  Quill::Ptr<Probe> dependent(raw);
  owner.release();                  // the collection keeps the raw pointer ...
  raw->ownerUseRelease();           // ... and gives up the use
  EXPECT_TRUE(raw->heldWithoutUse());
  EXPECT_EQ(raw->useCount(), 1u);

  dependent = nullptr;
  EXPECT_EQ(seen.hookCalls, 1);
  EXPECT_EQ(seen.countInHook, 2u);  // guard + the re-taken owner use
  EXPECT_EQ(raw->useCount(), 1u);
  EXPECT_FALSE(raw->heldWithoutUse());
  EXPECT_EQ(seen.destroyed, 0);

  // Giving up the last use runs the hook at once, which takes it back.
  raw->ownerUseRelease();
  EXPECT_EQ(seen.hookCalls, 2);
  EXPECT_EQ(raw->useCount(), 1u);
  EXPECT_FALSE(raw->ownerUseRetake());  // already re-taken

  // The collection lets go for good: the hook runs again and the node goes.
  raw->decUse();
  EXPECT_EQ(seen.destroyed, 1);
}

TEST(QuillNodeDeathTest, ReleasingAnUnusedNodeStops) {
  Seen seen;
  EXPECT_DEATH((new Probe(&seen))->decUse(),
               "assertion \"\\(before & kCountMask\\) != 0\" failed at platform/Quill/Node");
}

TEST(QuillNodeDeathTest, GivingUpTheOwnerUseTwiceStops) {
  Seen seen;
  EXPECT_DEATH(
      {
        auto* raw = new Probe(&seen);
        raw->incUse();
        raw->incUse();
        raw->ownerUseRelease();
        raw->ownerUseRelease();
      },
      "!heldWithoutUse\\(\\)");
}

class Throwing : public Quill::Node {
  void lastUserGone() override { throw std::runtime_error("cleanup failed"); }
};

TEST(QuillNodeDeathTest, AnExceptionEscapingTheHookStops) {
  EXPECT_DEATH({ Quill::Ptr<Throwing> p(new Throwing()); }, "cleanup failed");
}

}  // namespace
