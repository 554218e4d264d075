// Engine paths use backslashes; the file system here wants slashes.
#pragma once

#include <string.h>

enum { PosixPathCapacity = 1024 };

inline void toPosixPath(const char* path, char* out) {
  size_t i = 0;
  for (; path[i] != 0 && i < PosixPathCapacity - 1; i++) out[i] = path[i] == '\\' ? '/' : path[i];
  out[i] = 0;
}
