#include "cli/replacement_file.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>

int createTemporaryBeside(const std::string& path, std::string* temporary) {
  size_t nameStart = path.rfind('/') + 1;  // 0 without a folder
  *temporary = path.substr(0, nameStart + std::min<size_t>(path.size() - nameStart, NAME_MAX - 7)) + ".XXXXXX";
  return mkstemp(&(*temporary)[0]);
}

mode_t replacementMode(const std::string& path) {
  struct stat replaced;
  if (stat(path.c_str(), &replaced) == 0) return replaced.st_mode & 0777;
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}
