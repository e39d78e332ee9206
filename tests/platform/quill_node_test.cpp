// The runtime's use counting: count arithmetic, the last-user hook, the
// owner's use of a collection, and the assertions that catch misuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>

#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"

namespace {

// A node that records its hook calls and its destruction, and can run an
// action inside its hook.
class Probe : public Quill::Node {
 public:
  explicit Probe(int* destroyed) : destroyed_(destroyed) {}
  void lastUserGone() override {
    Quill::Node::lastUserGone();
    ++hookCalls;
    countInHook = useCount();
    if (inHook) inHook(*this);
  }
  int hookCalls = 0;
  std::uint32_t countInHook = 0;
  std::function<void(Probe&)> inHook;

 private:
  ~Probe() override { nodeFlagSet(kFlagLive, false); ++*destroyed_; }
  int* destroyed_;
};

TEST(QuillNode, LastUserGoneArrivesOnceWithAGuardUseThenTheNodeIsDestroyed) {
  int destroyed = 0;
  auto* raw = new Probe(&destroyed);
  Quill::Ptr<Probe> p(raw);
  int nestedDrops = 0;
  raw->inHook = [&](Probe& self) {
    // Uses taken and dropped inside the hook cannot end the node under it.
    Quill::Ptr<Probe> again(&self);
    again = nullptr;
    ++nestedDrops;
  };
  p = nullptr;
  EXPECT_EQ(nestedDrops, 1);
  EXPECT_EQ(destroyed, 1);
}

TEST(QuillNode, OwnerUseIsRetakenBeforeTheHookWheneverTheNodeRunsOutOfUses) {
  int destroyed = 0;
  auto* raw = new Probe(&destroyed);
  Quill::Ptr<Probe> owner(raw);     // the collection's use
  Quill::Ptr<Probe> dependent(raw);
  owner.release();                  // the collection keeps the raw pointer ...
  raw->ownerUseRelease();           // ... and gives up the use
  EXPECT_TRUE(raw->heldWithoutUse());
  EXPECT_EQ(raw->useCount(), 1u);

  dependent = nullptr;
  EXPECT_EQ(raw->hookCalls, 1);
  EXPECT_EQ(raw->countInHook, 2u);  // guard + the re-taken owner use
  EXPECT_EQ(raw->useCount(), 1u);
  EXPECT_FALSE(raw->heldWithoutUse());
  EXPECT_EQ(destroyed, 0);

  // Giving up the last use runs the hook at once, which takes it back.
  raw->ownerUseRelease();
  EXPECT_EQ(raw->hookCalls, 2);
  EXPECT_EQ(raw->useCount(), 1u);
  EXPECT_FALSE(raw->ownerUseRetake());  // already re-taken

  // The collection lets go for good: the hook runs again and the node goes.
  raw->decUse();
  EXPECT_EQ(destroyed, 1);
}

TEST(QuillNodeDeathTest, ReleasingAnUnusedNodeStops) {
  int destroyed = 0;
  EXPECT_DEATH((new Probe(&destroyed))->decUse(),
               "assertion \"\\(before & kCountMask\\) != 0\" failed at platform/Quill/Node");
}

TEST(QuillNodeDeathTest, GivingUpTheOwnerUseTwiceStops) {
  int destroyed = 0;
  EXPECT_DEATH(
      {
        auto* raw = new Probe(&destroyed);
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
