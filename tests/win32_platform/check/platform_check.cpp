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
  char below[MAX_PATH];
  snprintf(below, sizeof below, "%s\\", root);
  snprintf(path, sizeof path, "%s\\made", root);
  check(platformMakeDirectory(below, path) == PlatformDirectoryMade, "a new folder is made");
  check(platformMakeDirectory(below, path) == PlatformAlreadyExists, "an existing folder is reported");
  snprintf(path, sizeof path, "%s\\plain", root);
  HANDLE plain = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  CloseHandle(plain);
  check(platformMakeDirectory(below, path) == PlatformOtherFailure, "a file where the folder goes is a failure");
  snprintf(path, sizeof path, "%s\\missing\\leaf", root);
  check(platformMakeDirectory(below, path) == PlatformPathNotFound, "a missing parent is reported");

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
  int outcome;
  FILE* file = createOutputFile(path, &outcome);
  check(file != nullptr, "output file created with its parent folders");
  // Until it is moved, nobody else can rename, replace or delete the temporary file.
  char temporary[MAX_PATH], elsewhere[MAX_PATH];
  snprintf(temporary, sizeof temporary, "%s", outputTemporaryName());
  snprintf(elsewhere, sizeof elsewhere, "%s\\taken.txt", root);
  fputs("data", file);
  check(!MoveFileExA(temporary, elsewhere, MOVEFILE_REPLACE_EXISTING) && !DeleteFileA(temporary),
        "the temporary file cannot be taken before its move");
  // The move gives the entry's time and read-only bit, after the last write.
  archiveReader.entry.fileAttr = 0x21;
  archiveReader.entry.fileTime = dosTime(2003, 8, 9, 10, 11, 12);
  check(commitOutputFile(file), "output file moved into place");
  closeFile(&file);
  check(attributesOf(temporary) == INVALID_FILE_ATTRIBUTES && attributesOf(elsewhere) == INVALID_FILE_ATTRIBUTES,
        "no temporary file is left");
  // The folders on the way stay held while outputs go into them: none can be renamed,
  // and so swapped for a link, until they are let go. A system that does not apply
  // sharing to folders is noted.
  snprintf(path, sizeof path, "%s\\out\\a", root);
  snprintf(elsewhere, sizeof elsewhere, "%s\\moved", root);
  if (MoveFileExA(path, elsewhere, 0)) {
    printf("note: a held folder can be renamed here\n");
    check(MoveFileExA(elsewhere, path, 0), "the folder is renamed back");
  }
  platformReleaseFolders();
  check(MoveFileExA(path, elsewhere, 0) && MoveFileExA(elsewhere, path, 0), "a folder let go can be renamed");
  snprintf(path, sizeof path, "%s\\out\\a", root);
  DWORD made = attributesOf(path);
  check(made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_DIRECTORY), "parent made");
  check((made & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY)) == 0,
        "parents are plain folders");

  snprintf(path, sizeof path, "%s\\out\\a\\b\\file.txt", root);
  check((attributesOf(path) & FILE_ATTRIBUTE_READONLY) != 0, "read-only entry is read-only");
  check(platformOpenFile(path, "w+b") == nullptr, "a read-only file is not opened for writing");
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
  file = createOutputFile(path, &outcome);
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
  file = createOutputFile(path, &outcome);
  check(file != nullptr && !isCharacterDevice(file), "a disk file is no character device");
  closeFile(&file);
  discardOutputFile();
  snprintf(path, sizeof path, "%s\\NUL", root);
  file = createOutputFile(path, &outcome);
  check(file == nullptr && outcome == OutputCharacterDevice, "NUL at the output path is a character device");
}

// A junction (mount point) at `at` leading to the folder `target`, as the system's own
// tools make one.
static bool makeJunction(const char* at, const char* target) {
  if (!CreateDirectoryA(at, nullptr)) return false;
  HANDLE folder = CreateFileA(at, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  WCHAR substitute[MAX_PATH + 8] = L"\\??\\";
  MultiByteToWideChar(CP_ACP, 0, target, -1, substitute + 4, MAX_PATH);
  USHORT bytes = (USHORT)(wcslen(substitute) * sizeof(WCHAR));
  struct {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset, substituteLength, printOffset, printLength;
    WCHAR names[2 * MAX_PATH + 16];
  } data = {};
  data.tag = IO_REPARSE_TAG_MOUNT_POINT;
  data.substituteLength = bytes;
  data.printOffset = (WORD)(bytes + sizeof(WCHAR));
  memcpy(data.names, substitute, bytes);
  data.dataLength = (WORD)(8 + bytes + sizeof(WCHAR) + sizeof(WCHAR));
  DWORD returned;
  bool made = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &data, 8 + data.dataLength, nullptr, 0,
                              &returned, nullptr) != 0;
  CloseHandle(folder);
  return made;
}

static bool isReparsePoint(const char* path) {
  DWORD attributes = attributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

static bool hasText(const char* path, const char* text) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  char buffer[64] = "";
  size_t length = fread(buffer, 1, sizeof buffer - 1, file);
  fclose(file);
  return length == strlen(text) && memcmp(buffer, text, length) == 0;
}

