#pragma once
// The hardware adaptor contract of the local DVP table.
//
// A hardware-specific plug-in derives from LocalDvpTableUtil
// (LocalDvpTable::Util) and implements its pure operations; the table reaches
// it only through util(). Every operation runs on the agent's activity thread.
// The table reports each change in the use of a hardware index
// (updateHwIndexRefCountTracker) before the matching write or delete.
// docs/adaptors.md is the guide for adaptor authors: what each operation
// must do, registration, write confirmations and the permission rules.
#include <cstdint>

#include "platform/Asic/HwTable.h"
#include "platform/Asic/SwTable.h"
#include "platform/Kiv/Optional.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/SlabAllocated.h"
#include "platform/Quill/String.h"
#include "VelarL3Vfi/Entry.h"

namespace VelarL3Vfi {

class LocalDvpTable;

// The table type an adaptor plug-in registers for
// (Asic::AdaptorRegistry::adaptorIs), and the directory under
// <root>/AsicFeature/ that holds its plug-ins.
inline constexpr const char* kLocalDvpTableTypeName = "VelarL3Vfi::LocalDvpTable";

class LocalDvpTableUtil : public Asic::SwTable::Util, public Quill::SlabOrHeapAllocated<LocalDvpTableUtil> {
 public:
  using Entry = LocalDvpTableEntry;

  // Every adaptor, whatever plug-in made it and however large it is.
  static inline Quill::AllocationTracker memAllocationTracker_{"VelarL3Vfi::LocalDvpTable::Util"};

  using Index = Asic::SwTableBase::Index;
  using HandlePtr = Quill::Ptr<const Asic::SwTableBase::EntryHandle>;

  explicit LocalDvpTableUtil(const Quill::String& name) : Asic::SwTable::Util(name) {}

  // The range of hardware indices the chip offers for this table.
  virtual std::uint32_t minIndex() const = 0;
  virtual std::uint32_t maxIndex() const = 0;

  // In this table the value of the dependent field already is the hardware
  // index.
  virtual Asic::Index dependentFieldValueToHwIndex(Asic::Index dependentField) const {
    return dependentField;
  }

  // Programs the key's hardware entry with its resolved value. The value is
  // absent when the key's resolved slot holds none (a delete in flight); what
  // the chip writes then is the adaptor's choice.
  virtual void hwTableEntryIs(LocalDvpTable* swTable, Index key,
                              const Kiv::Optional<Entry>& entry) const = 0;
  // Removes the key's hardware entry.
  virtual void hwTableEntryDel(LocalDvpTable* swTable, Index key) const = 0;
  // Reports one change in the use of the hardware index `key`.
  virtual void updateHwIndexRefCountTracker(Asic::HwTable* hwTable, Index key,
                                            Asic::IndexUserTracker::OpType updateOperation) const = 0;
  // Whether the hardware's entry at the key matches the committed entry.
  virtual bool compareHwEntries(LocalDvpTable* swTable, Index key, const Entry& resolvedEntry) const = 0;
  // Reads the hardware table back into the table's syncedEntry collection.
  virtual void syncEntries(Asic::HwTable* hwTable, const Quill::Ptr<LocalDvpTable>& swTable) const = 0;

  // The hardware index of a needed entry, as this table's entries see it.
  virtual Asic::Index hwIndexForDependentField(const HandlePtr& hdl) const { return getHwIndex(hdl); }
  static Asic::Index getHwIndex(const HandlePtr& hdl) noexcept {
    return Asic::SwTableBase::getHwEntryIndex(hdl);
  }

  // The adaptor's type in the table's type module, whichever plug-in
  // subclass this is (the generic interface inspects it as a Util).
  const Quill::TypeData* typeData() const noexcept override;

 protected:
  ~LocalDvpTableUtil() override { nodeFlagSet(kFlagLive, false); }
};

}  // namespace VelarL3Vfi
