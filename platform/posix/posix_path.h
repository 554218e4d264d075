// Engine paths use backslashes; the file system here wants slashes.
#pragma once

#include <stddef.h>
#include <string.h>

enum { PosixPathCapacity = 1024 };

// Set by a host that knows the archive's code page: rewrites the part of an engine
// path that comes from an entry name into the file system's encoding. False leaves
// the path as it is. Null: every path keeps its bytes.
typedef bool (*PosixNameConverter)(const char* path, char* out, size_t capacity);
extern PosixNameConverter posixNameConverter;

inline void toPosixPath(const char* path, char* out) {
  char converted[PosixPathCapacity];
  if (posixNameConverter != nullptr && posixNameConverter(path, converted, sizeof converted)) path = converted;
  size_t i = 0;
  for (; path[i] != 0 && i < PosixPathCapacity - 1; i++) out[i] = path[i] == '\\' ? '/' : path[i];
  out[i] = 0;
}
