#pragma once
// Runs model-checked command sequences on the agent of dvp-agent, in-process:
// the local DVP table on a simulated chip file, the next-hop table its entries
// depend on, the references dependents hold, restarts on the same chip file.
//
// After every command the harness compares what the agent shows (the lines of
// `show hw|entry|handle|tracker KEY`, `show stats`, `show nexthop NAME`) with
// the lines the model expects, and checks the invariants that hold whatever
// the model says:
//   - the chip reports the tracker faults the model counts (a commit
//     between init completion and the stale purge of a key the chip still
//     holds from before the restart makes one), no other; every allocated slot has its one index user, except
//     the leftovers the model names;
//   - no hardware value is deleted or written empty while a dependent holds
//     the key's handle and has its hardware index from it (a handle without
//     an index points at nothing: a reference taken during the replay to a
//     key nobody commits again, whose old copy the purge deletes);
//   - after teardown no handle, waiting entry, table or queue slot is left;
//   - entryHas, entry(key) and the entry iteration agree with each other and
//     with the model; iteration visits each key once;
//   - the write responses the chip holds are the model's;
//   - no committed entry waits for a next hop that is usable;
//   - the audit finds what the model predicts (expectedAudit).
// Once no write response is pending: every pending-entry queue is empty, no
// slot is written empty and no resolved slot is without value, and the chip
// holds exactly the table's resolved values, plus the hardware copies that a
// purge has still to settle, plus the model's named leftovers.
//
// A sequence prints as scenario text (dvpLine, scenarioText) that
// `dvp-agent run` parses and runs; `expect` lines carry the model's lines.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/model/Model.h"
#include "tests/support/Support.h"
#include "tools/dvp-agent/Agent.h"
#include "tools/dvp-agent/Output.h"

namespace VelarModel {

// The command as a line of the scenario language.
std::string dvpLine(const DvpAgent::Action& action);

// The lines the agent must show for the model's state, as (query, line)
// pairs: every key's hw, entry, handle and tracker lines, the stats line and
// every next hop's line.
struct ExpectedLine {
  DvpAgent::Query query;
  std::string line;
};
std::vector<ExpectedLine> expectedLines(const Model& model);
// `expect` lines that check them (tracker lines of keys outside the chip are
// left out: the language has no key for them).
std::vector<std::string> expectLines(const Model& model);

// A scenario: a comment header, the commands, and the model's expectations
// after the last one.
std::string scenarioText(const std::vector<std::string>& header, const std::vector<std::string>& commands,
                         const std::vector<std::string>& expectations);

class Harness {
 public:
  // An agent on a new chip file of `chipEntries` entries at `chipFile`.
  Harness(std::string chipFile, std::uint32_t chipEntries, bool hwIndexInHandle = false);
  ~Harness();
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  // Runs one command; false when the agent reported a failure of it.
  bool run(const DvpAgent::Action& action);

  // What differs between the agent and the model after a command (`before`
  // is the model before it), and which invariant is broken; empty when all
  // holds.
  std::vector<std::string> check(const Model& before, const Model& after);

  // Stops the agent and checks that every record the table made is gone.
  std::vector<std::string> stop();

  DvpAgent::Agent& agent() { return *agent_; }

 private:
  std::vector<std::string> outcome(const Model& model);

  std::string chipFile_;
  DvpAgent::CapturedOutput out_;
  std::unique_ptr<DvpAgent::Agent> agent_;
  int line_ = 0;
  VelarTest::LeakCheck leaks_;
};

}  // namespace VelarModel