// Destinations prepared with links and existing files: nothing outside changes, and an
// existing file is replaced only by a committed file. Link kinds this system cannot
// make, or does not report as reparse points, are noted and passed over.
static void checkHostileDestinations(const char* root) {
  struct Row {
    const char* what;
    int link;            // 0 none, 1 folder symbolic link, 2 junction, 3 file symbolic link, 4 hard link
    const char* at;      // where the link is made, below the destination
    const char* target;  // what it leads to, below the outside folder
    const char* name;    // the output, below the destination
    bool created;        // the output file can be started
    bool commit;         // the output is verified (else discarded)
  } rows[] = {
      {"folder symbolic link", 1, "docs", "", "docs\\evil.txt", false, true},
      {"junction", 2, "junction", "", "junction\\evil.txt", false, true},
      {"link two levels up", 1, "a", "", "a\\inner\\evil.txt", false, true},
      {"file symbolic link at the path", 3, "readme.txt", "target", "readme.txt", true, true},
      {"hard link at the path", 4, "hard.txt", "target", "hard.txt", true, true},
      {"failing replacement", 0, "", "", "existing.txt", true, false},
  };
  int index = 0;
  for (const Row& row : rows) {
    char dest[MAX_PATH], outside[MAX_PATH], at[MAX_PATH], target[MAX_PATH], path[MAX_PATH];
    snprintf(dest, sizeof dest, "%s\\hostile%d\\dest", root, index);
    snprintf(outside, sizeof outside, "%s\\hostile%d\\outside", root, index++);
    snprintf(path, sizeof path, "%s\\..", dest);
    CreateDirectoryA(path, nullptr);
    CreateDirectoryA(dest, nullptr);
    CreateDirectoryA(outside, nullptr);
    snprintf(path, sizeof path, "%s\\inner", outside);
    CreateDirectoryA(path, nullptr);
    snprintf(path, sizeof path, "%s\\target", outside);
    writeText(path, "outside target");
    snprintf(path, sizeof path, "%s\\existing.txt", dest);
    writeText(path, "precious");
    snprintf(at, sizeof at, "%s\\%s", dest, row.at);
    snprintf(target, sizeof target, "%s\\%s", outside, row.target);
    bool made = row.link == 0 || (row.link == 1 && CreateSymbolicLinkA(at, outside, SYMBOLIC_LINK_FLAG_DIRECTORY)) ||
                (row.link == 2 && makeJunction(at, outside)) || (row.link == 3 && CreateSymbolicLinkA(at, target, 0)) ||
                (row.link == 4 && CreateHardLinkA(at, target, nullptr));
    // A link at the path itself is replaced whatever the system reports it as; links
    // on the way are only refused when they are reported as reparse points.
    bool reported = made && (row.link == 0 || row.link == 4 || isReparsePoint(at));
    if (!reported) printf("note: %s: %s here\n", row.what, made ? "not reported as a reparse point" : "cannot be made");
    if (!made || (!reported && row.link != 3)) continue;

    snprintf(session.destination, sizeof session.destination, "%s\\", dest);
    snprintf(path, sizeof path, "%s\\%s", dest, row.name);
    int outcome;
    FILE* file = createOutputFile(path, &outcome);
    char what[160];
    snprintf(what, sizeof what, "%s: the output %s started", row.what, row.created ? "is" : "is not");
    check((file != nullptr) == row.created, what);
    if (file != nullptr) {
      fputs("new", file);
      if (row.commit) check(commitOutputFile(file), "the verified output is moved into place");
      closeFile(&file);
      if (!row.commit) discardOutputFile();
    }
    if (!row.created) {
      snprintf(path, sizeof path, "%s\\%s\\made", dest, row.at);
      int reason;
      check(makeDirectory(path, 0x10, &reason) != 0, "no folder is made through a link");
    }
    if (row.created && row.commit) {
      check(hasText(path, "new") && !isReparsePoint(path), "the output replaced the link itself");
    }
    snprintf(path, sizeof path, "%s\\target", outside);
    snprintf(what, sizeof what, "%s: the outside file is unchanged", row.what);
    check(hasText(path, "outside target"), what);
    snprintf(path, sizeof path, "%s\\evil.txt", outside);
    check(attributesOf(path) == INVALID_FILE_ATTRIBUTES, "nothing is written outside");
    snprintf(path, sizeof path, "%s\\inner\\evil.txt", outside);
    check(attributesOf(path) == INVALID_FILE_ATTRIBUTES, "nothing is written two levels down outside");
    snprintf(path, sizeof path, "%s\\existing.txt", dest);
    check(hasText(path, "precious"), "the existing file is whole");
  }

  // The archive being read is never an output.
  char archive[MAX_PATH];
  snprintf(session.destination, sizeof session.destination, "%s\\", root);
  snprintf(archive, sizeof archive, "%s\\setup.rar", root);
  writeText(archive, "archive bytes");
  archiveReader.archiveFile = fopen(archive, "rb");
  int outcome;
  FILE* file = createOutputFile(archive, &outcome);
  check(file == nullptr && outcome == OutputNotCreated, "the archive is not an output");
  closeFile(&file);
  closeFile(&archiveReader.archiveFile);
  check(hasText(archive, "archive bytes"), "the archive is whole");
  session.destination[0] = 0;
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
  checkHostileDestinations(root);
  printf("%d failed\n", failures);
  return failures;
}
