#pragma once
// Loading plug-ins with dlopen.
//
// A loader is a named object that loads plug-ins (shared objects) one file or
// one directory at a time and remembers what became of each:
//
//   Plugin::Loader<void> loader("AsicFeature/LocalDvpTable");
//   loader.registrationProbeIs([] { return Asic::AdaptorRegistry::instance().registrations(); });
//   loader.loadDirectory("/usr/lib/velar-plugins/AsicFeature/LocalDvpTable");
//
// A plug-in does its work from its static initialisers, which run when it is
// opened (RTLD_NOW | RTLD_LOCAL: every symbol is bound at once, so a missing
// one fails the load instead of crashing later; the plug-in's own symbols stay
// out of the global namespace). With a registration probe set, a plug-in that
// opens but leaves the probe's count unchanged "registered nothing": it is
// reported as a failure and closed again. A plug-in that registered something
// is never closed, since the tables using its code may live until exit.
//
// Each file is tried at most once per loader, by canonical path: loading a
// directory again only tries the files that appeared since, and a plug-in
// reached through a symbolic link is not opened twice. A plug-in that another
// loader of this process already loaded (and kept) counts as loaded without
// being opened again, its registrations were made the first time.
//
// Nothing is loaded from a place that group or others can write
// (Permissions.h): a plug-in file (judged after symbolic links, together with
// the directory that really holds it), a directory of plug-ins, and, with
// loadDirectoryWithin, the plug-in root and every directory between it and
// the plug-ins. Such a plug-in or directory is refused, a failure like any
// other, e.g.
//   AsicFeature/TestTable: refusing plug-in "/x/y.so": writable by group or others
// and nothing in it is opened.
//
// Every failure is written to standard error once, as one line naming the
// path and the reason, and is kept in failures(); the other plug-ins still
// load. Loaders are meant to run at start-up, from one thread: the probe
// cannot tell registrations made by another thread meanwhile.
//
// While a plug-in's initialisers run, loadingPlugin() names its file, so that
// what it registers can be reported under that name (AdaptorRegistry.h).
#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace Plugin {

// The plug-in file that this thread is opening now, as it was given to the
// loader; empty outside a load (a registration made by the program itself).
const std::string& loadingPlugin() noexcept;

// Loader<void> loads plug-ins that register themselves; a loader for another
// Interface would look up an entry point of that type in each plug-in.
template <class Interface>
class Loader;

template <>
class Loader<void> {
 public:
  struct Failure {
    std::string path;    // as it was given (directory + file name)
    std::string reason;  // dlerror() text, "registered nothing", or why it was refused
  };

  explicit Loader(std::string name);
  ~Loader();
  Loader(const Loader&) = delete;
  Loader& operator=(const Loader&) = delete;

  const std::string& name() const noexcept { return name_; }

  // Loads every regular file named *.so in `dir` (symbolic links to such files
  // included), in name order; returns how many loaded now. A directory that
  // does not exist holds no plug-ins; one that cannot be read is a failure,
  // and so is one that group or others can write (reported once; it is
  // checked again on every call).
  std::size_t loadDirectory(const std::string& dir);
  // loadDirectory(root/relative), after checking the plug-in root and every
  // directory from it down to root/relative as loadDirectory checks its own.
  std::size_t loadDirectoryWithin(const std::string& root, const std::string& relative);
  // Loads one plug-in; true when this call loaded it, false when it failed or
  // was tried before by this loader.
  bool loadFile(const std::string& path);

  // The plug-ins loaded so far, in load order.
  const std::vector<std::string>& loaded() const noexcept { return loaded_; }
  const std::vector<Failure>& failures() const noexcept { return failures_; }

  // Counts registrations; compared around each load. Empty: no check.
  void registrationProbeIs(std::function<std::size_t()> probe) { probe_ = std::move(probe); }
  const std::function<std::size_t()>& registrationProbe() const noexcept { return probe_; }

 private:
  // Keeps a failure and writes `line` to standard error.
  void failureIs(const std::string& path, std::string reason, const std::string& line);
  // False, with the refusal reported (once per directory), when group or
  // others can write `offender`, which is `dir` itself or a directory above it.
  bool directoryAccepted(const std::string& dir, const std::string& offender);

  std::string name_;
  std::function<std::size_t()> probe_;
  std::set<std::string> tried_;  // canonical paths
  std::set<std::string> refusedDirectories_;  // as given, reported already
  std::vector<std::string> loaded_;
  std::vector<Failure> failures_;
};

}  // namespace Plugin
