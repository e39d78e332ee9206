// Plug-ins and plug-in directories that group or others can write are refused.
#include "platform/Plugin/Permissions.h"
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Plugin/FeaturePlugins.h"
#include "platform/Plugin/Loader.h"
#include "tests/plugin/PluginTestSupport.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using Plugin::writableByOthers;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using namespace PluginTest;

namespace fs = std::filesystem;

namespace {

std::size_t registrations() { return Asic::AdaptorRegistry::instance().registrations(); }

// A copy of the registering test plug-in (a file of its own, so opening it
// would run its initialiser again) with the given mode.
fs::path pluginCopy(const fs::path& file, unsigned mode) {
  fs::copy_file(kRegisters, file);
  fs::permissions(file, fs::perms(mode));
  return file;
}

void chmod(const fs::path& path, unsigned mode) { fs::permissions(path, fs::perms(mode)); }

std::string refusal(const std::string& loader, const std::string& what, const fs::path& path,
                    const std::string& reason) {
  return loader + ": refusing " + what + " \"" + path.string() + "\": " + reason + "\n";
}

TEST(PluginPermissions, GroupOrWorldWriteBitMakesAPathUnsafe) {
  TempDir dir("modes");
  const fs::path file = dir.path / "file";
  std::ofstream(file).put('x');
  for (unsigned mode : {0644u, 0755u, 0600u, 0444u, 0700u}) {
    chmod(file, mode);
    EXPECT_FALSE(writableByOthers(file.string())) << std::oct << mode;
  }
  for (unsigned mode : {0664u, 0646u, 0666u, 0620u, 0602u, 0775u}) {
    chmod(file, mode);
    EXPECT_TRUE(writableByOthers(file.string())) << std::oct << mode;
  }
  // Directories alike; the sticky bit does not make a shared directory safe.
  const fs::path sub = dir.path / "sub";
  fs::create_directory(sub);
  for (unsigned mode : {0755u, 0700u, 0555u}) {
    chmod(sub, mode);
    EXPECT_FALSE(writableByOthers(sub.string())) << std::oct << mode;
  }
  for (unsigned mode : {0775u, 0757u, 01777u}) {
    chmod(sub, mode);
    EXPECT_TRUE(writableByOthers(sub.string())) << std::oct << mode;
  }
  // A link is judged by its target; what cannot be examined is not judged.
  fs::create_symlink(file, dir.path / "link");
  chmod(file, 0644);
  EXPECT_FALSE(writableByOthers((dir.path / "link").string()));
  chmod(file, 0666);
  EXPECT_TRUE(writableByOthers((dir.path / "link").string()));
  EXPECT_FALSE(writableByOthers((dir.path / "missing").string()));
}

TEST(PluginPermissions, WritablePluginIsRefusedWithoutBeingOpened) {
  TempDir dir("file");
  const fs::path file = pluginCopy(dir.path / "libwritable.so", 0775);
  const std::size_t before = registrations();
  ProbedLoader loader("perm");

  CaptureStderr();
  EXPECT_FALSE(loader.loadFile(file.string()));
  EXPECT_EQ(GetCapturedStderr(), refusal("perm", "plug-in", file, "writable by group or others"));
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

TEST(PluginPermissions, LinkedPluginIsJudgedWhereItReallyLives) {
  TempDir safe("link_safe");
  TempDir shared("link_shared");
  // A safe file in a directory anybody can write: it could be replaced.
  pluginCopy(shared.path / "libreal.so", 0755);
  chmod(shared.path, 01777);
  fs::create_symlink(shared.path / "libreal.so", safe.path / "liba.so");
  // A writable file behind a link whose own bits say nothing.
  pluginCopy(safe.path / "target.bin", 0666);
  fs::create_symlink(safe.path / "target.bin", safe.path / "libb.so");
  const std::size_t before = registrations();

  ProbedLoader loader("perm");
  CaptureStderr();
  EXPECT_EQ(loader.loadDirectory(safe.path.string()), 0u);
  EXPECT_EQ(GetCapturedStderr(),
            refusal("perm", "plug-in", safe.path / "liba.so",
                    "its directory \"" + shared.path.string() + "\" is writable by group or others") +
                refusal("perm", "plug-in", safe.path / "libb.so", "writable by group or others"));
  EXPECT_EQ(registrations(), before);
  EXPECT_EQ(loader.failures().size(), 2u);
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
  EXPECT_EQ(GetCapturedStderr(),
            refusal("perm", "plug-in directory", dir.path, "writable by group or others"));
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
  chmod(feature, 0755);
  chmod(dir, 0755);
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
    const std::string reason = offender == dir
                                   ? std::string("writable by group or others")
                                   : "\"" + offender.string() + "\" is writable by group or others";
    EXPECT_EQ(occurrences(err, refusal("chain", "plug-in directory", dir, reason)), 1u) << err;
    EXPECT_THAT(loader.loaded(), ElementsAre(kRegisters));
    chmod(offender, 0755);
  }
  EXPECT_EQ(registrations(), before);

  // A writable root without the feature's directory holds nothing to refuse.
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

// The build lays plug-ins out with permissions the loader accepts, whatever
// the umask: every directory and file of both plug-in roots of the build tree.
TEST(PluginPermissions, BuildTreePluginsAreAccepted) {
  for (const std::string& root : {std::string(VELAR_PLUGIN_ROOT), kRoot}) {
    EXPECT_FALSE(writableByOthers(root)) << root;
    std::size_t plugins = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      EXPECT_FALSE(writableByOthers(entry.path().string())) << entry.path();
      plugins += entry.path().extension() == ".so" ? 1 : 0;
    }
    EXPECT_GT(plugins, 0u) << root;
  }
}

}  // namespace
