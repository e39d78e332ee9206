#pragma once
// A GoogleTest fixture for tests whose table records must all be gone when
// they end: deferred work is dropped, then every leak is a failure.
#include <gtest/gtest.h>

#include "platform/Activity/Activity.h"
#include "tests/support/Support.h"

namespace VelarTest {

class LeakChecked : public ::testing::Test {
 protected:
  void TearDown() override {
    Activity::discardPending();
    for (const auto& leak : leaks_.leaks()) ADD_FAILURE() << leak;
  }

 private:
  LeakCheck leaks_;
};

}  // namespace VelarTest
