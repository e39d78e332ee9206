#pragma once
// The agent's system database, as far as software tables use it: mount groups
// collect what a process mounts, and an entity manager keeps the entities a
// recovery places in the database. Both keep a readable record so that tests
// and tools can show what was mounted and recovered.
#include <string>
#include <vector>

#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"
#include "platform/Quill/String.h"

namespace Ledger {

class MountGroup : public Quill::Node {
 public:
  struct Mount {
    std::string what;  // e.g. "hwTableMountInfo", "hwTableRecoveryStatus"
    std::string type;  // the type the state belongs to
    std::string name;  // the instance name (empty for a table's class-level state)
  };

  static Quill::Ptr<MountGroup> MountGroupIs(Quill::String name);

  const Quill::String& name() const noexcept { return name_; }
  void mountIs(Mount mount) { mounts_.push_back(std::move(mount)); }
  const std::vector<Mount>& mounts() const noexcept { return mounts_; }

 private:
  explicit MountGroup(Quill::String name) : name_(std::move(name)) {}
  ~MountGroup() override { nodeFlagSet(kFlagLive, false); }

  Quill::String name_;
  std::vector<Mount> mounts_;
};

class EntityManager : public Quill::Node {
 public:
  static Quill::Ptr<EntityManager> EntityManagerIs(Quill::String name);

  const Quill::String& name() const noexcept { return name_; }
  // Paths of the entities placed in the database, in order.
  void entityIs(std::string path) { entities_.push_back(std::move(path)); }
  const std::vector<std::string>& entities() const noexcept { return entities_; }

 private:
  explicit EntityManager(Quill::String name) : name_(std::move(name)) {}
  ~EntityManager() override { nodeFlagSet(kFlagLive, false); }

  Quill::String name_;
  std::vector<std::string> entities_;
};

}  // namespace Ledger
