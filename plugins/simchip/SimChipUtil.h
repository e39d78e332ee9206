#pragma once
// SimChip::Util: the local DVP table's adaptor for the simulated chip.
//
// The util programs the slots of its chip (the chip of the table's hardware
// table when it was made), counts the users of each hardware index in the
// chip, answers writes with write responses, and logs every adaptor call. It
// also implements SimChip::Control, through which tests and the agent drive
// and query it.
//
// Slots. A key is its own hardware index. A write with a value makes the slot
// valid; a write without one makes it allocated but written empty; a delete
// empties it. A key outside [minIndex, maxIndex] writes, deletes and counts
// nothing: the call is logged with an error and recorded as a fault.
//
// Index user counting. The table reports each change in the use of an index
// (updateHwIndexRefCountTracker) before the matching write or delete. The
// count, kept in the chip so that it survives an agent restart, is the number
// of keys that hold the index's slot: 1 from the write that allocates the
// slot until the delete that frees it, else 0. A key is its own index, so no
// index ever has two users.
//
//   op 0 first write             0 -> 1
//   op 1 write into empty slot   0 -> 1, or stays 1 when the key kept the
//                                slot through an absent write (slot written
//                                empty): the value returns to its own slot
//   op 2 delete of written value 1 -> 0
//   op 3 write absent            stays 1
//   op 4 delete of empty slot    1 -> 0
//
// A report that does not fit leaves the count alone and is a tracker fault:
// any decrement at 0, op 3 at 0, op 0 at 1, op 1 at 1 unless the slot is
// written empty, an unknown op. The writes and deletes that follow are
// checked against the count as well: a write to an index with no user, and a
// delete of an index that still has one, are tracker faults (the chip still
// carries them out). So while the table's reports and calls agree, once the
// traffic settles count[i] == 1 exactly when slot i is allocated (valid or
// written empty) and 0 otherwise; where they disagree, trackerFaults() names
// the first call that went wrong.
//
// Write responses. Every in-range write leaves one response {key, hwIndex =
// key} pending in the util. deliver() and deliverAll() hand pending responses
// to the table (swTable->hwWriteResponseIs), oldest first, one record per
// call; with auto delivery on, each response gets its own item of deferred
// activity instead. Pending responses and the table pointer live in state
// that dies with the util, and deferred items hold only a weak reference to
// it: once the table has let go of its util, whatever is still posted does
// nothing. A util that somebody keeps alive after its table is gone must not
// be asked to deliver.
//
// The util is also the chip's read-only view for VelarL3Vfi::audit: each
// slot as the chip holds it, its index users, and the tracker reports the
// util refused (the faults of operation "tracker", since the util was made).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VelarL3Vfi/Audit.h"
#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/Util.h"
#include "plugins/simchip/Chip.h"
#include "plugins/simchip/SimChipControl.h"

namespace SimChip {

class Util final : public VelarL3Vfi::LocalDvpTableUtil, public Control, public VelarL3Vfi::HwTableView {
 public:
  using LocalDvpTable = VelarL3Vfi::LocalDvpTable;
  using Slot = SimChip::Slot;  // the chip's; the view's is HwTableView::Slot

  // A util on `chip` whose responses go to `table` (it may be named later by
  // the first write instead).
  explicit Util(std::shared_ptr<Chip> chip, LocalDvpTable* table = nullptr);

  const std::shared_ptr<Chip>& chip() const noexcept { return chip_; }

  // The adaptor contract.
  std::uint32_t minIndex() const override;
  std::uint32_t maxIndex() const override;
  void hwTableEntryIs(LocalDvpTable* swTable, Index key,
                      const Kiv::Optional<Entry>& entry) const override;
  void hwTableEntryDel(LocalDvpTable* swTable, Index key) const override;
  void updateHwIndexRefCountTracker(Asic::HwTable* hwTable, Index key,
                                    Asic::IndexUserTracker::OpType updateOperation) const override;
  bool compareHwEntries(LocalDvpTable* swTable, Index key,
                        const Entry& resolvedEntry) const override;
  void syncEntries(Asic::HwTable* hwTable, const Quill::Ptr<LocalDvpTable>& swTable) const override;

  // Control.
  std::vector<Call> callLog() const override;
  std::string callLogText() const override;
  void callLogClear() override;
  std::size_t deliver(std::uint32_t key) override;
  std::size_t deliverAll() override;
  std::vector<Asic::WriteResponseRecord> pendingResponses() const override;
  void autoDeliverIs(bool on) override;
  bool autoDeliver() const override;
  void hwIndexInEntryHandleIs(bool on) override;
  std::uint32_t trackerCount(std::uint32_t index) const override;
  std::vector<Fault> faults() const override;
  std::vector<Fault> trackerFaults() const override;
  void faultsClear() override;
  Slot slot(std::uint32_t index) const override;
  std::uint32_t entries() const override;
  std::string location() const override;

  // The view.
  void forEachSlot(const std::function<void(const HwTableView::Slot&)>& visit) const override;
  HwTableView::Slot slotOf(std::uint32_t key) const override;

  struct State;

 private:
  ~Util() override;

  bool keyInRange(const char* operation, std::uint32_t key, std::string detail) const;

  std::shared_ptr<Chip> chip_;
  std::shared_ptr<State> state_;
};

// Makes the adaptor of a local DVP table: on the chip of the table's hardware
// table, or on a fresh anonymous chip of the default size when the table has
// none (or one that is not a simulated chip's).
Quill::Ptr<Asic::SwTable::Util> makeUtil(Asic::SwTable& table);

}  // namespace SimChip
