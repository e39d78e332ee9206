// Loading the table library the way an agent does: the initialiser, the
// adaptor loader, plug-in discovery (a broken plug-in among good ones), the
// factory, and the agent's name from the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "VelarL3Vfi/Library.h"
#include "platform/DmaMem/Manager.h"
#include "simchip/SimChipControl.h"

namespace {

// Runs `body` in a fresh process (the test program re-executed) whose
// environment has `name` set to `value`, so that the library initialiser
// runs again under it. The body exits 0 on success.
template <class Body>
void inFreshProcess(const char* name, const char* value, Body body, const std::string& stderrMatch = "") {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* old = std::getenv(name);
  const std::string saved = old ? old : "";
  value ? setenv(name, value, 1) : unsetenv(name);
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), stderrMatch);
  old ? setenv(name, saved.c_str(), 1) : unsetenv(name);
  GTEST_FLAG_SET(death_test_style, "fast");
}

TEST(AgentLoad, FactoryGivesTheTableTheSimulatedChipFromTheRootTheAgentNames) {
  EXPECT_EQ(VelarL3Vfi::loadAdaptorPlugins(VELAR_SIMCHIP_ROOT), 1u);
  auto table = VelarL3Vfi::localDvpTableFactory();
  auto* chip = dynamic_cast<SimChip::Control*>(table->util());
  ASSERT_NE(chip, nullptr);
  EXPECT_EQ(table->minIndex(), 0u);
  EXPECT_EQ(table->maxIndex(), chip->entries() - 1);
  EXPECT_EQ(table->useCount(), 1u);
}

// No plug-in root at all, or the default root, which holds no simulator.
TEST(AgentLoad, WithoutPluginsTheTableWorksWithoutAdaptor) {
  for (const char* path : {"", static_cast<const char*>(nullptr)}) {
    inFreshProcess("VELAR_PLUGIN_PATH", path, [] {
      auto table = VelarL3Vfi::localDvpTableFactory();
      bool ok = table->util() == nullptr && table->minIndex() == 0 && table->maxIndex() == 0xFFFFFFFF;
      std::exit(ok ? 0 : 1);
    });
  }
}

TEST(AgentLoad, ABrokenPluginIsReportedAndTheOthersStillLoad) {
  const std::string path = std::string(VELAR_BROKEN_PLUGIN_ROOT) + ":" + VELAR_SIMCHIP_ROOT;
  inFreshProcess(
      "VELAR_PLUGIN_PATH", path.c_str(),
      [] { std::exit(dynamic_cast<SimChip::Control*>(VelarL3Vfi::localDvpTableFactory()->util()) ? 0 : 1); },
      "libbroken_adaptor.so\" failed to load: .*velarAdaptorMissingSymbol");
}

TEST(AgentLoad, AgentNameComesFromTheEnvironmentOnce) {
  inFreshProcess("AGENT_PROCESS_NAME", "dvp-agent-7", [] {
    bool ok = std::string(dmamem_lib::Manager::agentName()) == "dvp-agent-7" &&
              !dmamem_lib::Manager::agentNameIs("other") &&
              std::string(dmamem_lib::Manager::agentName()) == "dvp-agent-7";
    std::exit(ok ? 0 : 1);
  });
  inFreshProcess("AGENT_PROCESS_NAME", nullptr, [] {
    std::exit(dmamem_lib::Manager::agentNameSet() && dmamem_lib::Manager::agentName() == nullptr ? 0 : 1);
  });
}

}  // namespace
