// Change publication: observers, the idle mark, and changes to the observer
// list made during a delivery. (What a change carries is the table's
// publication test's.)
#include <gtest/gtest.h>

#include <functional>

#include "platform/Quill/Publisher.h"

namespace {

// Counts the changes it receives.
struct Log : Quill::Observer {
  int changes = 0;
  std::function<void()> onEach;
  void onChange(const Quill::Change&) override {
    ++changes;
    if (onEach) onEach();
  }
};

TEST(QuillPublisher, ObserversMayComeAndGoDuringDelivery) {
  Quill::Publisher p;
  EXPECT_TRUE(p.idle());
  Log first;
  Log second;
  Log late;
  p.observerIs(&first);
  p.observerIs(&second);
  p.observerIs(&first);  // already there
  EXPECT_EQ(p.observerCount(), 2u);
  first.onEach = [&] {
    p.observerDel(&second);  // not called for this change any more
    p.observerDel(&first);
    p.observerIs(&late);
  };
  p.publishChange(1, nullptr);
  EXPECT_EQ(first.changes, 1);
  EXPECT_EQ(second.changes, 0);
  EXPECT_EQ(late.changes, 1);  // appended during the delivery
  EXPECT_EQ(p.observerCount(), 1u);
  p.publishChange(2, nullptr);
  EXPECT_EQ(late.changes, 2);
  EXPECT_EQ(first.changes, 1);

  // Idle again once the last observer leaves.
  p.observerDel(&late);
  EXPECT_TRUE(p.idle());
  p.publishChange(3, nullptr);
  EXPECT_EQ(late.changes, 2);
}

}  // namespace
