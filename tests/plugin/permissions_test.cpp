// Plug-ins and plug-in directories that group or others can write are refused.
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Plugin/Loader.h"
#include "platform/Plugin/internal/FeaturePlugins.h"
#include "platform/Plugin/internal/Permissions.h"
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

}  // namespace
