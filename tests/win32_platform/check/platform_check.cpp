// Checks the Windows file-system layer on a real Windows API (run under Wine by the
// native test run). Prints every failed check; the exit code is the number of them.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "archive/reader.h"
#include "extract/names.h"
#include "extract/output_files.h"
#include "extract/session.h"
#include "platform/platform.h"

static int failures = 0;

static void check(bool condition, const char* what) {
  if (condition) return;
  printf("FAILED: %s\n", what);
  failures++;
}

static DWORD attributesOf(const char* path) { return GetFileAttributesA(path); }

static bool writeText(const char* path, const char* text) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return false;
  fputs(text, file);
  return fclose(file) == 0;
}

static uint32_t dosTime(int year, int month, int day, int hour, int minute, int second) {
  return (uint32_t)(year - 1980) << 25 | (uint32_t)month << 21 | (uint32_t)day << 16 |
         (uint32_t)hour << 11 | (uint32_t)minute << 5 | (uint32_t)(second / 2);
}

// The file's last-write time as local wall-clock fields, by that date's rules.
static bool localWriteTime(const char* path, SYSTEMTIME* local) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME written;
  bool got = GetFileTime(file, nullptr, nullptr, &written) != 0;
  CloseHandle(file);
  SYSTEMTIME universal;
  return got && FileTimeToSystemTime(&written, &universal) &&
         SystemTimeToTzSpecificLocalTime(nullptr, &universal, local);
}

static void checkFolders(const char* root) {
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s\\made", root);
  check(platformMakeDirectory(path) == PlatformDirectoryMade, "a new folder is made");
  check(platformMakeDirectory(path) == PlatformAlreadyExists, "an existing folder is reported");
  snprintf(path, sizeof path, "%s\\missing\\leaf", root);
  check(platformMakeDirectory(path) == PlatformPathNotFound, "a missing parent is reported");

  // An archive folder entry keeps its read-only bit and still takes new files.
  snprintf(path, sizeof path, "%s\\locked", root);
  int reason;
  check(makeDirectory(path, 0x11, &reason) == 0, "makeDirectory succeeds");
  snprintf(path, sizeof path, "%s\\locked\\inside.txt", root);
  check(writeText(path, "x"), "a read-only folder takes new files");
}

static void checkOutputFiles(const char* root) {
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s\\out/a\\b\\file.txt", root);
  FILE* file = createOutputFile(path);
  check(file != nullptr, "output file created with its parent folders");
  closeFile(&file);
  snprintf(path, sizeof path, "%s\\out\\a", root);
  DWORD made = attributesOf(path);
  check(made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_DIRECTORY), "parent made");
  check((made & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY)) == 0,
        "parents are plain folders");

  snprintf(path, sizeof path, "%s\\out\\a\\b\\file.txt", root);
  archiveReader.entry.fileAttr = 0x21;
  archiveReader.entry.fileTime = dosTime(2003, 8, 9, 10, 11, 12);
  setFileInfo(path);
  check((attributesOf(path) & FILE_ATTRIBUTE_READONLY) != 0, "read-only entry is read-only");
  SYSTEMTIME local;
  check(localWriteTime(path, &local) && local.wYear == 2003 && local.wMonth == 8 &&
            local.wDay == 9 && local.wHour == 10 && local.wMinute == 11 && local.wSecond == 12,
        "entry time is the last-write time, read as local time");
  // Run with a summer-time zone two hours east: the file holds 08:11:12 universal time.
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  FILETIME written;
  SYSTEMTIME universal;
  check(handle != INVALID_HANDLE_VALUE && GetFileTime(handle, nullptr, nullptr, &written) &&
            FileTimeToSystemTime(&written, &universal) && universal.wHour == 8,
        "daylight saving is decided for the file's date");
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  file = createOutputFile(path);
  check(file == nullptr, "a read-only file cannot be created over");
  closeFile(&file);

  archiveReader.entry.fileTime = dosTime(2003, 2, 30, 10, 11, 12);
  check(!platformSetFileTime(path, archiveReader.entry.fileTime), "invalid date refused");
  check(localWriteTime(path, &local) && local.wYear == 2003 && local.wMonth == 8,
        "invalid date leaves the time alone");

  check(platformDeleteFile(path), "a read-only output file can be deleted");
  check(attributesOf(path) == INVALID_FILE_ATTRIBUTES, "deleted file is gone");

  FILE* device = fopen("NUL", "wb");
  check(device != nullptr && isCharacterDevice(device), "NUL is a character device");
  if (device != nullptr) fclose(device);
  snprintf(path, sizeof path, "%s\\plain.bin", root);
  file = createOutputFile(path);
  check(file != nullptr && !isCharacterDevice(file), "a disk file is no character device");
  closeFile(&file);
}

static void checkListing(const char* root) {
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s\\list", root);
  CreateDirectoryA(path, nullptr);
  snprintf(path, sizeof path, "%s\\list\\Setup.EXE", root);
  writeText(path, "x");
  snprintf(path, sizeof path, "%s\\list\\", root);
  FolderScan* scan = openFolder(path);
  check(scan != nullptr, "folder listing starts");
  int seen = 0;
  bool found = false;
  for (const char* name = scan ? readFolder(scan) : nullptr; name; name = readFolder(scan)) {
    seen++;
    found = found || strcmp(name, "Setup.EXE") == 0;
  }
  if (scan != nullptr) closeFolder(scan);
  check(seen == 3 && found, "listing holds ., .. and the file");

  snprintf(session.archiveName, sizeof session.archiveName, "%s\\list\\setup.exe", root);
  expandArchiveName();
  check(session.archivesFound == 1, "the archive is found ignoring case");
}

int main() {
  char root[MAX_PATH];
  GetTempPathA(sizeof root, root);
  size_t length = strlen(root);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  snprintf(root + length, sizeof root - length, "lumvard-platform-%lx-%lx",
           (unsigned long)now.dwHighDateTime, (unsigned long)now.dwLowDateTime);
  CreateDirectoryA(root, nullptr);
  checkFolders(root);
  checkOutputFiles(root);
  checkListing(root);
  printf("%d failed\n", failures);
  return failures;
}
