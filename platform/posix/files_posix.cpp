#include <stdio.h>
#include <string.h>

#include "platform/platform.h"
#include "platform/posix/posix_path.h"

FILE* platformOpenFile(const char* path, const char* mode) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  return fopen(native, mode);
}

bool platformDeleteFile(const char* path) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  return remove(native) == 0;
}

#include <sys/stat.h>

bool platformGetFileInfo(const char* path, bool* isDirectory) {
  char native[PosixPathCapacity];
  toPosixPath(path, native);
  struct stat info;
  if (stat(native, &info) != 0) return false;
  *isDirectory = S_ISDIR(info.st_mode);
  return true;
}
