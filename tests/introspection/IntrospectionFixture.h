#pragma once
// Shared helpers of the generic-interface tests: a table with a recording
// adaptor whose writes the test confirms by hand, next-hop handles from a
// needed-entry table, and short ways to put raw requests.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "VelarL3Vfi/Introspection.h"
#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/TypeModule.h"
#include "platform/Asic/NeededEntryTable.h"
#include "platform/Quill/GenericIf.h"
#include "tests/support/Support.h"

namespace VelarL3Vfi::test {

using Quill::Inspect::ArgumentError;
using Quill::Inspect::Op;
using Quill::Inspect::Result;
using Quill::Inspect::Value;
using Entry = LocalDvpTable::Entry;
using EntryHandle = LocalDvpTable::EntryHandle;
using Values = std::vector<Value>;
using TestUtil = VelarTest::RecordingUtil;

// A raw request to the generic interface of a type.
inline Result askType(TypeIndex type, Value& out, Quill::Inspect::Target target, Quill::AttrId attr, Op op,
                      const Value* key = nullptr, const Value* value = nullptr, const Values& args = {}) {
  return typeData(type).genericIf->inspectOperation(out, target, attr, op, key, {value, args});
}

class IntrospectionTest : public ::testing::Test {
 protected:
  IntrospectionTest() {
    table->configReplayCompleteIs(true);  // a running agent
    table->utilIs(Quill::Ptr<Asic::SwTable::Util>(util));
    nextHops->readyIs(1, 70);
  }
  ~IntrospectionTest() override {
    table = nullptr;
    nh = nullptr;
    EXPECT_EQ(leaks.leaks(), VelarTest::Lines{});
  }

  // The hardware confirms the write of `key`.
  void confirm(std::uint32_t key) {
    const Asic::WriteResponseRecord response{key, key};
    table->hwWriteResponseIs(&response, sizeof response);
  }
  // Raw requests on the table: without key, a call.
  Result ask(Value& out, Quill::AttrId attr, Op op, const Value* value = nullptr) {
    return askType(kLocalDvpTableType, out, {table.get(), nullptr}, attr, op, nullptr, value);
  }
  Result call(Value& out, Quill::AttrId attr, const Values& args = {}) {
    return askType(kLocalDvpTableType, out, {table.get(), nullptr}, attr, Op::call, nullptr, nullptr, args);
  }

  VelarTest::LeakCheck leaks;
  TestUtil* util = new TestUtil();
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  Quill::Ptr<Asic::NeededEntryTable> nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  Quill::Ptr<const Asic::SwTableBase::EntryHandle> nh{nextHops->handleIs(1)};  // ready: index 70
};

}  // namespace VelarL3Vfi::test
