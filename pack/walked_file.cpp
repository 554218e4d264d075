#include "pack/walked_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* openWalkedFile(const InputEntry& input) {
  int fd = open(input.sourcePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat now;
  bool same = fstat(fd, &now) == 0 && S_ISREG(now.st_mode) &&
              (input.inode == 0 || (now.st_dev == input.device && now.st_ino == input.inode));
  FILE* file = same ? fdopen(fd, "rb") : nullptr;
  if (file == nullptr) {
    close(fd);
    errno = 0;
  }
  return file;
}
