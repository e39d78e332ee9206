#pragma once
// Shared helpers of the simulated chip's tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Activity/Activity.h"
#include "plugins/simchip/HwTable.h"
#include "plugins/simchip/Util.h"

namespace SimChip::test {

using VelarL3Vfi::LocalDvpTable;
using Entry = LocalDvpTable::Entry;
using OpType = Asic::IndexUserTracker::OpType;
using Bytes = std::vector<char>;

// A directory of its own for each test, removed with everything in it.
struct ScratchDir {
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "simchip-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

inline Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::shared_ptr<Chip> chipOf(Asic::HwTable* hwTable) {
  auto* sim = dynamic_cast<HwTable*>(hwTable);
  if (sim == nullptr) throw std::logic_error("not a simulated chip's hardware table");
  return sim->chip();
}

// A handle of a next hop that entries can name.
class NextHopHandle : public Asic::SwTable::EntryHandle {
 public:
  explicit NextHopHandle(Asic::Index hwIndex) noexcept { hwIndexIs(hwIndex); }

 private:
  ~NextHopHandle() override { nodeFlagSet(kFlagLive, false); }
};

inline Quill::Ptr<const Asic::SwTableBase::EntryHandle> nextHop(Asic::Index hwIndex) {
  return Quill::Ptr<const Asic::SwTableBase::EntryHandle>(new NextHopHandle(hwIndex));
}

// A table that owns a util on a 64-entry anonymous chip, as in the agent;
// the test keeps a plain pointer to the util.
class TableOnChip : public ::testing::Test {
 protected:
  TableOnChip() {
    table->utilIs(Quill::Ptr<Asic::SwTable::Util>(util));
    table->configReplayCompleteIs(true);  // a running agent, not a restart
  }
  ~TableOnChip() override { Activity::discardPending(); }

  Control& control() { return *util; }

  // The table's own hardware traffic: the resolved slot changes and the
  // table's entry handling reports to the tracker and writes or deletes.
  void commit(std::uint32_t key, const Kiv::Optional<Entry>& value) {
    table->resolvedChangeKindIs(changeKind(key));
    table->resolvedEntryIs(key, value);
  }
  void remove(std::uint32_t key) {
    table->resolvedChangeKindIs(changeKind(key));
    table->resolvedEntryDel(key);
  }
  std::uint8_t changeKind(std::uint32_t key) const {
    if (!table->resolvedEntryHas(key)) return 0;
    return table->resolvedEntry(key).present() ? 2 : 1;
  }

  std::shared_ptr<Chip> chip = Chip::anonymous(64);
  Quill::Ptr<LocalDvpTable> table{new LocalDvpTable()};
  Util* util = new Util(chip, table.get());
};

}  // namespace SimChip::test
