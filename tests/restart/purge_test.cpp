// The stale purge and removing all entries, in one process on a chip in
// memory: which copies are settled, which hardware entries go, what is
// traced and counted.
#include "RestartFixture.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Trace/TraceSink.h"

#include <memory>

namespace VelarL3Vfi::restart {
namespace {

const std::string kT = "VelarL3Vfi::LocalDvpTable : ";

// A restarted agent whose chip holds keys 1..4 from its previous run.
class Purge : public ChipFile {
 protected:
  Purge() {
    {
      Agent before(path);
      before.initComplete();
      before.ready(1);
      for (std::uint32_t k = 1; k <= 4; ++k) before.commit(k, 1, 1);
      before.settle();
    }
    agent = std::make_unique<Agent>(path);
    agent->ready(1);
  }
  ~Purge() override {
    agent = nullptr;
    LocalDvpTable::traceHandle().maskIs(0);
    LocalDvpTable::statTraceHandle().maskIs(0);
  }
  std::unique_ptr<Agent> agent;
};

TEST_F(Purge, SettlesCommittedCopiesAndDeletesOnlyTheStaleOnes) {
  ASSERT_EQ(agent->table().syncedEntrys(), 4u);
  agent->commit(1, 1, 1);  // the same value: matched, its copy settled
  agent->commit(2, 2, 1);  // waiting: next hop 2 has no index
  auto h3 = agent->table().entryHandleIs(3, &agent->table());
  agent->table().resolvedEntryIs(3, Kiv::Optional<Entry>());  // differs: rewritten, copy settled
  // Copies that reconciliation did not settle count as claimed by the
  // resolved slots, with or without value.
  agent->table().syncedEntryIs(1, Entry(nullptr, 1, 101));
  agent->table().syncedEntryIs(3, Entry(nullptr, 1, 101));
  agent->chip().callLogClear();
  LocalDvpTable::traceHandle().maskIs(1u << 8);
  LocalDvpTable::statTraceHandle().maskIs(1u << 0);
  Trace::CaptureSink trace;

  agent->table().purgeStaleEntries();

  EXPECT_EQ(agent->table().syncedEntrys(), 0u);
  std::vector<std::string> calls;
  for (const auto& c : agent->chip().callLog()) calls.push_back(c.line());
  // Key 2: the tracker loses the waiting entry's old use; key 4 is stale.
  EXPECT_TRUE(agent->chip().faults().empty());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "tracker key=2 op=2"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "delete key=4"), calls.end());
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& l) { return l.rfind("delete", 0) == 0; }),
            1);
  const auto& lines = trace.lines();
  auto has = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) != lines.end(); };
  EXPECT_TRUE(has(kT + "handleStaleEntriesSkip resolved key:1"));
  EXPECT_TRUE(has(kT + "handleStaleEntriesSkip unresolved key:2"));
  EXPECT_TRUE(has(kT + "handleStaleEntriesSkip resolved key:3"));
  EXPECT_TRUE(has(kT + "handleStaleEntries: Deleting stale hwEntry for key:4"));
  EXPECT_EQ(lines.back(), kT + "purgeStaleEntries matched: 1, mismatched: 2, missing: 0, deleted: 1");
  EXPECT_FALSE(agent->table().reconcilingHwEntry());

  trace.clear();
  agent->table().purgeStaleEntries();  // again: nothing but the traces
  EXPECT_EQ(trace.lines(), (std::vector<std::string>{
                               kT + "syncedEntryRemoveAll",
                               kT + "syncedEntryRemoveAll No stale entries in syncedEntryColl",
                               kT + "purgeStaleEntries matched: 1, mismatched: 2, missing: 0, deleted: 1"}));
}

TEST_F(Purge, RemoveAllAfterThePurgeWithdrawsEverything) {
  agent->initComplete();
  agent->commit(10, 1, 1);
  agent->commit(11, 1, 2);
  agent->settle();
  agent->table().entryRemoveAll();
  agent->settle();
  EXPECT_EQ(agent->table().entrys(), 0u);
  EXPECT_EQ(agent->chip().slot(10).state, SimChip::SlotState::empty);
  EXPECT_EQ(agent->chip().slot(11).state, SimChip::SlotState::empty);
}

using PurgeDeathTest = Purge;

TEST_F(PurgeDeathTest, RemoveAllBeforeThePurgeStopsAfterTheRemovals) {
  EXPECT_DEATH(
      {
        LocalDvpTable::traceHandle().maskIs(1u << 5);
        agent->commit(1, 1, 1);
        agent->table().entryRemoveAll();
      },
      "entryRemove : Removing entry at key : 1(.|\n)*Should call purgeStaleEntries instead\n"
      "assertion \"false\" failed at AsicSwTable/SwTableAccessor");
}

TEST_F(PurgeDeathTest, AStaleCopyAtTheExhaustedIndexStops) {
  EXPECT_DEATH(
      {
        agent->table().syncedEntryIs(0xFFFFFFFF, Entry(nullptr, 1));
        agent->table().purgeStaleEntries();
      },
      "!isExhausted\\( hwIndex \\)");
}

}  // namespace
}  // namespace VelarL3Vfi::restart
