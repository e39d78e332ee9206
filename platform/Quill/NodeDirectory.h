#pragma once
// The node directory: how text refers to runtime nodes.
//
// A node gets a process-unique id the first time something asks for it
// (idOf), typically when a value holding a reference to the node is encoded
// as text ("@17"). Decoding resolves the id back to the node while it lives.
// A destroyed node leaves the directory, and its id is never handed out again,
// so a stale reference fails to resolve instead of naming another node.
// Every operation takes the directory's lock: in the runtime's thread-safe
// mode nodes may end, and so leave the directory, on any thread.
#include <cstddef>
#include <cstdint>

#include "platform/Quill/Node.h"

namespace Quill::NodeDirectory {

std::uint64_t idOf(const Node& node);
Node* find(std::uint64_t id) noexcept;
std::size_t size() noexcept;

// Called by the node destructor.
void forget(const Node& node) noexcept;

}  // namespace Quill::NodeDirectory
