// Plug-in loading: the search path, the loader and its reports, the feature
// plug-ins, the adaptor registry's refusal of a second adaptor, and the
// refusal of plug-ins and plug-in directories that group or others can write.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Plugin/Loader.h"
#include "platform/Plugin/internal/FeaturePlugins.h"
#include "platform/Plugin/internal/Permissions.h"
#include "platform/Plugin/internal/SearchPath.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using Plugin::searchPathFrom;

namespace fs = std::filesystem;

namespace {

const std::string kRoot = VELAR_TEST_PLUGIN_ROOT;
const std::string kDir = kRoot + "/AsicFeature/TestTable";
const std::string kRegisters = kDir + "/libplugin_registers.so";
const std::string kNothing = kDir + "/libplugin_nothing.so";
const std::string kBroken = kDir + "/libplugin_broken.so";

// Sets (or, with nullopt, unsets) VELAR_PLUGIN_PATH for a scope.
struct ScopedSearchPath {
  explicit ScopedSearchPath(const std::optional<std::string>& value) {
    if (const char* old = std::getenv(Plugin::kSearchPathVariable)) saved_ = old;
    set(value);
  }
  ~ScopedSearchPath() { set(saved_); }
  ScopedSearchPath(const ScopedSearchPath&) = delete;
  ScopedSearchPath& operator=(const ScopedSearchPath&) = delete;
  static void set(const std::optional<std::string>& value) {
    const char* name = Plugin::kSearchPathVariable;
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  std::optional<std::string> saved_;
};

// A scratch directory with mode 0755 whatever the umask (the loader refuses
// directories that group or others can write), removed at the end of the
// test. The process id keeps concurrent test runs apart.
struct TempDir {
  explicit TempDir(const std::string& name)
      : path(std::filesystem::path(::testing::TempDir()) /
             ("plugin_test_" + name + "_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    std::filesystem::permissions(path, std::filesystem::perms(0755));
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::filesystem::path path;
};

std::size_t occurrences(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) ++count;
  return count;
}

// A copy of the registering test plug-in (a file of its own, so opening it
// runs its initialiser again) with the given mode.
std::filesystem::path pluginCopy(const std::filesystem::path& file, unsigned mode) {
  std::filesystem::copy_file(kRegisters, file);
  std::filesystem::permissions(file, std::filesystem::perms(mode));
  return file;
}

std::size_t registrations() { return Asic::AdaptorRegistry::instance().registrations(); }

// What the registry says of a test plug-in: the test plug-ins register for a
// table type of their own, which no table library announces.
std::string unknownType(const std::string& plugin, const std::string& type = "TestTable") {
  return "plug-in \"" + plugin + "\" registers an adaptor for table type \"" + type +
         "\", which no loaded table library announced (announced: none)\n";
}

// How many of the registry's lines `err` holds: the made-up type, and a
// second adaptor for it when an earlier test of this process registered one.
std::size_t registryLines(const std::string& err) {
  return occurrences(err, "which no loaded table library announced") + occurrences(err, "two adaptors for table type");
}

// A loader with the adaptor registry as its probe.
struct ProbedLoader : Plugin::Loader<void> {
  explicit ProbedLoader(std::string name = "test") : Loader(std::move(name)) {
    registrationProbeIs([] { return Asic::AdaptorRegistry::instance().registrations(); });
  }
};

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
  Plugin::Loader<void> loader("AsicFeature/TestTable");

