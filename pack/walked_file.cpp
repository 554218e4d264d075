#include "pack/walked_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the open file lies below folder. Where /proc is not there to say, the walk's
// own checks stand alone.
bool openedWithin(int fd, const std::string& folder) {
  char link[64], path[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t length = readlink(link, path, sizeof path);
  if (length < 0) return errno == ENOENT;
  return (size_t)length < sizeof path && isWithinFolder(std::string(path, (size_t)length), folder);
}

}  // namespace

FILE* openWalkedFile(const InputEntry& input) {
  int fd = open(input.sourcePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat now;
  bool same = fstat(fd, &now) == 0 && S_ISREG(now.st_mode) &&
              (input.inode == 0 || (now.st_dev == input.device && now.st_ino == input.inode)) &&
              (input.within.empty() || openedWithin(fd, input.within));
  FILE* file = same ? fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    close(fd);
    errno = 0;
  }
  return file;
}
