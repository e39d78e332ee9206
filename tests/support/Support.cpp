#include "tests/support/Support.h"

#include <fmt/format.h>
#include <unistd.h>

#include <stdexcept>

#include "VelarL3Vfi/Library.h"
#include "platform/Activity/Activity.h"
#include "platform/Asic/AdaptorRegistry.h"

namespace VelarTest {

TempDir::TempDir(bool preferMemory) {
  const std::filesystem::path shm("/dev/shm");
  const auto base =
      preferMemory && ::access(shm.c_str(), W_OK) == 0 ? shm : std::filesystem::temp_directory_path();
  std::string pattern = (base / "velar-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + base.string());
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

LeakCheck::LeakCheck()
    : handles_(EntryHandle::memAllocationTracker_.live()),
      unresolved_(LocalDvpTable::UnresolvedEntry::memAllocationTracker_.live()),
      tables_(LocalDvpTable::memAllocationTracker_.live()),
      queueSlots_(EntryHandle::PendingQueue::arrayElemTracker.live()) {}

std::vector<std::string> LeakCheck::leaks() const {
  std::vector<std::string> out;
  auto live = [&](const char* what, std::size_t now, std::size_t before) {
    if (now != before) out.push_back(fmt::format("{} {} outlived the test", now - before, what));
  };
  live("entry handles", EntryHandle::memAllocationTracker_.live(), handles_);
  live("unresolved entries", LocalDvpTable::UnresolvedEntry::memAllocationTracker_.live(), unresolved_);
  live("tables", LocalDvpTable::memAllocationTracker_.live(), tables_);
  live("pending-entry queue slots", EntryHandle::PendingQueue::arrayElemTracker.live(), queueSlots_);
  return out;
}

TraceCapture::TraceCapture(std::uint32_t levelMask) { LocalDvpTable::traceHandle().maskIs(levelMask); }
TraceCapture::~TraceCapture() { LocalDvpTable::traceHandle().maskIs(0); }

Lines TraceCapture::take() {
  Lines lines = sink_.lines();
  sink_.clear();
  return lines;
}

namespace {
class NeededHandle : public Asic::SwTable::EntryHandle {
 public:
  explicit NeededHandle(Asic::Index hwIndex) noexcept { hwIndexIs(hwIndex); }

 private:
  ~NeededHandle() override { nodeFlagSet(kFlagLive, false); }
};
}  // namespace

Entry::HandlePtr neededHandle(Asic::Index hwIndex) { return Entry::HandlePtr(new NeededHandle(hwIndex)); }

void RecordingUtil::hwTableEntryIs(LocalDvpTable*, Index key, const Kiv::Optional<Entry>& e) const {
  calls.push_back(fmt::format("write {} {}", key.value,
                              e.present() ? std::to_string(e->dvpNetworkGroup()) : std::string("absent")));
}

void RecordingUtil::hwTableEntryDel(LocalDvpTable*, Index key) const {
  calls.push_back(fmt::format("delete {}", key.value));
}

void RecordingUtil::updateHwIndexRefCountTracker(Asic::HwTable*, Index key,
                                                 Asic::IndexUserTracker::OpType op) const {
  calls.push_back(fmt::format("tracker {} op {}", key.value, static_cast<int>(op)));
}

ChipTable::ChipTable(const std::string& location, bool replay, std::uint32_t entries)
    : nextHops(Asic::NeededEntryTable::NeededEntryTableIs("nextHops")) {
  // The simulated chip has a plug-in root of its own, which an agent names.
  [[maybe_unused]] static const std::size_t loaded = VelarL3Vfi::loadAdaptorPlugins(VELAR_SIMCHIP_ROOT);
  Activity::discardPending();
  auto rg = Asic::HwTableRecoverGroup::HwTableRecoverGroupIs("recover");
  LocalDvpTable::doRecoverHwTable(rg, 0, Ledger::EntityManager::EntityManagerIs("ledger"),
                                  Asic::ChipInfo{0, location, entries});
  table = VelarL3Vfi::localDvpTableFactory();
  chip_ = dynamic_cast<SimChip::Control*>(table->util());
  if (chip_ == nullptr) throw std::runtime_error("the simulated chip plug-in was not loaded");
  table->syncEntries();
  if (!replay) table->doInitComplete();
  chip_->callLogClear();
}

ChipTable::~ChipTable() {
  // The agent goes down: nothing it lets go of reaches the chip any more.
  Activity::discardPending();
  if (table) table->utilIs(nullptr);
  table = nullptr;
  nextHops = nullptr;
  Asic::AdaptorRegistry::instance().hwTableIs("VelarL3Vfi::LocalDvpTable", nullptr);
}

Entry::HandlePtr ChipTable::nextHop(std::uint32_t key, Asic::Index index) {
  nextHops->readyIs(key, index);
  return nextHops->handleIs(key);
}

void ChipTable::programmed(std::uint32_t key, std::uint8_t group, Asic::Index nextHopIndex) {
  table->entryCommit(key, Entry(nextHop(nextHopIndex, nextHopIndex), group));
  settle();
  chip_->callLogClear();
}

Lines ChipTable::calls() {
  Lines lines;
  for (const auto& call : chip_->callLog()) lines.push_back(call.line());
  chip_->callLogClear();
  return lines;
}

void ChipTable::settle() {
  while (chip_->deliverAll() + Activity::runPending() != 0) continue;
}

}  // namespace VelarTest
