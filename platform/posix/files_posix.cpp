#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "platform/posix/posix_path.h"

// A file without any write permission is read-only. The process may run as root, for
// which the system grants write access regardless, so the mode bits are checked here.
static bool isReadOnlyFile(const char* native) {
  struct stat info;
  return stat(native, &info) == 0 && S_ISREG(info.st_mode) &&
         (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

FILE* platformOpenFile(const char* path, const char* mode) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  bool writes = strpbrk(mode, "wa+") != nullptr;
  if (writes && isReadOnlyFile(native)) {
    errno = EACCES;
    return nullptr;
  }
  return fopen(native, mode);
}

bool platformDeleteFile(const char* path) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  return remove(native) == 0;
}

bool platformGetFileInfo(const char* path, bool* isDirectory) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  struct stat info;
  if (stat(native, &info) != 0) return false;
  *isDirectory = S_ISDIR(info.st_mode);
  return true;
}

bool platformIsCharacterDevice(FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISCHR(info.st_mode);
}
