#include "platform/DmaMem/Manager.h"

#include <optional>
#include <string>

namespace dmamem_lib {

namespace {
struct AgentName {
  bool set = false;
  std::optional<std::string> value;
};
AgentName& state() {
  static AgentName instance;
  return instance;
}
}  // namespace

const char* Manager::agentName() noexcept {
  const auto& s = state();
  return s.value ? s.value->c_str() : nullptr;
}

bool Manager::agentNameSet() noexcept { return state().set; }

bool Manager::agentNameIs(const char* name) {
  auto& s = state();
  if (s.set) return false;
  s.set = true;
  if (name != nullptr) s.value = name;
  return true;
}

}  // namespace dmamem_lib
