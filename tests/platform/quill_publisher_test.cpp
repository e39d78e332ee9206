// Change publication: observers, the idle mark, and changes to the observer
// list made during a delivery. (What a change carries is the table's
// publication test's.)
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/Quill/Publisher.h"

namespace {

struct Log : Quill::Observer {
  std::vector<Quill::Change> changes;
  std::function<void()> onEach;
  void onChange(const Quill::Change& c) override {
    changes.push_back(c);
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
  EXPECT_EQ(first.changes.size(), 1u);
  EXPECT_TRUE(second.changes.empty());
  EXPECT_EQ(late.changes.size(), 1u);  // appended during the delivery
  EXPECT_EQ(p.observerCount(), 1u);
  p.publishChange(2, nullptr);
  EXPECT_EQ(late.changes.size(), 2u);
  EXPECT_EQ(first.changes.size(), 1u);

  // Idle again once the last observer leaves.
  p.observerDel(&late);
  EXPECT_TRUE(p.idle());
  p.publishChange(3, nullptr);
  EXPECT_EQ(late.changes.size(), 2u);
}

}  // namespace
