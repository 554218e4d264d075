#include "platform/win32/beneath_win32.h"

#include <string.h>
#include <windows.h>

#include "platform/platform.h"

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The folders below the destination on the way to the latest output, each opened itself
// (never through a link), checked by its handle and held open without delete sharing:
// while held, none of them can be renamed, removed or replaced by a link, so the folder
// checked is the folder written into. A path in the same folders reuses them, which
// also spares a lookup per folder and file.
enum { HeldDepth = 64 };
struct HeldFolders {
  char path[MAX_PATH + 1];  // the deepest held folder's path, as it was given
  size_t ends[HeldDepth];   // length of the prefix of path naming each held folder
  HANDLE handles[HeldDepth];
  int count;
};
static HeldFolders held;

static void releaseFrom(int depth) {
  while (held.count > depth) CloseHandle(held.handles[--held.count]);
}

void platformReleaseFolders() { releaseFrom(0); }

// Opens the folder named by the first `end` bytes of path and holds it: 0, or the
// platform result that refuses it.
static int holdFolder(const char* path, size_t end) {
  char folder[MAX_PATH + 1];
  memcpy(folder, path, end);
  folder[end] = 0;
  // Opened for listing: a handle with no data access would not count in the sharing
  // checks that keep others from renaming or removing the folder.
  HANDLE handle = CreateFileA(folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PlatformPathNotFound
                                                                          : PlatformOtherFailure;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(handle);
    return PlatformOtherFailure;
  }
  if (held.count == HeldDepth) {  // deeper than any real path: checked, not held
    CloseHandle(handle);
    return 0;
  }
  held.handles[held.count] = handle;
  held.ends[held.count++] = end;
  memcpy(held.path, folder, end + 1);
  return 0;
}

int checkFoldersBeneath(const char* root, const char* path) {
  size_t rootLength = strlen(root);
  if (rootLength == 0 || !isSeparator(root[rootLength - 1]) || strncmp(path, root, rootLength) != 0)
    return PlatformDirectoryMade;
  size_t length = strlen(path);
  if (length > MAX_PATH) return PlatformOtherFailure;
  int depth = 0;
  for (size_t i = rootLength; i < length; i++) {
    if (!isSeparator(path[i])) continue;
    // A folder held already, by the same name below the same folders, stays held.
    if (depth < held.count && held.ends[depth] == i && strncmp(held.path, path, i) == 0) {
      depth++;
      continue;
    }
    releaseFrom(depth);
    int result = holdFolder(path, i);
    if (result != 0) return result;
    depth++;
  }
  return PlatformDirectoryMade;
}
