#include <io.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "platform/platform.h"

// The system refuses to write a read-only file; asked first as well, so that the rule
// holds where the check is bypassed (an administrator's emulation layer).
FILE* platformOpenFile(const char* path, const char* mode) {
  if (strpbrk(mode, "wa+") != nullptr) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return nullptr;
  }
  return fopen(path, mode);
}

// Files the engine deletes are its own output; one it has already made read-only
// (an entry that failed its checksum) is made writable first.
bool platformDeleteFile(const char* path) {
  if (DeleteFileA(path)) return true;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
  SetFileAttributesA(path, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY);
  return DeleteFileA(path) != 0;
}

bool platformGetFileInfo(const char* path, bool* isDirectory) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  *isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

bool platformIsCharacterDevice(FILE* file) {
  HANDLE handle = (HANDLE)_get_osfhandle(_fileno(file));
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR;
}
