// Change publication: observers, the idle mark, and changes to the observer
// list made during a delivery.
#include <gtest/gtest.h>

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

TEST(QuillPublisher, IdleUntilObservedAndAgainAfterTheLastObserverLeaves) {
  Quill::Publisher p;
  EXPECT_TRUE(p.idle());
  Log a;
  p.observerIs(&a);
  p.observerIs(&a);
  EXPECT_EQ(p.observerCount(), 1u);
  EXPECT_FALSE(p.idle());
  p.observerDel(&a);
  EXPECT_TRUE(p.idle());
  p.publishChange(1, nullptr);
  EXPECT_TRUE(a.changes.empty());
}

TEST(QuillPublisher, DeliversFieldKeyAndPreviousValue) {
  Quill::Publisher p;
  Log a;
  p.observerIs(&a);
  int key = 7;
  int previous = 3;
  p.publishChange(389, &key);
  p.publishChangeRecursive(519, &key, &previous, nullptr);
  ASSERT_EQ(a.changes.size(), 2u);
  EXPECT_FALSE(a.changes[0].recursive);
  EXPECT_EQ(a.changes[0].field, 389u);
  EXPECT_EQ(a.changes[0].previous, nullptr);
  EXPECT_TRUE(a.changes[1].recursive);
  EXPECT_EQ(a.changes[1].key, &key);
  EXPECT_EQ(a.changes[1].previous, &previous);
}

TEST(QuillPublisher, ObserversMayComeAndGoDuringDelivery) {
  Quill::Publisher p;
  Log first;
  Log second;
  Log late;
  p.observerIs(&first);
  p.observerIs(&second);
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
}

}  // namespace
