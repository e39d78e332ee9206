#pragma once
// The agent that dvp-agent runs: the local DVP table on a simulated chip,
// started the way an agent process starts it, and the commands of a
// scenario carried out against it.
//
// Start (at construction and at every `restart`): the table library is
// found by name and its factory with dlsym, as an agent finds them; the
// table's hardware-table state is mounted, the chip's hardware table
// recovered (the chip file is opened, or created when missing), the table
// made by the factory, and the chip read back (syncEntries). The
// configuration replay stays open until `init-complete`.
//
// Stop (at destruction and before a restart's start): what a process that
// ends does to the chip, which is nothing. The table lets go of its adaptor
// first, so tearing it down and dropping the references that dependents hold
// never reaches the chip; the chip keeps every slot and every index user.
// Write responses still pending are lost with the process, as they would be.
//
// Output. Text trace lines, adaptor lines and `show` lines go to the same
// Output in the order they happen. Adaptor lines are made from the chip's
// call log: the log is drained before every trace line and after every step
// of a command, so an adaptor call prints before any trace line that followed
// it. A `chip confirm` line prints just before its write response is handed
// to the table; when one command confirms several writes of the same key
// (confirm KEY), their lines print together before the first.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "VelarL3Vfi/Audit.h"
#include "VelarL3Vfi/LocalDvpTable.h"
#include "plugins/simchip/SimChipControl.h"
#include "tools/dvp-agent/Output.h"
#include "tools/dvp-agent/Scenario.h"

namespace DvpAgent {

struct AgentOptions {
  std::string chip;                // the chip file (created when missing)
  std::uint32_t chipEntries = 0;   // the size of a new chip; 0: the chip's default
  bool hwIndexInHandle = false;    // the framework publishes hardware indices in handles
  bool adaptorLog = false;         // print adaptor calls from the start
  bool autoConfirm = false;        // the chip answers every write by itself
};

// The agent could not start: the table library or its factory is missing,
// no simulated-chip adaptor was loaded, or the chip file was refused.
class StartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Agent {
 public:
  // Starts the agent; throws StartError.
  Agent(AgentOptions options, Output& out);
  ~Agent();
  Agent(const Agent&) = delete;
  Agent& operator=(const Agent&) = delete;

  // Carries out one command, then the deferred work it caused (watchers, and
  // with auto-confirm the chip's answers). Returns false when an expectation
  // failed; the failure has been reported. May throw StartError (restart).
  bool run(const Command& command);

  // The lines `show` prints for the query. For a query narrowed to one key
  // the first line is the object's line, or "no OBJECT KEY".
  std::vector<std::string> show(const Query& query) const;

  // The chip checked against the table (VelarL3Vfi::audit).
  VelarL3Vfi::AuditReport audit() const;

  // Prints (with adaptor logging on) or drops the adaptor calls the chip has
  // logged since the last time.
  void drainAdaptorLog();

  VelarL3Vfi::LocalDvpTable& table() const;
  SimChip::Control& chip() const;
  bool adaptorLog() const noexcept { return adaptorLog_; }

 private:
  class Library;
  class TraceSink;
  struct Session;

  void start();
  void stop();
  void settle();
  void confirm(Key key);

  bool exec(const Cmd::NextHop& c, const Command& at);
  bool exec(const Cmd::Commit& c, const Command& at);
  bool exec(const Cmd::Remove& c, const Command& at);
  bool exec(const Cmd::RemoveAll& c, const Command& at);
  bool exec(const Cmd::Hold& c, const Command& at);
  bool exec(const Cmd::Release& c, const Command& at);
  bool exec(const Cmd::Confirm& c, const Command& at);
  bool exec(const Cmd::InitComplete& c, const Command& at);
  bool exec(const Cmd::Purge& c, const Command& at);
  bool exec(const Cmd::Restart& c, const Command& at);
  bool exec(const Cmd::Show& c, const Command& at);
  bool exec(const Cmd::Expect& c, const Command& at);
  bool exec(const Cmd::Trace& c, const Command& at);
  bool exec(const Cmd::LogAdaptor& c, const Command& at);
  bool exec(const Cmd::Echo& c, const Command& at);
  bool exec(const Cmd::Get& c, const Command& at);
  bool exec(const Cmd::Walk& c, const Command& at);
  bool exec(const Cmd::Call& c, const Command& at);
  bool exec(const Cmd::Audit& c, const Command& at);
  // Reports a generic-interface request that failed, like a failed expect.
  bool interfaceFailed(const Command& at, const std::string& why);

  std::optional<std::string> nextHopName(const Asic::SwTableBase::EntryHandle* handle) const;

  AgentOptions options_;
  Output& out_;
  bool adaptorLog_;
  std::unique_ptr<Library> library_;
  std::unique_ptr<TraceSink> traceSink_;
  std::unique_ptr<Session> session_;
};

}  // namespace DvpAgent
