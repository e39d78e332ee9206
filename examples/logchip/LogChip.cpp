// logchip: the smallest complete hardware adaptor of the local DVP table, to
// copy and change. Its "chip" is a map from key to value that lives as long
// as the process, so that a table made again in the same process (an agent
// restart) reads back what the previous one wrote. It traces every call the
// table makes, one line each on the trace handle "LogChip" at level 0, which
// it turns on (the lines go to standard error unless the agent installs a
// trace sink):
//
//   LogChip : tracker key=5 op=0
//   LogChip : write key=5 group=3 nextHop=70
//   LogChip : compare key=5 -> match
//   LogChip : sync -> 1 entries
//
// It confirms every write at once, from inside hwTableEntryIs; the guide
// (docs/adaptors.md) says what that means and how to confirm later instead.
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "VelarL3Vfi/LocalDvpTable.h"
#include "VelarL3Vfi/Util.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Trace/TraceHandle.h"

namespace LogChip {

using VelarL3Vfi::LocalDvpTable;
using Entry = VelarL3Vfi::LocalDvpTableEntry;
using OpType = Asic::IndexUserTracker::OpType;

constexpr std::uint32_t kEntries = 1024;

// One slot of the chip: a value, or written without one (the first half of a
// delete dance).
struct Slot {
  bool present = false;
  std::uint8_t group = 0;
  std::uint32_t nextHop = 0;
};
using Memory = std::map<std::uint32_t, Slot>;

// Made, with level 0 on, when the plug-in is loaded: a trace line looks at
// its handle only when some handle has a level on. Never destroyed: adaptors
// may trace until the process exits.
Trace::Handle& trace = *[] {
  auto* handle = new Trace::Handle("LogChip");
  handle->levelIs(0, true);
  return handle;
}();

// The hardware table of one unit, as recovery hands it to the table: it holds
// the unit's memory, which outlives every table (the chip outlives the agent).
class HwTable final : public Asic::HwTable {
 public:
  HwTable(Asic::UnitId unit, std::shared_ptr<Memory> memory)
      : Asic::HwTable(VelarL3Vfi::kLocalDvpTableTypeName, unit), memory_(std::move(memory)) {}
  const std::shared_ptr<Memory>& memory() const noexcept { return memory_; }

 private:
  ~HwTable() override { nodeFlagSet(kFlagLive, false); }  // every node destructor does this first
  std::shared_ptr<Memory> memory_;
};

class Util final : public VelarL3Vfi::LocalDvpTableUtil {
 public:
  explicit Util(std::shared_ptr<Memory> memory)
      : VelarL3Vfi::LocalDvpTableUtil("LogChip::Util"), memory_(std::move(memory)) {}

  std::uint32_t minIndex() const override { return 0; }
  std::uint32_t maxIndex() const override { return kEntries - 1; }

  void hwTableEntryIs(LocalDvpTable* table, Index key, const Kiv::Optional<Entry>& entry) const override {
    Slot slot;
    if (entry.present()) {
      slot = Slot{true, entry->dvpNetworkGroup(), entry->localPortNextHop()};
      QTRACE(trace, 0, "LogChip : write key=" << key.value << " group=" << unsigned{slot.group}
                                              << " nextHop=" << slot.nextHop);
    } else {
      QTRACE(trace, 0, "LogChip : write key=" << key.value << " absent");
    }
    (*memory_)[key.value] = slot;
    // Confirmed at once. The table may carry on inside this call: a delete
    // dance that wrote this absent value ends here, hwTableEntryDel included.
    const Asic::WriteResponseRecord response{key.value, key.value};
    table->hwWriteResponseIs(&response, sizeof response);
  }

  void hwTableEntryDel(LocalDvpTable* /*table*/, Index key) const override {
    QTRACE(trace, 0, "LogChip : delete key=" << key.value);
    memory_->erase(key.value);
  }

  void updateHwIndexRefCountTracker(Asic::HwTable* /*hwTable*/, Index key, OpType op) const override {
    QTRACE(trace, 0, "LogChip : tracker key=" << key.value << " op=" << static_cast<int>(op));
  }

  bool compareHwEntries(LocalDvpTable* /*table*/, Index key, const Entry& committed) const override {
    const auto it = memory_->find(key.value);
    // The committed entry may not carry its next hop's index yet: ask the
    // next hop's handle.
    const auto& nextHop = committed.localPortNextHopHandle();
    const bool match = it != memory_->end() && it->second.present &&
                       it->second.group == committed.dvpNetworkGroup() &&
                       it->second.nextHop == (nextHop ? hwIndexForDependentField(nextHop) : committed.localPortNextHop());
    QTRACE(trace, 0, "LogChip : compare key=" << key.value << (match ? " -> match" : " -> mismatch"));
    return match;
  }

  void syncEntries(Asic::HwTable* /*hwTable*/, const Quill::Ptr<LocalDvpTable>& table) const override {
    unsigned synced = 0;
    for (const auto& [key, slot] : *memory_) {
      if (!slot.present) continue;
      table->syncedEntryIs(key, Entry(nullptr, slot.group, slot.nextHop));
      ++synced;
    }
    QTRACE(trace, 0, "LogChip : sync -> " << synced << " entries");
  }

 private:
  ~Util() override { nodeFlagSet(kFlagLive, false); }
  std::shared_ptr<Memory> memory_;
};

// Recovery: the unit's hardware table, on the memory the unit had before.
Quill::Ptr<Asic::HwTable> recoverHwTable(Asic::UnitId unit, const Asic::ChipInfo& /*chip*/) {
  static auto* units = new std::map<Asic::UnitId, std::shared_ptr<Memory>>;  // the chips: never destroyed
  auto& memory = (*units)[unit];
  if (!memory) memory = std::make_shared<Memory>();
  return Quill::Ptr<Asic::HwTable>(new HwTable(unit, memory));
}

// A table's adaptor, on its recovered hardware table's memory (or on memory
// of its own when nothing was recovered).
Quill::Ptr<Asic::SwTable::Util> makeUtil(Asic::SwTable& table) {
  const auto* hw = dynamic_cast<const HwTable*>(table.hwTable());
  return Quill::Ptr<Asic::SwTable::Util>(new Util(hw != nullptr ? hw->memory() : std::make_shared<Memory>()));
}

// Runs when the table library loads the plug-in.
[[maybe_unused]] const bool registered =
    Asic::AdaptorRegistry::instance().adaptorIs({VelarL3Vfi::kLocalDvpTableTypeName, &makeUtil, &recoverHwTable});

}  // namespace LogChip
