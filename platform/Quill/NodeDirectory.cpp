#include "platform/Quill/NodeDirectory.h"

#include <mutex>

#include <boost/unordered/unordered_flat_map.hpp>

namespace Quill::NodeDirectory {

namespace {
// In the thread-safe mode a node may end on any thread, and its destructor
// withdraws it from here: the directory has its own lock.
struct Directory {
  std::mutex mutex;
  boost::unordered_flat_map<std::uint64_t, const Node*> byId;
  boost::unordered_flat_map<const Node*, std::uint64_t> byNode;
  std::uint64_t nextId = 1;
};

Directory& directory() {
  static Directory instance;
  return instance;
}
}  // namespace

std::uint64_t idOf(const Node& node) {
  auto& d = directory();
  std::lock_guard lock(d.mutex);
  if (node.nodeFlag(Node::kFlagInDirectory)) return d.byNode.at(&node);
  auto id = d.nextId++;
  d.byId.emplace(id, &node);
  d.byNode.emplace(&node, id);
  const_cast<Node&>(node).nodeFlagSet(Node::kFlagInDirectory, true);
  return id;
}

Node* find(std::uint64_t id) noexcept {
  auto& d = directory();
  std::lock_guard lock(d.mutex);
  auto it = d.byId.find(id);
  return it == d.byId.end() ? nullptr : const_cast<Node*>(it->second);
}

std::size_t size() noexcept {
  auto& d = directory();
  std::lock_guard lock(d.mutex);
  return d.byId.size();
}

void forget(const Node& node) noexcept {
  auto& d = directory();
  std::lock_guard lock(d.mutex);
  auto it = d.byNode.find(&node);
  if (it == d.byNode.end()) return;
  d.byId.erase(it->second);
  d.byNode.erase(it);
}

}  // namespace Quill::NodeDirectory
