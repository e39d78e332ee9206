#pragma once
// The DMA-memory manager's process-wide agent name. The first library of the
// process that sets it wins; later attempts leave it unchanged.
namespace dmamem_lib {

class Manager {
 public:
  // Null until set (or when it was set to null).
  static const char* agentName() noexcept;
  static bool agentNameSet() noexcept;
  // Sets the name unless it was set before; returns whether it did. The text
  // is copied.
  static bool agentNameIs(const char* name);
};

}  // namespace dmamem_lib
