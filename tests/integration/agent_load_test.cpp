// Loading the table library the way an agent does: the initialiser, the
// adaptor loader, plug-in discovery, the factory and the mounts.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "VelarL3Vfi/Library.h"
#include "VelarL3Vfi/TypeModule.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/DmaMem/Manager.h"
#include "platform/Kiv/Exceptions.h"
#include "simchip/SimChipControl.h"

namespace {

using VelarL3Vfi::LocalDvpTable;

SimChip::Control* chipOf(const Quill::Ptr<LocalDvpTable>& table) {
  return dynamic_cast<SimChip::Control*>(table->util());
}

// Runs `body` in a fresh process (the test program re-executed) whose
// environment has `name` set to `value`, so that the library initialiser
// runs again under it. The body exits 0 on success.
template <class Body>
void inFreshProcess(const char* name, const char* value, Body body, const std::string& stderrMatch = "") {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const char* old = std::getenv(name);
  std::string saved = old ? old : "";
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), stderrMatch);
  if (old) {
    setenv(name, saved.c_str(), 1);
  } else {
    unsetenv(name);
  }
  GTEST_FLAG_SET(death_test_style, "fast");
}

TEST(AgentLoad, FactoryGivesTheTableTheSimulatedChipFromTheDefaultPluginRoot) {
  auto table = VelarL3Vfi::localDvpTableFactory();
  ASSERT_NE(table->util(), nullptr);
  auto* chip = chipOf(table);
  ASSERT_NE(chip, nullptr);
  EXPECT_EQ(table->minIndex(), 0u);
  EXPECT_EQ(table->maxIndex(), chip->entries() - 1);
  EXPECT_EQ(table->useCount(), 1u);
}

TEST(AgentLoad, FactoryFoundWithDlsymMakesATable) {
  void* library = dlopen(VELAR_TABLE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Factory = Quill::Ptr<LocalDvpTable> (*)();
  auto factory = reinterpret_cast<Factory>(dlsym(library, "_ZN10VelarL3Vfi20localDvpTableFactoryEv"));
  ASSERT_NE(factory, nullptr) << dlerror();
  auto live = LocalDvpTable::memAllocationTracker_.live();
  {
    auto table = factory();
    EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), live + 1);
    EXPECT_NE(chipOf(table), nullptr);
  }
  EXPECT_EQ(LocalDvpTable::memAllocationTracker_.live(), live);
  dlclose(library);
}

TEST(AgentLoad, WithoutPluginsTheTableWorksWithoutAdaptor) {
  inFreshProcess("VELAR_PLUGIN_PATH", "", [] {
    auto table = VelarL3Vfi::localDvpTableFactory();
    bool ok = table->util() == nullptr && table->minIndex() == 0 && table->maxIndex() == 0xFFFFFFFF;
    std::exit(ok ? 0 : 1);
  });
}

TEST(AgentLoad, ABrokenPluginIsReportedAndTheOthersStillLoad) {
  const std::string path = std::string(VELAR_BROKEN_PLUGIN_ROOT) + ":" + VELAR_PLUGIN_ROOT;
  inFreshProcess(
      "VELAR_PLUGIN_PATH", path.c_str(),
      [] {
        auto table = VelarL3Vfi::localDvpTableFactory();
        std::exit(chipOf(table) != nullptr ? 0 : 1);
      },
      "libbroken_adaptor.so\" failed to load: .*velarAdaptorMissingSymbol");
}

TEST(AgentLoad, RelativePluginDirectoriesAreRefused) {
  inFreshProcess(
      "VELAR_PLUGIN_PATH", "plugins",
      [] { std::exit(VelarL3Vfi::localDvpTableFactory()->util() == nullptr ? 0 : 1); },
      "VELAR_PLUGIN_PATH entry \"plugins\" refused");
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

TEST(AgentLoad, TheAdaptorLoaderIsOneSingletonPerProcess) {
  using Loader = VelarL3Vfi::LocalDvpTableUtilLoader;
  const auto& loader = VelarL3Vfi::utilLoader();
  ASSERT_TRUE(loader);
  EXPECT_EQ(Kiv::Entity::singletonExists("VelarL3Vfi::LocalDvpTable::UtilLoader"), loader);
  EXPECT_EQ(loader->prefixPath().str(), "AsicFeature");
  EXPECT_EQ(loader->suffixPath().str(), "VelarL3Vfi::LocalDvpTable");
  EXPECT_EQ(loader->fwkType().str(), "VelarL3Vfi::LocalDvpTable::UtilLoader");
  auto live = Loader::memAllocationTracker_.live();
  EXPECT_EQ(Adjunct::Core::Loader::Singleton::instantiate<Loader>(), loader);
  EXPECT_EQ(Loader::memAllocationTracker_.live(), live);
  EXPECT_EQ(Quill::ModuleInspectData::findType("VelarL3Vfi::LocalDvpTable::UtilLoader")->index, 4u);
}

TEST(AgentLoad, CreatingTheLoaderGenericallyRefusesArguments) {
  using Loader = VelarL3Vfi::LocalDvpTableUtilLoader;
  const auto& type = VelarL3Vfi::typeData(VelarL3Vfi::kUtilLoaderType);
  auto live = Loader::memAllocationTracker_.live();
  int args = 0;
  EXPECT_THROW(type.create("x", &args), Kiv::NewEntityArgsException);
  EXPECT_EQ(Loader::memAllocationTracker_.live(), live);
  auto made = type.create("x", nullptr);
  ASSERT_TRUE(made);
  EXPECT_EQ(Loader::memAllocationTracker_.live(), live + 1);
}

TEST(AgentLoad, MountsNameTheAdaptorTypeAndRecoveryTheTableType) {
  auto mg = Ledger::MountGroup::MountGroupIs("agent");
  LocalDvpTable::doMountHwTableMountInfo(mg);
  LocalDvpTable::doMountHwTableRecoveryStatus(mg);
  ASSERT_EQ(mg->mounts().size(), 2u);
  EXPECT_EQ(mg->mounts()[0].what, "hwTableMountInfo");
  EXPECT_EQ(mg->mounts()[0].type, "VelarL3Vfi::LocalDvpTable::Util");
  EXPECT_EQ(mg->mounts()[1].what, "hwTableRecoveryStatus");
  EXPECT_EQ(mg->mounts()[1].name, "");

  auto file = std::filesystem::temp_directory_path() / ("mount-" + std::to_string(getpid()) + ".chip");
  auto rg = Asic::HwTableRecoverGroup::HwTableRecoverGroupIs("recover");
  auto em = Ledger::EntityManager::EntityManagerIs("ledger");
  LocalDvpTable::doRecoverHwTable(rg, 0, em, Asic::ChipInfo{0, file.string(), 1024});
  ASSERT_EQ(rg->recoveries().size(), 1u);
  EXPECT_EQ(rg->recoveries()[0].tableType, "VelarL3Vfi::LocalDvpTable");
  ASSERT_TRUE(rg->recoveries()[0].hwTable);
  EXPECT_EQ(em->entities().size(), 1u);

  auto table = VelarL3Vfi::localDvpTableFactory();
  EXPECT_EQ(table->hwTable(), rg->recoveries()[0].hwTable.get());
  EXPECT_EQ(chipOf(table)->entries(), 1024u);
  EXPECT_EQ(chipOf(table)->location(), file.string());
  table = nullptr;
  Asic::AdaptorRegistry::instance().hwTableIs("VelarL3Vfi::LocalDvpTable", nullptr);
  std::filesystem::remove(file);
}

}  // namespace
