#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Plugin/Loader.h"
#include "platform/Plugin/internal/FeaturePlugins.h"
#include "platform/Plugin/internal/SearchPath.h"
#include "tests/plugin/PluginTestSupport.h"

#include <filesystem>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using Plugin::searchPathFrom;

namespace fs = std::filesystem;
using namespace PluginTest;

namespace {

// --- Search path ---------------------------------------------------------

TEST(PluginSearchPath, RelativeEntriesRefused) {
  auto path = searchPathFrom("plugins:/a:./x:../y:~/z:/b", "/default");
  EXPECT_THAT(path.roots, ElementsAre("/a", "/b"));
  EXPECT_THAT(path.refused, ElementsAre("plugins", "./x", "../y", "~/z"));
  EXPECT_THAT(Plugin::refusalMessage("./x"), StartsWith("VELAR_PLUGIN_PATH entry \"./x\" refused"));
}

TEST(PluginSearchPath, DefaultRootIsNextToPlatformLibrary) {
  // The build tree has the platform library in build/lib and the plug-ins in
  // build/lib/velar-plugins.
  ASSERT_FALSE(Plugin::defaultRoot().empty());
  EXPECT_EQ(fs::weakly_canonical(Plugin::defaultRoot()), fs::weakly_canonical(VELAR_PLUGIN_ROOT));
  ScopedSearchPath unset(std::nullopt);
  EXPECT_THAT(Plugin::searchPath().roots, ElementsAre(Plugin::defaultRoot()));
}

// --- Loader --------------------------------------------------------------

TEST(PluginLoader, LoadsGoodPluginAndReportsTheOthers) {
  const std::size_t before = registrations();
  ProbedLoader loader("AsicFeature/TestTable");
  CaptureStderr();
  EXPECT_EQ(loader.loadDirectory(kDir), 1u);
  const std::string err = GetCapturedStderr();
  // Registered now, unless an earlier test of this process loaded it.
  const std::size_t registered = registrations() - before;

  EXPECT_THAT(loader.loaded(), ElementsAre(kRegisters));
  EXPECT_NE(Asic::AdaptorRegistry::instance().adaptor("TestTable"), nullptr);
  // In name order, each with its path and the loader's own reason.
  ASSERT_EQ(loader.failures().size(), 2u);
  EXPECT_EQ(loader.failures()[0].path, kBroken);
  EXPECT_THAT(loader.failures()[0].reason, HasSubstr("undefined symbol: velarMissingSymbol"));
  EXPECT_EQ(loader.failures()[1].path, kNothing);
  EXPECT_EQ(loader.failures()[1].reason, "registered nothing");

  // One line each on standard error, and the registry's for the made-up type.
  EXPECT_EQ(occurrences(err, unknownType(kRegisters)), registered) << err;
  EXPECT_EQ(occurrences(err, "\n"), 2u + registryLines(err)) << err;
  const auto broken =
      "AsicFeature/TestTable: plug-in \"" + kBroken + "\" failed to load: " + loader.failures()[0].reason;
  EXPECT_EQ(occurrences(err, broken + "\n"), 1u) << err;
  EXPECT_EQ(occurrences(err, "plug-in \"" + kNothing + "\" registered nothing\n"), 1u) << err;
}

TEST(PluginLoader, EachFileTriedOncePerLoader) {
  ProbedLoader loader;
  CaptureStderr();
  loader.loadDirectory(kDir);
  GetCapturedStderr();

  CaptureStderr();
  EXPECT_EQ(loader.loadDirectory(kDir), 0u);
  EXPECT_EQ(loader.loadDirectory(kDir + "/"), 0u);
  EXPECT_FALSE(loader.loadFile(kRegisters));
  EXPECT_FALSE(loader.loadFile(kDir + "/../TestTable/libplugin_broken.so"));
  // Failures are not reported again either.
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_THAT(loader.loaded(), ElementsAre(kRegisters));
  EXPECT_EQ(loader.failures().size(), 2u);

  // Nor is a plug-in reached through a symbolic link loaded twice.
  TempDir alias("alias");
  fs::create_symlink(kRegisters, alias.path / "libalias.so");
  CaptureStderr();
  EXPECT_EQ(loader.loadDirectory(alias.path.string()), 0u);
  EXPECT_EQ(GetCapturedStderr(), "");
}

// --- Feature plug-ins ------------------------------------------------------

TEST(PluginFeature, LoadsFromEveryRootAndReportsRefusedAndMissingEntriesOnce) {
  // Reports are remembered for the whole process: fresh entries per run.
  static int run = 0;
  const std::string relative = "feature-relative-root-" + std::to_string(++run);
  const std::string missing = "/nonexistent-velar-root-" + std::to_string(run);
  ScopedSearchPath path(relative + "::" + missing + ":" + kRoot);
  const std::size_t before = registrations();
  Plugin::Loader<void> loader("AsicFeature/TestTable");

  CaptureStderr();
  EXPECT_EQ(Plugin::loadFeaturePlugins("AsicFeature", "TestTable", loader), 1u);
  const std::string err = GetCapturedStderr();
  const std::size_t registered = registrations() - before;
  EXPECT_THAT(loader.loaded(), ElementsAre(kRegisters));
  // The adaptor registry became the probe, so the empty plug-in is caught.
  EXPECT_EQ(loader.failures().size(), 2u);
  EXPECT_THAT(err, HasSubstr("registered nothing"));
  EXPECT_EQ(occurrences(err, Plugin::refusalMessage(relative) + "\n"), 1u) << err;
  EXPECT_EQ(occurrences(err, "VELAR_PLUGIN_PATH entry \"" + missing + "\" skipped: no such directory\n"), 1u) << err;
  EXPECT_EQ(occurrences(err, unknownType(kRegisters)), registered) << err;
  EXPECT_EQ(occurrences(err, "\n"), 4u + registryLines(err)) << err;

  CaptureStderr();
  EXPECT_EQ(Plugin::loadFeaturePlugins("AsicFeature", "TestTable", loader), 0u);
  Plugin::Loader<void> other("other");
  EXPECT_EQ(Plugin::loadFeaturePlugins("AsicFeature", "TestTable", other), 1u);
  const std::string again = GetCapturedStderr();
  EXPECT_THAT(again, Not(HasSubstr(relative)));
  EXPECT_THAT(again, Not(HasSubstr(missing)));
  EXPECT_EQ(occurrences(again, "\n"), 2u) << again;  // other's two failures
}

// A table type has one adaptor, the first registered: the later plug-in is
// refused, and both are named. Both register for a made-up table type.
TEST(PluginRegistry, ASecondAdaptorForATypeIsRefusedAndReported) {
  TempDir dir("twice");
  const fs::path first = pluginCopy(dir.path / "liba.so", 0755);
  const fs::path second = pluginCopy(dir.path / "libb.so", 0755);
  auto& registry = Asic::AdaptorRegistry::instance();
  registry.adaptorDel("TestTable");
  ProbedLoader loader("twice");

  CaptureStderr();
  EXPECT_EQ(loader.loadDirectory(dir.path.string()), 2u);
  const std::string err = GetCapturedStderr();
  EXPECT_EQ(registry.adaptorPlugin("TestTable"), first.string());
  EXPECT_EQ(err, unknownType(first.string()) + unknownType(second.string()) +
                     "two adaptors for table type \"TestTable\": plug-in \"" + first.string() +
                     "\" is used, plug-in \"" + second.string() + "\" is ignored\n");
}

TEST(PluginFeature, MissingFeatureDirectoryIsNoError) {
  ScopedSearchPath path(kRoot);
  Plugin::Loader<void> loader("missing");
  CaptureStderr();
  EXPECT_EQ(Plugin::loadFeaturePlugins("AsicFeature", "NoSuchTable", loader), 0u);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_THAT(loader.failures(), IsEmpty());
}

}  // namespace
