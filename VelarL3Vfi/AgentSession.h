#pragma once
// The agent's start (and restart) sequence for the local DVP table on one
// chip, as one object:
//
//   AgentSession session(Asic::ChipInfo{unit, chipFile, entries});
//     // mounts the table's hardware-table state, recovers the hardware
//     // table from the chip, creates the table through the factory and
//     // reads the chip back (syncEntries); the configuration replay is open
//   session.table().entryCommit(...);   // replay the configuration
//   session.initComplete();             // doInitComplete, then purgeStaleEntries
//
// After a restart the replay reconciles every committed entry with the
// chip's copy: unchanged entries are not written, changed ones are
// rewritten, new ones written, and the entries nobody committed again are
// deleted by the purge, never before.
//
// Ending a session is an agent stopping: the chip keeps what it holds, as it
// does when an agent process exits or is killed. (A table torn down with its
// adaptor attached would delete its entries from the hardware.)
#include "VelarL3Vfi/Library.h"
#include "VelarL3Vfi/LocalDvpTable.h"
#include "platform/Asic/HwTableRecoverGroup.h"
#include "platform/Ledger/Ledger.h"

namespace VelarL3Vfi {

class AgentSession {
 public:
  using Factory = Quill::Ptr<LocalDvpTable> (*)();

  // `factory` is how the table is made: the library's factory, or the same
  // function as an agent finds it with dlsym.
  explicit AgentSession(const Asic::ChipInfo& chip, Factory factory = &localDvpTableFactory);
  ~AgentSession();
  AgentSession(const AgentSession&) = delete;
  AgentSession& operator=(const AgentSession&) = delete;

  LocalDvpTable& table() const noexcept { return *table_; }
  const Quill::Ptr<LocalDvpTable>& tablePtr() const noexcept { return table_; }

  // Ends the configuration replay: init completion, then the stale purge.
  void initComplete();
  bool replaying() const noexcept { return !table_->configReplayComplete(); }

  // What the start mounted and recovered.
  const Quill::Ptr<Ledger::MountGroup>& mountGroup() const noexcept { return mountGroup_; }
  const Quill::Ptr<Asic::HwTableRecoverGroup>& recoverGroup() const noexcept { return recoverGroup_; }
  const Quill::Ptr<Ledger::EntityManager>& entityManager() const noexcept { return entityManager_; }

 private:
  Quill::Ptr<Ledger::MountGroup> mountGroup_;
  Quill::Ptr<Asic::HwTableRecoverGroup> recoverGroup_;
  Quill::Ptr<Ledger::EntityManager> entityManager_;
  Quill::Ptr<LocalDvpTable> table_;
};

}  // namespace VelarL3Vfi