  CaptureStderr();
  // The adaptor registry becomes the probe: the plug-in that registers
  // nothing does not count as loaded.
  EXPECT_EQ(Plugin::loadFeaturePlugins("AsicFeature", "TestTable", loader), 1u);
  const std::string err = GetCapturedStderr();
  EXPECT_THAT(loader.loaded(), ElementsAre(kRegisters));
  EXPECT_EQ(occurrences(err, Plugin::refusalMessage(relative) + "\n"), 1u) << err;
  EXPECT_EQ(occurrences(err, "VELAR_PLUGIN_PATH entry \"" + missing + "\" skipped: no such directory\n"), 1u) << err;
  // Those two, a line for each of the two failures, and the registry's.
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
// refused, and both are named. Both register for a made-up table type that
// no other test registers.
TEST(PluginRegistry, ASecondAdaptorForATypeIsRefusedAndReported) {
  TempDir dir("twice");
  const fs::path first = pluginCopy(dir.path / "liba.so", 0755);
  const fs::path second = pluginCopy(dir.path / "libb.so", 0755);
  ProbedLoader loader("twice");

  ::setenv("VELAR_TEST_TABLE_TYPE", "TwiceTable", 1);
  CaptureStderr();
  EXPECT_EQ(loader.loadDirectory(dir.path.string()), 2u);
  const std::string err = GetCapturedStderr();
  ::unsetenv("VELAR_TEST_TABLE_TYPE");
  EXPECT_EQ(Asic::AdaptorRegistry::instance().adaptorPlugin("TwiceTable"), first.string());
  EXPECT_EQ(err, unknownType(first.string(), "TwiceTable") + unknownType(second.string(), "TwiceTable") +
                     "two adaptors for table type \"TwiceTable\": plug-in \"" + first.string() +
                     "\" is used, plug-in \"" + second.string() + "\" is ignored\n");
}

// --- Permissions: plug-ins and directories that group or others can write --

// The refusal's wording, as users read it.
const std::string kWritable = "writable by group or others";

void chmod(const fs::path& path, unsigned mode) { fs::permissions(path, fs::perms(mode)); }

std::string refusal(const std::string& loader, const std::string& what, const fs::path& path,
                    const std::string& reason) {
  return loader + ": refusing " + what + " \"" + path.string() + "\": " + reason + "\n";
}

TEST(PluginPermissions, WritablePluginIsRefusedWithoutBeingOpened) {
  TempDir dir("file");
  const fs::path file = pluginCopy(dir.path / "libwritable.so", 0775);
  const std::size_t before = registrations();
  ProbedLoader loader("perm");

  CaptureStderr();
  EXPECT_FALSE(loader.loadFile(file.string()));
  EXPECT_EQ(GetCapturedStderr(), refusal("perm", "plug-in", file, kWritable));
  EXPECT_EQ(registrations(), before);  // its initialiser never ran
  EXPECT_THAT(loader.loaded(), IsEmpty());
  ASSERT_EQ(loader.failures().size(), 1u);
  EXPECT_EQ(loader.failures()[0].path, file.string());
  EXPECT_EQ(loader.failures()[0].reason, Plugin::kWritableByOthers);

  // Like any failure it is tried once per loader; made safe, it loads.
  chmod(file, 0755);
  CaptureStderr();
  EXPECT_FALSE(loader.loadFile(file.string()));
  EXPECT_EQ(GetCapturedStderr(), "");
  ProbedLoader fresh;
  EXPECT_TRUE(fresh.loadFile(file.string()));
  EXPECT_EQ(registrations(), before + 1);
}

TEST(PluginPermissions, WritableDirectoryIsRefusedOnceAndCheckedOnEveryLoad) {
  TempDir dir("dir");
  pluginCopy(dir.path / "libp.so", 0755);
  chmod(dir.path, 0775);
  const std::size_t before = registrations();
  ProbedLoader loader("perm");

  CaptureStderr();
  EXPECT_EQ(loader.loadDirectory(dir.path.string()), 0u);
  EXPECT_EQ(loader.loadDirectory(dir.path.string()), 0u);
  EXPECT_EQ(GetCapturedStderr(), refusal("perm", "plug-in directory", dir.path, kWritable));
  EXPECT_EQ(registrations(), before);
  ASSERT_EQ(loader.failures().size(), 1u);
  EXPECT_EQ(loader.failures()[0].path, dir.path.string());

  // Nothing in it was tried, so once the directory is safe its plug-in loads.
  chmod(dir.path, 0755);
  EXPECT_EQ(loader.loadDirectory(dir.path.string()), 1u);
  EXPECT_EQ(registrations(), before + 1);
}

TEST(PluginPermissions, EveryDirectoryFromTheRootDownIsChecked) {
  TempDir root("root");
  const fs::path feature = root.path / "AsicFeature";
  const fs::path dir = feature / "TestTable";
  fs::create_directories(dir);
  for (const auto& d : {feature, dir}) chmod(d, 0755);
  pluginCopy(dir / "libp.so", 0755);
  // The refused root does not keep the next root's plug-ins from loading.
  ScopedSearchPath path(root.path.string() + ":" + kRoot);
  ProbedLoader().loadFile(kRegisters);  // its registration is not the one counted
  const std::size_t before = registrations();

  const std::vector<std::pair<fs::path, unsigned>> unsafe = {{root.path, 0757}, {feature, 0775}, {dir, 0777}};
  for (const auto& [offender, mode] : unsafe) {
    chmod(offender, mode);
    Plugin::Loader<void> loader("chain");
    CaptureStderr();
    EXPECT_EQ(Plugin::loadFeaturePlugins("AsicFeature", "TestTable", loader), 1u);
    const std::string err = GetCapturedStderr();
    const std::string reason = (offender == dir ? "" : "\"" + offender.string() + "\" is ") + kWritable;
    EXPECT_EQ(occurrences(err, refusal("chain", "plug-in directory", dir, reason)), 1u) << err;
    EXPECT_THAT(loader.loaded(), ElementsAre(kRegisters));
    chmod(offender, 0755);
  }
  EXPECT_EQ(registrations(), before);

  // A root without the feature's directory, writable or not, holds nothing to
  // load or refuse: no error.
  chmod(root.path, 0777);
  Plugin::Loader<void> other("other");
  CaptureStderr();
  EXPECT_EQ(Plugin::loadFeaturePlugins("AsicFeature", "NoSuchTable", other), 0u);
  EXPECT_EQ(GetCapturedStderr(), "");
  chmod(root.path, 0755);

  Plugin::Loader<void> loader("chain");
  CaptureStderr();
  EXPECT_EQ(Plugin::loadFeaturePlugins("AsicFeature", "TestTable", loader), 2u);
  GetCapturedStderr();
  EXPECT_EQ(loader.loaded().front(), (dir / "libp.so").string());
  EXPECT_EQ(registrations(), before + 1);
}

}  // namespace
