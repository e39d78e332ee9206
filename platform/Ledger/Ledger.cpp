#include "platform/Ledger/Ledger.h"

namespace Ledger {

Quill::Ptr<MountGroup> MountGroup::MountGroupIs(Quill::String name) {
  return Quill::Ptr<MountGroup>(new MountGroup(std::move(name)));
}

Quill::Ptr<EntityManager> EntityManager::EntityManagerIs(Quill::String name) {
  return Quill::Ptr<EntityManager>(new EntityManager(std::move(name)));
}

}  // namespace Ledger
