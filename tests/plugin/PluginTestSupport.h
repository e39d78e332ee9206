#pragma once
// What the plug-in loading tests share: the test plug-ins' paths, and scoped
// helpers for the search path and scratch directories.
#include "platform/Asic/AdaptorRegistry.h"
#include "platform/Plugin/Loader.h"
#include "platform/Plugin/internal/SearchPath.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace PluginTest {

inline const std::string kRoot = VELAR_TEST_PLUGIN_ROOT;
inline const std::string kDir = kRoot + "/AsicFeature/TestTable";
inline const std::string kRegisters = kDir + "/libplugin_registers.so";
inline const std::string kNothing = kDir + "/libplugin_nothing.so";
inline const std::string kBroken = kDir + "/libplugin_broken.so";

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

inline std::size_t occurrences(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) ++count;
  return count;
}

// A copy of the registering test plug-in (a file of its own, so opening it
// runs its initialiser again) with the given mode.
inline std::filesystem::path pluginCopy(const std::filesystem::path& file, unsigned mode) {
  std::filesystem::copy_file(kRegisters, file);
  std::filesystem::permissions(file, std::filesystem::perms(mode));
  return file;
}

inline std::size_t registrations() { return Asic::AdaptorRegistry::instance().registrations(); }

// What the registry says of a test plug-in: the test plug-ins register for a
// table type of their own, which no table library announces.
inline std::string unknownType(const std::string& plugin) {
  return "plug-in \"" + plugin +
         "\" registers an adaptor for table type \"TestTable\", which no loaded table library announced "
         "(announced: none)\n";
}

// How many of the registry's lines `err` holds: the made-up type, and a
// second adaptor for it when an earlier test of this process registered one.
inline std::size_t registryLines(const std::string& err) {
  return occurrences(err, "which no loaded table library announced") + occurrences(err, "two adaptors for table type");
}

// A loader with the adaptor registry as its probe.
struct ProbedLoader : Plugin::Loader<void> {
  explicit ProbedLoader(std::string name = "test") : Loader(std::move(name)) {
    registrationProbeIs([] { return Asic::AdaptorRegistry::instance().registrations(); });
  }
};

}  // namespace PluginTest
