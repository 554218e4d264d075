#include <stdio.h>
#include <windows.h>

#include "platform/platform.h"

FILE* platformOpenFile(const char* path, const char* mode) { return fopen(path, mode); }

bool platformDeleteFile(const char* path) { return DeleteFileA(path) != 0; }

bool platformGetFileInfo(const char* path, bool* isDirectory) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  *isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}
