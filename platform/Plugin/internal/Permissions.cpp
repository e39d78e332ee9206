#include "platform/Plugin/internal/Permissions.h"

#include <sys/stat.h>

namespace Plugin {

bool writableByOthers(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return false;
  }
  return (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace Plugin
