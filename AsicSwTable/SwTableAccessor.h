#pragma once
// The generic algorithms of software tables.
//
// An Accessor is a value holding one plain pointer to a table (no use). Table
// operations that carry an algorithm build one over the table, run the
// algorithm and drop it; the algorithms change the table only through its
// mutators, so that every change is published.
//
// Failures of invariants stop the agent through QASSERT, whose reports name
// this file as their source ("AsicSwTable/SwTableAccessor").
#include <cstdint>
#include <optional>

#include "AsicSwTable/ProgrammedStateSwitch.h"
#include "platform/Asic/HwTable.h"
#include "platform/Asic/SwTable.h"
#include "platform/Assert/Assert.h"
#include "platform/Kiv/Optional.h"
#include "platform/Trace/TraceHandle.h"

namespace Asic {

template <class Table>
class SwTable::Accessor {
 public:
  using Index = SwTableBase::Index;
  using Util = typename Table::Util;
  using OpType = IndexUserTracker::OpType;

  explicit Accessor(Table* swTable) noexcept : swTable_(swTable) {}

  Table* swTable() const noexcept { return swTable_; }

  // Entry handling: runs after every change of a key's resolved entry and is
  // where a resolved value will be programmed into the hardware or deleted
  // from it. Until the programming step exists, the resolved collection is
  // the whole outcome of a change.
  void handleEntry(const Index& /*key*/) {}

  // The table's adaptor, or null when it has none. The adaptor is owned by
  // the table base; a use is held while it is looked up.
  const Util* utilIfExists() const {
    const auto& util = swTable_->utilPtr();
    if (!util) return nullptr;
    Quill::Ptr<SwTable::Util> hold(util);
    return swTable_->util();
  }

  // Writes the key's resolved value (absent when its slot holds none) to the
  // hardware, telling the index-user tracker first. With the adaptor's
  // hwIndexInEntryHandle set, the written index is recorded in the key's
  // handle.
  void hwTableEntryIs(const Util* util, const Index& key, std::optional<Asic::Index> hwIndex) {
    QTRACE(Table::traceHandle(), 8,
           "VelarL3Vfi::LocalDvpTable" << " : " << "hwTableEntryIs" << " : key: " << key);
    Kiv::Optional<typename Table::Entry> value = swTable_->resolvedEntry(key);
    if (!swTable_->reconcilingHwEntry()) {
      const auto kind = swTable_->resolvedChangeKind();
      if (value.present()) {
        if (kind == 0) {
          util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::firstWrite);
        } else if (kind == 1) {
          util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::writeIntoEmptySlot);
        }
      } else {
        // An absent value only ever replaces a written one.
        if (kind != 2) QASSERT(false);
        util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::writeAbsent);
      }
    }
    util->hwTableEntryIs(swTable_, key, value);
    value.reset();
    if (util->hwIndexInEntryHandle() && hwIndex) {
      if (auto handle = swTable_->entryHandle(key)) handle->hwIndexIs(*hwIndex);
    }
  }

  // Deletes the key's hardware entry, telling the index-user tracker first.
  void hwTableEntryDel(const Util* util, const Index& key, std::optional<Asic::Index> /*hwIndex*/) {
    QTRACE(Table::traceHandle(), 8,
           "VelarL3Vfi::LocalDvpTable" << " : " << "hwTableEntryDel"
                                       << ": Deleting entry at key:" << key);
    if (swTable_->reconcilingHwEntry()) {
      util->updateHwIndexRefCountTracker(swTable_->hwTable(), key, OpType::deleteWritten);
    } else {
      const auto kind = swTable_->resolvedChangeKind();
      // A delete always follows a resolved slot.
      if (kind == 0) QASSERT(false);
      util->updateHwIndexRefCountTracker(swTable_->hwTable(), key,
                                         kind == 2 ? OpType::deleteWritten : OpType::deleteEmptySlot);
    }
    util->hwTableEntryDel(swTable_, key);
  }

  // With the environment's switch on, marks the key's handle as programmed at
  // the key's index without waiting for the hardware (see
  // ProgrammedStateSwitch.h). The key must have a handle.
  void doCompleteEntryHandleForTesting(const Index& key) {
    if (!publishEntryHandleProgrammedState()) return;
    auto handle = swTable_->entryHandle(key);
    QASSERT(handle);
    handle->hwIndexIs(key.value);
    handle->resolvedEntryStateIs(key.value == kExhaustedIndex ? SwTableBase::EntryState::indexExhausted
                                                              : SwTableBase::EntryState::success);
  }

 private:
  Table* swTable_;
};

}  // namespace Asic
