#pragma once
// Whether a place is safe to load plug-in code from.
//
// A plug-in runs with all the rights of the agent, so whoever can replace a
// plug-in file, or a directory on the way to it, can run code as the agent. A
// file or directory that its group or everybody may write is therefore no
// place for plug-ins: the loader refuses it (Loader.h). Only the permission
// bits are judged, not who asks: the answer is the same for root.
#include <string>

namespace Plugin {

// The reason a refused plug-in or directory is given.
inline constexpr const char* kWritableByOthers = "writable by group or others";

// True when `path` (after symbolic links: a link's own bits mean nothing) is
// writable by its group or by others. A path that cannot be examined, e.g.
// one that does not exist, is not judged here and yields false.
bool writableByOthers(const std::string& path);

}  // namespace Plugin
