#include "platform/Plugin/internal/SearchPath.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace Plugin {

namespace {

// dladdr's anchor. Internal, so its address is always inside this library (an
// exported function's address may be a stub in the executable that calls it).
void anchor() {}

}  // namespace

SearchPath searchPathFrom(std::optional<std::string_view> envValue, std::string_view defaultRoot) {
  SearchPath path;
  if (!envValue) {
    if (!defaultRoot.empty()) {
      path.roots.emplace_back(defaultRoot);
    }
    return path;
  }
  std::string_view rest = *envValue;
  while (true) {
    const auto colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    if (entry.empty()) {
      // ignored
    } else if (entry.front() != '/') {
      path.refused.emplace_back(entry);
    } else if (std::find(path.roots.begin(), path.roots.end(), entry) == path.roots.end()) {
      path.roots.emplace_back(entry);
    }
    if (colon == std::string_view::npos) {
      break;
    }
    rest.remove_prefix(colon + 1);
  }
  return path;
}

std::string defaultRoot() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&anchor), &info) == 0 || info.dli_fname == nullptr ||
      *info.dli_fname == '\0') {
    return {};
  }
  std::error_code ec;
  auto library = std::filesystem::absolute(info.dli_fname, ec);
  if (ec) {
    return {};
  }
  return (library.parent_path() / "velar-plugins").string();
}

SearchPath searchPath() {
  const char* value = std::getenv(kSearchPathVariable);
  if (value == nullptr) return searchPathFrom(std::nullopt, defaultRoot());
  SearchPath path = searchPathFrom(value, {});
  std::erase_if(path.roots, [&](const std::string& root) {
    std::error_code ec;
    if (std::filesystem::exists(root, ec) || ec) return false;
    path.missing.push_back(root);
    return true;
  });
  return path;
}

std::string refusalMessage(std::string_view entry) {
  std::string text(kSearchPathVariable);
  text.append(" entry \"").append(entry).append("\" refused: plug-in directories must be absolute paths");
  return text;
}

std::string missingMessage(std::string_view entry) {
  std::string text(kSearchPathVariable);
  text.append(" entry \"").append(entry).append("\" skipped: no such directory");
  return text;
}

}  // namespace Plugin
