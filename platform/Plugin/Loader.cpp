#include "platform/Plugin/Loader.h"

#include "platform/Plugin/internal/Permissions.h"
#include "platform/Trace/TraceHandle.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

namespace Plugin {

namespace fs = std::filesystem;

namespace {

Trace::Handle& trace() {
  static Trace::Handle handle("Plugin::Loader");
  return handle;
}

// Plug-ins some loader of this process opened and kept, by canonical path.
// Their static initialisers ran once; opening them again would not run them
// again, so another loader takes them as loaded.
struct Resident {
  std::mutex mutex;
  std::set<std::string> paths;
};

Resident& resident() {
  static auto* instance = new Resident;  // never destroyed: plug-ins are never unloaded
  return *instance;
}

bool isResident(const std::string& file) {
  auto& r = resident();
  std::lock_guard lock(r.mutex);
  return r.paths.contains(file);
}

void residentIs(const std::string& file) {
  auto& r = resident();
  std::lock_guard lock(r.mutex);
  r.paths.insert(file);
}

// The key a file is tried under: absolute, with symbolic links and ".." resolved.
std::string canonicalFile(const std::string& path) {
  std::error_code ec;
  fs::path file = fs::absolute(path, ec);
  if (ec) {
    return path;
  }
  auto canonical = fs::weakly_canonical(file, ec);
  return (ec ? file.lexically_normal() : canonical).string();
}

thread_local const std::string* loading = nullptr;

// Names the plug-in being opened for the scope of the dlopen.
class LoadingScope {
 public:
  explicit LoadingScope(const std::string& path) : previous_(loading) { loading = &path; }
  ~LoadingScope() { loading = previous_; }
  LoadingScope(const LoadingScope&) = delete;
  LoadingScope& operator=(const LoadingScope&) = delete;

 private:
  const std::string* previous_;
};

bool isPluginName(const std::string& name) { return name.size() > 3 && name.ends_with(".so"); }

// Why the plug-in whose canonical path is `file` must not be opened, or "":
// the file itself, or the directory that really holds it (which may not be
// the directory it was found in, when it was reached through a link), is
// writable by group or others.
std::string fileRefusal(const std::string& file) {
  if (writableByOthers(file)) {
    return kWritableByOthers;
  }
  const std::string dir = fs::path(file).parent_path().string();
  if (writableByOthers(dir)) {
    return "its directory \"" + dir + "\" is " + kWritableByOthers;
  }
  return {};
}

}  // namespace

const std::string& loadingPlugin() noexcept {
  static const std::string none;
  return loading != nullptr ? *loading : none;
}

Loader<void>::Loader(std::string name) : name_(std::move(name)) {}

// The plug-ins stay loaded: only the lists go.
Loader<void>::~Loader() = default;

void Loader<void>::failureIs(const std::string& path, std::string reason, const std::string& line) {
  const std::string text = name_ + ": " + line + "\n";
  std::fputs(text.c_str(), stderr);
  failures_.push_back({path, std::move(reason)});
}

bool Loader<void>::loadFile(const std::string& path) {
  const std::string file = canonicalFile(path);
  if (!tried_.insert(file).second) {
    QTRACE(trace(), 8, name_ << ": " << path << " tried before");
    return false;
  }
  if (const std::string refusal = fileRefusal(file); !refusal.empty()) {
    failureIs(path, refusal, "refusing plug-in \"" + path + "\": " + refusal);
    return false;
  }
  if (isResident(file)) {
    QTRACE(trace(), 5, name_ << ": " << path << " already loaded by another loader");
    loaded_.push_back(path);
    return true;
  }

  const std::size_t before = probe_ ? probe_() : 0;
  dlerror();
  void* handle = nullptr;
  {
    const LoadingScope scope(path);
    handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr) {
    const char* error = dlerror();
    std::string reason = error != nullptr ? error : "dlopen failed";
    failureIs(path, reason, "plug-in \"" + path + "\" failed to load: " + reason);
    return false;
  }
  if (probe_ && probe_() == before) {
    // Nothing refers to its code: it can go.
    dlclose(handle);
    failureIs(path, "registered nothing", "plug-in \"" + path + "\" registered nothing");
    return false;
  }
  // The handle is dropped on purpose: the plug-in stays until the process ends.
  residentIs(file);
  loaded_.push_back(path);
  QTRACE(trace(), 5, name_ << ": loaded " << path);
  return true;
}

bool Loader<void>::directoryAccepted(const std::string& dir, const std::string& offender) {
  if (!writableByOthers(offender)) {
    return true;
  }
  if (refusedDirectories_.insert(dir + '\0' + offender).second) {
    const std::string reason =
        offender == dir ? std::string(kWritableByOthers) : "\"" + offender + "\" is " + kWritableByOthers;
    failureIs(dir, reason, "refusing plug-in directory \"" + dir + "\": " + reason);
  }
  return false;
}

std::size_t Loader<void>::loadDirectory(const std::string& dir) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec == std::errc::no_such_file_or_directory) {
    QTRACE(trace(), 8, name_ << ": no directory " << dir);
    return 0;
  }
  if (!ec && !directoryAccepted(dir, dir)) {
    return 0;
  }
  std::vector<std::string> names;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string fileName = it->path().filename().string();
    std::error_code typeError;
    if (isPluginName(fileName) && it->is_regular_file(typeError)) {
      names.push_back(std::move(fileName));
    }
  }
  if (ec) {
    failureIs(dir, ec.message(), "plug-in directory \"" + dir + "\" cannot be read: " + ec.message());
    return 0;
  }
  std::sort(names.begin(), names.end());

  std::size_t count = 0;
  for (const auto& fileName : names) {
    count += loadFile((fs::path(dir) / fileName).string()) ? 1 : 0;
  }
  return count;
}

std::size_t Loader<void>::loadDirectoryWithin(const std::string& root, const std::string& relative) {
  const fs::path dir = fs::path(root) / fs::path(relative).lexically_normal();
  std::error_code ec;
  if (!fs::exists(dir, ec) && !ec) {
    // A root without this directory simply has no such plug-ins.
    QTRACE(trace(), 8, name_ << ": no directory " << dir.string());
    return 0;
  }
  // From the root down; loadDirectory checks `dir` itself.
  fs::path step(root);
  for (const auto& part : fs::path(relative).lexically_normal()) {
    if (!directoryAccepted(dir.string(), step.string())) {
      return 0;
    }
    step /= part;
  }
  return loadDirectory(dir.string());
}

}  // namespace Plugin
