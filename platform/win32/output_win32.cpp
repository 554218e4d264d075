// Output files: written under a temporary name in the target's folder and moved over
// the target once verified. The temporary file stays open from its creation to its
// move, shared for reading only: nobody can rename, replace or delete it meanwhile, and
// its time is set and it is moved through that handle rather than found again by name
// (each lookup by name is a round of work for the system, and for an installer of many
// small files those rounds are most of its time).
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/beneath_win32.h"
#include "platform/win32/file_time_win32.h"
#include "platform/win32/kernel_function.h"

// The output being written; temporary is empty when there is none.
struct Win32Output {
  char target[MAX_PATH + 1];
  char temporary[MAX_PATH + 1];
};

static Win32Output output;
static unsigned temporaryCounter;

// Opens whatever is at path itself, a reparse point included, without following it.
static HANDLE openExisting(const char* path) {
  return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

static bool sameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// What lies at the target already decides whether it may be replaced.
static int checkTarget(const char* path, FILE* archive) {
  HANDLE target = openExisting(path);
  if (target == INVALID_HANDLE_VALUE) return PlatformOutputOpened;
  int result = PlatformOutputOpened;
  if (GetFileType(target) == FILE_TYPE_CHAR) {
    result = PlatformOutputCharacterDevice;
  } else if (archive != nullptr && sameFile(target, (HANDLE)_get_osfhandle(_fileno(archive)))) {
    result = PlatformOutputIsArchive;
  } else {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
      result = PlatformOutputRefused;
  }
  CloseHandle(target);
  return result;
}

// The move through a handle, where the system has it (not before Windows Vista).
typedef BOOL(WINAPI* SetInformationCall)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
static SetInformationCall setInformationByHandle() {
  static SetInformationCall bound;
  static bool looked;
  if (!looked) {
    bound = kernelFunction<SetInformationCall>("SetFileInformationByHandle");
    looked = true;
  }
  return bound;
}

// A fresh name in path's folder that nothing holds yet.
static HANDLE createTemporary(const char* path, int* result) {
  const char* end = path + strlen(path);
  while (end > path && end[-1] != '\\' && end[-1] != '/') end--;
  size_t folderLength = (size_t)(end - path);
  *result = PlatformOutputRefused;
  if (folderLength + 12 > MAX_PATH - 1) return INVALID_HANDLE_VALUE;
  // Where the file cannot be moved through its handle, it is moved by name while still
  // open, which its sharing must then allow.
  DWORD sharing = setInformationByHandle() != nullptr ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_DELETE;
  for (int attempt = 0; attempt < 100; attempt++) {
    unsigned tag = (GetCurrentProcessId() * 2654435761u + GetTickCount() + temporaryCounter++) & 0xFFFFFF;
    memcpy(output.temporary, path, folderLength);
    snprintf(output.temporary + folderLength, sizeof output.temporary - folderLength, "lv%06x.tmp", tag);
    HANDLE file = CreateFileA(output.temporary, GENERIC_READ | GENERIC_WRITE | DELETE, sharing, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      *result = PlatformOutputOpened;
      return file;
    }
    DWORD error = GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) *result = PlatformOutputPathNotFound;
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  output.temporary[0] = 0;
  return INVALID_HANDLE_VALUE;
}

FILE* platformCreateOutput(const char* root, const char* path, FILE* archive, int* result) {
  platformDiscardOutput();
  if (strlen(path) > MAX_PATH) {
    *result = PlatformOutputRefused;
    return nullptr;
  }
  *result = checkFoldersBeneath(root, path);
  if (*result != PlatformDirectoryMade) {
    if (*result != PlatformPathNotFound) *result = PlatformOutputRefused;
    return nullptr;
  }
  *result = checkTarget(path, archive);
  if (*result != PlatformOutputOpened) return nullptr;
  HANDLE handle = createTemporary(path, result);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  int fd = _open_osfhandle((intptr_t)handle, _O_RDWR | _O_BINARY);
  FILE* file = fd >= 0 ? _fdopen(fd, "w+b") : nullptr;
  if (file == nullptr) {
    if (fd >= 0)
      _close(fd);
    else
      CloseHandle(handle);
    platformDiscardOutput();
    *result = PlatformOutputRefused;
    return nullptr;
  }
  strcpy(output.target, path);
  return file;
}

const char* platformOutputTemporary() { return output.temporary; }

// Moves the file open as handle to the target; the name is converted as the system's
// ANSI calls convert it.
static bool renameThroughHandle(SetInformationCall setInformation, HANDLE handle) {
  static union {
    FILE_RENAME_INFO info;
    char room[sizeof(FILE_RENAME_INFO) + (MAX_PATH + 1) * sizeof(WCHAR)];
  } rename;
  int length = MultiByteToWideChar(CP_ACP, 0, output.target, -1, rename.info.FileName, MAX_PATH + 1);
  if (length <= 1) return false;
  rename.info.ReplaceIfExists = TRUE;
  rename.info.RootDirectory = nullptr;
  rename.info.FileNameLength = (DWORD)((length - 1) * sizeof(WCHAR));
  return setInformation(handle, FileRenameInfo, &rename, sizeof rename) != 0;
}

bool platformCommitOutput(FILE* file, uint32_t dosTime, bool readOnly) {
  if (output.temporary[0] == 0) return false;
  fflush(file);  // no write may follow the time
  HANDLE handle = (HANDLE)_get_osfhandle(_fileno(file));
  FILETIME when;
  if (dosTimeToFileTime(dosTime, &when)) SetFileTime(handle, nullptr, &when, &when);
  // Attributes alone may be set by name while the file is open.
  if (readOnly) platformSetReadOnly(output.temporary, true);
  SetInformationCall setInformation = setInformationByHandle();
  bool moved = setInformation != nullptr
                   ? renameThroughHandle(setInformation, handle)
                   : MoveFileExA(output.temporary, output.target, MOVEFILE_REPLACE_EXISTING) != 0;
  if (moved) output.temporary[0] = 0;
  return moved;
}

void platformDiscardOutput() {
  if (output.temporary[0] == 0) return;
  platformDeleteFile(output.temporary);
  output.temporary[0] = 0;
}
