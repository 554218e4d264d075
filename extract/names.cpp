// Names and paths: splitting, case-blind comparison, the wildcard match, entry
// selection and the expansion of the archive name into existing files.
#include "extract/names.h"

#include <string.h>

#include "archive/reader.h"
#include "extract/session.h"
#include "platform/platform.h"

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

static char fold(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

static void copyBounded(char* target, const char* source, size_t length) {
  if (length > PathCapacity - 1) length = PathCapacity - 1;
  memcpy(target, source, length);
  target[length] = 0;
}

const char* pointToName(const char* path) {
  const char* name = nullptr;
  for (const char* p = path; *p != 0; p++)
    if (isSeparator(*p)) name = p + 1;
  if (name != nullptr) return name;
  const char* colon = strchr(path, ':');
  return colon != nullptr ? colon + 1 : path;
}

bool splitName(const char* text, char* folderOut, char* nameOut, bool skipDrive) {
  const char* start = text;
  if (skipDrive) {
    const char* colon = strchr(text, ':');
    if (colon != nullptr) start = colon + 1;
  }
  const char* name = pointToName(start);
  copyBounded(nameOut, name, strlen(name));
  copyBounded(folderOut, start, (size_t)(name - start));
  return strpbrk(start, "?*") != nullptr;
}

void upperCase(char* text) {
  for (; *text != 0; text++) *text = fold(*text);
}

// Texts are compared as copies of at most 511 characters.
enum { CompareLimit = 511 };

int compareNoCaseN(const char* a, const char* b, size_t n) {
  if (n > CompareLimit) n = CompareLimit;
  for (size_t i = 0; i < n; i++) {
    unsigned char x = (unsigned char)fold(a[i]);
    unsigned char y = (unsigned char)fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

int compareNoCase(const char* a, const char* b) { return compareNoCaseN(a, b, CompareLimit); }

// '?' matches one character, or nothing at the end of the name; '*' runs to the next
// dot of the name, and the mask bytes between it and the mask's next dot are never
// compared; a '*' with no dot after it matches whatever is left.
static bool matchNames(const char* m, const char* n) {
  while (*m != 0) {
    if (*m == '*') {
      const char* maskDot = strchr(m, '.');
      if (maskDot == nullptr) return true;
      m = maskDot + 1;
      const char* nameDot = strchr(n, '.');
      if (nameDot == nullptr) return *m == 0 || *m == '*';
      n = nameDot + 1;
      if (*m == 0 && *n != 0) return false;
    } else if (*m == '?') {
      m++;
      if (*n != 0) n++;
    } else {
      if (fold(*m) != fold(*n)) return false;
      m++;
      n++;
    }
  }
  return *n == 0;
}

bool wildcardMatch(const char* mask, const char* name) {
  char folder[PathCapacity];
  char maskName[PathCapacity];
  char entryName[PathCapacity];
  splitName(mask, folder, maskName, true);
  splitName(name, folder, entryName, true);
  return matchNames(maskName, entryName);
}

bool (*entrySelector)(const char* entryName) = nullptr;
bool selectionComplete = false;

bool isSelected() {
  if (entrySelector != nullptr) return entrySelector(archiveReader.fileName);
  char mask[PathCapacity];
  char maskFolder[PathCapacity], maskName[PathCapacity];
  char entryFolder[PathCapacity], entryName[PathCapacity];
  rewindNames(&session.masks);
  while (nextName(&session.masks, mask)) {
    bool maskWild = splitName(mask, maskFolder, maskName, true);
    splitName(archiveReader.fileName, entryFolder, entryName, true);
    if (!wildcardMatch(maskName, entryName)) continue;
    if (compareNoCase(maskFolder, entryFolder) == 0) return true;
    // A wildcard mask also selects entries in every folder below its own.
    if (maskWild && compareNoCaseN(maskFolder, entryFolder, strlen(maskFolder)) == 0) return true;
  }
  return false;
}

FolderScan* openFolder(const char* folder) {
  char path[PathCapacity + 2];
  size_t driveLength = strlen(folder) >= 2 && folder[1] == ':' ? 2 : 0;
  memcpy(path, folder, driveLength);
  const char* rest = folder + driveLength;
  size_t restLength = strlen(rest);
  if (restLength > PathCapacity - 1) restLength = PathCapacity - 1;
  memcpy(path + driveLength, rest, restLength);
  size_t end = driveLength + restLength;
  if (restLength == 0) {
    path[end++] = '.';
  } else if (isSeparator(rest[restLength - 1])) {
    if (restLength == 1)
      path[end++] = '.';
    else
      end--;
  }
  path[end] = 0;
  // The folder becomes the current directory and stays so after the scan; a failure
  // to change is not reported (the listing then shows the directory that is current).
  platformChangeDirectory(path);
  return platformOpenFolder(".");
}

const char* readFolder(FolderScan* scan) { return platformReadFolder(scan); }

void closeFolder(FolderScan* scan) { platformCloseFolder(scan); }

bool getFileInfo(const char* path, bool* isDirectory) {
  return platformGetFileInfo(path, isDirectory);
}

// Listing the archive's folder makes it the current directory, so callers pass an
// absolute archive path (the installer passes its own full path; the console host
// makes both of its paths absolute first).
//
// A name that some file bears exactly stands for that file alone, wildcards or not (a
// file system may allow '?' and '*' in names); else a name without wildcards takes the
// first file whose name matches it ignoring case. So a file planted beside the archive
// under another case, or under a name its own matches as a mask, is never extracted too.
void expandArchiveName() {
  char folder[PathCapacity];
  char nameMask[PathCapacity];
  bool wild = splitName(session.archiveName, folder, nameMask, false);
  bool isDirectory = false;
  bool exact = getFileInfo(session.archiveName, &isDirectory) && !isDirectory;
  FolderScan* scan = openFolder(folder);
  if (scan != nullptr) {
    if (exact) {
      addName(&session.archiveList, session.archiveName);
    } else {
      size_t folderLength = strlen(folder);
      for (const char* name = readFolder(scan); name != nullptr; name = readFolder(scan)) {
        if (folderLength + strlen(name) > PathCapacity - 1) continue;
        char full[PathCapacity];
        memcpy(full, folder, folderLength);
        strcpy(full + folderLength, name);
        if (getFileInfo(full, &isDirectory) && !isDirectory && wildcardMatch(nameMask, name)) {
          addName(&session.archiveList, full);
          if (!wild) break;
        }
      }
    }
    closeFolder(scan);
  }
  session.archivesFound = session.archiveList.count;
  session.archiveList.offset = 0;
}
