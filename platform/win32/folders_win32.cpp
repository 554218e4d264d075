#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/beneath_win32.h"

int platformMakeDirectory(const char* root, const char* path) {
  int folders = checkFoldersBeneath(root, path);
  if (folders != PlatformDirectoryMade) return folders;
  if (CreateDirectoryA(path, nullptr)) return PlatformDirectoryMade;
  DWORD error = GetLastError();
  if (error == ERROR_PATH_NOT_FOUND) return PlatformPathNotFound;
  // Only a folder is one already there: a file, or a junction or link in its place
  // (refused below the destination anyway), leaves it missing.
  if (error == ERROR_ALREADY_EXISTS &&
      (GetFileAttributesA(path) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY)
    return PlatformAlreadyExists;
  return PlatformOtherFailure;
}

void platformSetDirectoryAttributes(const char* path, uint32_t attributes) {
  SetFileAttributesA(path, attributes);
}

struct FolderScan {
  HANDLE search;
  WIN32_FIND_DATAA found;
  bool pending;  // found holds an entry not yet handed out
};

FolderScan* platformOpenFolder(const char* folder) {
  char pattern[MAX_PATH + 8];
  size_t length = strlen(folder);
  if (length > MAX_PATH) return nullptr;
  memcpy(pattern, folder, length);
  memcpy(pattern + length, "\\*.*", 5);
  FolderScan* scan = (FolderScan*)malloc(sizeof(FolderScan));
  if (scan == nullptr) return nullptr;
  scan->search = FindFirstFileA(pattern, &scan->found);
  if (scan->search == INVALID_HANDLE_VALUE) {
    free(scan);
    return nullptr;
  }
  scan->pending = true;
  return scan;
}

const char* platformReadFolder(FolderScan* scan) {
  if (!scan->pending && !FindNextFileA(scan->search, &scan->found)) return nullptr;
  scan->pending = false;
  return scan->found.cFileName;
}

void platformCloseFolder(FolderScan* scan) {
  FindClose(scan->search);
  free(scan);
}

bool platformChangeDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }
