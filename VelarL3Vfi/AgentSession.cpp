#include "VelarL3Vfi/AgentSession.h"

#include "VelarL3Vfi/Library.h"
#include "VelarL3Vfi/TypeModule.h"
#include "platform/Asic/AdaptorRegistry.h"

namespace VelarL3Vfi {

AgentSession::AgentSession(const Asic::ChipInfo& chip, Factory factory)
    : mountGroup_(Ledger::MountGroup::MountGroupIs("agent")),
      recoverGroup_(Asic::HwTableRecoverGroup::HwTableRecoverGroupIs("agent")),
      entityManager_(Ledger::EntityManager::EntityManagerIs("agent")) {
  LocalDvpTable::doMountHwTableMountInfo(mountGroup_);
  LocalDvpTable::doMountHwTableRecoveryStatus(mountGroup_);
  LocalDvpTable::doRecoverHwTable(recoverGroup_, chip.unit, entityManager_, chip);
  table_ = factory();
  if (table_->hwTable() != nullptr) table_->syncEntries();
}

AgentSession::~AgentSession() {
  // The agent stops: nothing more reaches the chip.
  table_->utilIs(nullptr);
  table_ = nullptr;
  Asic::AdaptorRegistry::instance().hwTableIs(typeData(kLocalDvpTableType).name, nullptr);
}

void AgentSession::initComplete() {
  table_->doInitComplete();
  table_->purgeStaleEntries();
}

}  // namespace VelarL3Vfi
