// logchip-agent: a small agent to try an adaptor plug-in with. It loads the
// table library (linked), whose initialiser loads the adaptor plug-ins of
// VELAR_PLUGIN_PATH; runs a first start that commits two entries and removes
// one, then a restart that commits the other again; and checks every call
// the logchip adaptor traced. Change the expected lines when you change the
// adaptor.
//
//   VELAR_PLUGIN_PATH=$PWD/build/velar-plugins build/logchip-agent
#include <cstdio>
#include <string>
#include <vector>

#include "VelarL3Vfi/AgentSession.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Trace/TraceSink.h"
#include "simulation/NeededEntryTable.h"

namespace {

using Entry = VelarL3Vfi::LocalDvpTableEntry;

int failure(const std::string& what) {
  std::fprintf(stderr, "logchip-agent: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main() {
  if (Asic::AdaptorRegistry::instance().adaptor(VelarL3Vfi::kLocalDvpTableTypeName) == nullptr) {
    return failure("no adaptor plug-in was loaded (is VELAR_PLUGIN_PATH the plug-in root?)");
  }

  Trace::CaptureSink trace;  // the adaptor's lines, here instead of on standard error
  // The next hops the entries depend on: entries of another table, made here.
  auto nextHops = Asic::NeededEntryTable::NeededEntryTableIs("nexthop");
  nextHops->readyIs(1, 70);  // next hop 1 is programmed at hardware index 70
  {
    // Mount, recover the chip (the adaptor's recoverHwTable), make the table
    // (its makeUtil) and read the chip back (syncEntries).
    VelarL3Vfi::AgentSession session(Asic::ChipInfo{0, "", 0});
    session.table().entryCommit(5, Entry(nextHops->handleIs(1), 3));
    session.table().entryCommit(6, Entry(nextHops->handleIs(1), 4));
    session.initComplete();          // the replay is over: purge what nobody committed
    session.table().entryRemove(6);  // the delete dance, confirmed inside the write
  }  // the agent stops: the chip keeps its entries
  {
    VelarL3Vfi::AgentSession restarted(Asic::ChipInfo{0, "", 0});
    restarted.table().entryCommit(5, Entry(nextHops->handleIs(1), 3));  // as on the chip: not written
    restarted.initComplete();
  }

  const std::vector<std::string> expected = {
      "LogChip : sync -> 0 entries",
      "LogChip : tracker key=5 op=0",
      "LogChip : write key=5 group=3 nextHop=70",
      "LogChip : tracker key=6 op=0",
      "LogChip : write key=6 group=4 nextHop=70",
      "LogChip : tracker key=6 op=3",
      "LogChip : write key=6 absent",
      "LogChip : tracker key=6 op=4",
      "LogChip : delete key=6",
      "LogChip : sync -> 1 entries",
      "LogChip : compare key=5 -> match",
  };
  if (trace.lines() == expected) return 0;
  std::string seen;
  for (const auto& line : trace.lines()) seen += "\n  " + line;
  return failure("unexpected adaptor calls:" + seen);
}
