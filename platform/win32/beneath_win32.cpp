#include "platform/win32/beneath_win32.h"

#include <string.h>
#include <windows.h>

#include "platform/platform.h"

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

int checkFoldersBeneath(const char* root, const char* path) {
  size_t rootLength = strlen(root);
  if (rootLength == 0 || !isSeparator(root[rootLength - 1]) || strncmp(path, root, rootLength) != 0)
    return PlatformDirectoryMade;
  char folder[MAX_PATH + 1];
  size_t length = strlen(path);
  if (length > MAX_PATH) return PlatformOtherFailure;
  memcpy(folder, path, length + 1);
  for (size_t i = rootLength; i < length; i++) {
    if (!isSeparator(folder[i])) continue;
    folder[i] = 0;
    DWORD attributes = GetFileAttributesA(folder);
    folder[i] = '\\';
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PlatformPathNotFound
                                                                            : PlatformOtherFailure;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return PlatformOtherFailure;
  }
  return PlatformDirectoryMade;
}
