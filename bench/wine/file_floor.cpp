// The least any installer must do per file under the same system: writes every file of
// a list below a folder, with nothing decoded and nothing shown.
//   file_floor LIST DESTINATION plain|replace
// LIST holds lines "SIZE RELATIVE/PATH". plain creates, writes and closes each file;
// replace writes it under a temporary name, gives it a time and moves it over its name
// through the same handle, as the installer does. Prints the seconds taken.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
char block[1 << 16];

// Makes the folders on the way to path, which lies below the first `keep` bytes, when
// they differ from the previous file's.
void makeFolders(char* path, size_t keep) {
  static char previous[MAX_PATH + 1];
  size_t folder = strrchr(path, '\\') - path;
  if (strncmp(previous, path, folder) == 0 && previous[folder] == 0) return;
  for (char* p = path + keep; *p != 0; p++) {
    if (*p != '\\') continue;
    *p = 0;
    CreateDirectoryA(path, nullptr);
    *p = '\\';
  }
  memcpy(previous, path, folder);
  previous[folder] = 0;
}

bool writeFile(HANDLE file, long size) {
  DWORD written;
  for (long left = size; left > 0;) {
    DWORD count = left > (long)sizeof block ? (DWORD)sizeof block : (DWORD)left;
    if (!WriteFile(file, block, count, &written, nullptr) || written != count) return false;
    left -= count;
  }
  return true;
}

bool replaceThroughHandle(HANDLE file, const char* target) {
  static union {
    FILE_RENAME_INFO info;
    char room[sizeof(FILE_RENAME_INFO) + (MAX_PATH + 1) * sizeof(WCHAR)];
  } rename;
  int length = MultiByteToWideChar(CP_ACP, 0, target, -1, rename.info.FileName, MAX_PATH + 1);
  rename.info.ReplaceIfExists = TRUE;
  rename.info.RootDirectory = nullptr;
  rename.info.FileNameLength = (DWORD)((length - 1) * sizeof(WCHAR));
  return length > 1 && SetFileInformationByHandle(file, FileRenameInfo, &rename, sizeof rename);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  FILE* list = fopen(argv[1], "r");
  if (list == nullptr) return 2;
  bool replace = strcmp(argv[3], "replace") == 0;
  char line[1024], path[MAX_PATH + 1], temporary[MAX_PATH + 1];
  size_t keep = strlen(argv[2]) + 1;
  FILETIME when = {0xD53E8000, 0x01D9C000};
  DWORD start = GetTickCount();
  while (fgets(line, sizeof line, list) != nullptr) {
    long size;
    char name[900];
    if (sscanf(line, "%ld %899[^\n]", &size, name) != 2) continue;
    if (snprintf(path, sizeof path, "%s\\%s", argv[2], name) >= (int)sizeof path) return 1;
    for (char* p = path; *p != 0; p++)
      if (*p == '/') *p = '\\';
    makeFolders(path, keep);
    const char* opened = path;
    if (replace) {
      strcpy(temporary, path);
      strcpy(strrchr(temporary, '\\') + 1, "lv000000.tmp");
      opened = temporary;
    }
    HANDLE file = CreateFileA(opened, GENERIC_WRITE | (replace ? DELETE : 0), FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || !writeFile(file, size)) return 1;
    if (replace && (!SetFileTime(file, nullptr, &when, &when) || !replaceThroughHandle(file, path)))
      return 1;
    CloseHandle(file);
  }
  printf("%.3f\n", (GetTickCount() - start) / 1000.0);
  return 0;
}
