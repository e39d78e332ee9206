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

namespace VelarL3Vfi::test {

using Quill::Inspect::ArgumentError;
using Quill::Inspect::Op;
using Quill::Inspect::Result;
using Quill::Inspect::Value;
using Entry = LocalDvpTable::Entry;
using EntryHandle = LocalDvpTable::EntryHandle;
using HandleRef = Quill::Ptr<const Asic::SwTableBase::EntryHandle>;
using Values = std::vector<Value>;

// An adaptor that records writes; the chip confirms only when told to.
class TestUtil : public LocalDvpTable::Util {
 public:
  TestUtil() : LocalDvpTable::Util("test") {}
  std::uint32_t minIndex() const override { return 16; }
  std::uint32_t maxIndex() const override { return 4095; }
  void hwTableEntryIs(LocalDvpTable*, Asic::SwTableBase::Index key, const Kiv::Optional<Entry>&) const override {
    writes.push_back(key.value);
  }
  void hwTableEntryDel(LocalDvpTable*, Asic::SwTableBase::Index key) const override {
    deletes.push_back(key.value);
  }
  void updateHwIndexRefCountTracker(Asic::HwTable*, Asic::SwTableBase::Index,
                                    Asic::IndexUserTracker::OpType) const override {}
  bool compareHwEntries(LocalDvpTable*, Asic::SwTableBase::Index, const Entry&) const override { return false; }
  void syncEntries(Asic::HwTable*, const Quill::Ptr<LocalDvpTable>&) const override {}

  mutable std::vector<std::uint32_t> writes;
  mutable std::vector<std::uint32_t> deletes;
};

inline Value record(const Entry& e) { return Introspection::entryValue(e); }
inline const Entry* asEntry(const Value& v) { return v.recordIf<Entry>(); }

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
    waiting = nullptr;
    EXPECT_EQ(EntryHandle::memAllocationTracker_.live(), handlesBefore) << "an entry handle leaked";
    EXPECT_EQ(LocalDvpTable::UnresolvedEntry::memAllocationTracker_.live(), unresolvedBefore);
    EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), tablesBefore) << "a table leaked";
  }

  // The hardware confirms the write of `key`.
  void confirm(std::uint32_t key) {
    const Asic::WriteResponseRecord response{key, key};
    table->hwWriteResponseIs(&response, sizeof response);
  }
  // Commits a value with a ready next hop and confirms its write.
  void programmed(std::uint32_t key, std::uint8_t group) {
    table->entryCommit(key, Entry(nh, group));
    confirm(key);
  }
  // A resolved slot without value, as a delete in flight leaves it; made
  // while the adaptor looks away (it insists on a written value first).
  void emptySlot(std::uint32_t key) {
    Quill::Ptr<Asic::SwTable::Util> adaptor = table->utilPtr();
    table->utilIs(nullptr);
    table->resolvedEntryIs(key, Kiv::Optional<Entry>());
    table->utilIs(adaptor);
  }

  // Raw requests on the table: without key, at a key, a call.
  Result ask(Value& out, Quill::AttrId attr, Op op, const Value* value = nullptr) {
    return askType(kLocalDvpTableType, out, {table.get(), nullptr}, attr, op, nullptr, value);
  }
  Result askKey(Value& out, Quill::AttrId attr, Op op, std::uint32_t key) {
    const Value k = Value::u32(key);
    return askType(kLocalDvpTableType, out, {table.get(), nullptr}, attr, op, &k);
  }
  Result call(Value& out, Quill::AttrId attr, const Values& args = {}) {
    return askType(kLocalDvpTableType, out, {table.get(), nullptr}, attr, Op::call, nullptr, nullptr, args);
  }

  std::size_t handlesBefore = EntryHandle::memAllocationTracker_.live();
  std::size_t unresolvedBefore = LocalDvpTable::UnresolvedEntry::memAllocationTracker_.live();
  std::size_t tablesBefore = LocalDvpTable::memAllocationTracker_.live();
  TestUtil* util = new TestUtil();
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  Quill::Ptr<Asic::NeededEntryTable> nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  HandleRef nh{nextHops->handleIs(1)};       // ready: index 70
  HandleRef waiting{nextHops->handleIs(2)};  // never ready
};

}  // namespace VelarL3Vfi::test
