// The audit of a full table: every key committed, written to the simulated
// chip and confirmed, then the audit compares every slot, its index users and
// the table's resolved value and handle state. The time is one audit.
#include <benchmark/benchmark.h>

#include "VelarL3Vfi/Audit.h"
#include "bench/MemoryChip.h"
#include "plugins/simchip/SimChipUtil.h"

namespace bench {
namespace {

void auditProgrammed(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nextHop");
  nextHops->readyIs(1, 7);
  Entry::HandlePtr nextHop(nextHops->handleIs(1));
  Quill::Ptr<LocalDvpTable> table(new LocalDvpTable());
  auto* chip = new SimChip::Util(SimChip::Chip::anonymous(n), table.get());
  table->utilIs(Quill::Ptr<Asic::SwTable::Util>(chip));
  table->hwTableIs(Quill::Ptr<Asic::HwTable>(new Asic::HwTable("simchip", 0)));
  table->configReplayCompleteIs(true);
  table->writeResponseSmIs(table.get());
  for (std::uint32_t k = 0; k < n; ++k) {
    table->entryCommit(k, Entry(nextHop, static_cast<std::uint8_t>(k % 4)));
    if (k % 65536 == 0) chip->callLogClear();
  }
  chip->deliverAll();
  chip->callLogClear();

  VelarL3Vfi::AuditReport report;
  for (auto _ : state) {
    report = VelarL3Vfi::audit(*table, *chip);
    benchmark::DoNotOptimize(report);
  }
  state.counters["checked"] = static_cast<double>(report.checked);
  state.counters["inflight"] = static_cast<double>(report.inflight);
  state.counters["findings"] = static_cast<double>(report.findings.size());
  reportPerKey(state, n);
  detach(table);
}
BENCHMARK(auditProgrammed)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace bench
