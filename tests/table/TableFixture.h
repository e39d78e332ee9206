#pragma once
// Shared helpers of the table tests: a recording observer and small factories.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "VelarL3Vfi/LocalDvpTable.h"

namespace VelarL3Vfi::test {

using Index = Asic::SwTableBase::Index;
using Entry = LocalDvpTable::Entry;
using EntryHandle = LocalDvpTable::EntryHandle;

// A handle of another table (e.g. a next hop) that entries can name.
class NeededHandle : public Asic::SwTable::EntryHandle {
 public:
  NeededHandle() noexcept = default;

 private:
  ~NeededHandle() override { nodeFlagSet(kFlagLive, false); }
};

inline Quill::Ptr<const Asic::SwTableBase::EntryHandle> neededHandle() {
  return Quill::Ptr<const Asic::SwTableBase::EntryHandle>(new NeededHandle());
}

// One publication as an observer saw it, with the previous value decoded
// according to the field it was published under.
struct Seen {
  Quill::FieldId field = 0;
  bool hasKey = false;
  std::uint32_t key = 0;
  bool recursive = false;
  Kiv::Optional<Entry> previousResolved;          // 519
  Entry previousSynced;                           // 522
  const void* previousNode = nullptr;             // 529, 530, 534, 387
};

class Recorder : public Quill::Observer {
 public:
  explicit Recorder(Quill::Publisher* publisher) : publisher_(publisher) {
    publisher_->observerIs(this);
  }
  ~Recorder() override { publisher_->observerDel(this); }

  void onChange(const Quill::Change& c) override {
    Seen s;
    s.field = c.field;
    s.recursive = c.recursive;
    if (c.key != nullptr) {
      s.hasKey = true;
      s.key = c.field == EntryHandle::kPendingEntryId
                  ? *static_cast<const std::uint32_t*>(c.key)
                  : static_cast<const Index*>(c.key)->value;
    }
    switch (c.field) {
      case LocalDvpTable::kResolvedEntryId:
        s.previousResolved = *static_cast<const Kiv::Optional<Entry>*>(c.previous);
        break;
      case LocalDvpTable::kSyncedEntryId:
        s.previousSynced = *static_cast<const Entry*>(c.previous);
        break;
      case LocalDvpTable::kEntryHandleId:
        s.previousNode = previousNode<EntryHandle>(c);
        break;
      case LocalDvpTable::kUnresolvedEntryId:
        s.previousNode = previousNode<LocalDvpTable::UnresolvedEntry>(c);
        break;
      case LocalDvpTable::kWriteResponseSmId:
        s.previousNode = previousNode<Asic::WriteResponseSm>(c);
        break;
      case EntryHandle::kSwTableId:
        s.previousNode = *static_cast<LocalDvpTable* const*>(c.previous);
        break;
      default:
        break;
    }
    seen.push_back(std::move(s));
  }

  std::vector<Seen> seen;

 private:
  template <class Node>
  static const void* previousNode(const Quill::Change& c) {
    return static_cast<const Quill::Ptr<Node>*>(c.previous)->get();
  }

  Quill::Publisher* publisher_;
};

// An adaptor that records every call in order, as text.
class RecordingUtil : public LocalDvpTable::Util {
 public:
  RecordingUtil() : LocalDvpTable::Util("recording") {}
  std::uint32_t minIndex() const override { return 16; }
  std::uint32_t maxIndex() const override { return 4095; }
  void hwTableEntryIs(LocalDvpTable*, Index key, const Kiv::Optional<Entry>& e) const override {
    calls.push_back("write " + std::to_string(key.value) + " " +
                    (e.present() ? std::to_string(e->dvpNetworkGroup()) : std::string("absent")));
  }
  void hwTableEntryDel(LocalDvpTable*, Index key) const override {
    calls.push_back("delete " + std::to_string(key.value));
  }
  void updateHwIndexRefCountTracker(Asic::HwTable*, Index key,
                                    Asic::IndexUserTracker::OpType op) const override {
    calls.push_back("tracker " + std::to_string(key.value) + " op " +
                    std::to_string(static_cast<int>(op)));
  }
  bool compareHwEntries(LocalDvpTable*, Index, const Entry&) const override { return false; }
  void syncEntries(Asic::HwTable*, const Quill::Ptr<LocalDvpTable>&) const override {}

  mutable std::vector<std::string> calls;
};

inline Quill::Ptr<LocalDvpTable> newTable() { return Quill::Ptr<LocalDvpTable>(new LocalDvpTable()); }

}  // namespace VelarL3Vfi::test
