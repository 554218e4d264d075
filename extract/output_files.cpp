// File-system operations on the archive and output files and folders.
#include "extract/output_files.h"

#include <string.h>

#include "archive/reader.h"
#include "extract/session.h"
#include "platform/platform.h"

// Folders made on the way to an output file get no attribute of their own.
enum : uint32_t { AttrNormal = 0x80 };

static bool isSeparator(char c) { return c == '\\' || c == '/'; }

// One archive is open at a time. Its reads go through a buffer far larger than the
// C library's default: a packed file is read in 8 KiB pieces, and every header walk
// seeks, so small buffers cost a system call every few kilobytes.
static char archiveBuffer[1u << 16];

FILE* openArchiveFile(const char* name) {
  FILE* file = platformOpenFile(name, "rb");
  if (file == nullptr) {
    showMessageId(TargetBox, 25, name);
    return nullptr;
  }
  setvbuf(file, archiveBuffer, _IOFBF, sizeof archiveBuffer);
  return file;
}

void closeFile(FILE** file) {
  if (*file == nullptr) return;
  int result = fclose(*file);
  *file = nullptr;  // absent from here on, also for the cleanup of a fatal end
  if (result != 0) fatalError(CloseError, ExitFatal);
}

void stripNamePrefix(char* name) {
  char* rest = name;
  if (rest[0] != 0 && rest[1] == ':') rest += 2;
  if (rest[0] == '.' && rest[1] == '\\') rest += 1;
  if (rest[0] == '.' && rest[1] == '.' && rest[2] == '\\') rest += 2;
  if (rest[0] == '\\') rest += 1;
  memmove(name, rest, strlen(rest) + 1);
}

void convertAttributes() {
  FileEntry& entry = archiveReader.entry;
  if (entry.hostOs >= 3)
    entry.fileAttr = (entry.flags & EntryDictionaryMask) == EntryDictionaryMask ? AttrDirectory
                                                                                 : AttrArchive;
}

int makeDirectory(const char* path, uint32_t attributes, int* reason) {
  int result = platformMakeDirectory(session.destination, path);
  *reason = result;
  if (result != PlatformDirectoryMade) return -1;
  platformSetDirectoryAttributes(path, attributes);
  return 0;
}

void createParentDirectories(char* path) {
  for (char* p = path; *p != 0; p++) {
    if (!isSeparator(*p)) continue;
    *p = 0;
    int reason;
    if (makeDirectory(path, AttrNormal, &reason) == 0)
      showMessage(TargetStatus, statusCreating, path);
    *p = '\\';
  }
}

FILE* createOutputFile(char* path, int* outcome) {
  int result = PlatformOutputOpened;
  FILE* file = platformCreateOutput(session.destination, path, archiveReader.archiveFile, &result);
  if (file == nullptr && result != PlatformOutputCharacterDevice && result != PlatformOutputIsArchive) {
    createParentDirectories(path);
    file = platformCreateOutput(session.destination, path, archiveReader.archiveFile, &result);
  }
  *outcome = file != nullptr                           ? OutputCreated
             : result == PlatformOutputCharacterDevice ? OutputCharacterDevice
                                                       : OutputNotCreated;
  return file;
}

const char* outputTemporaryName() { return platformOutputTemporary(); }

bool commitOutputFile(FILE* file) {
  const FileEntry& entry = archiveReader.entry;
  return platformCommitOutput(file, entry.fileTime, (entry.fileAttr & AttrReadOnly) != 0);
}

void discardOutputFile() { platformDiscardOutput(); }

bool isCharacterDevice(FILE* file) { return platformIsCharacterDevice(file); }

void setExtension(char* name, const char* extension) {
  char* dot = strrchr(name, '.');
  size_t keep = dot != nullptr ? (size_t)(dot - name) : strlen(name);
  size_t extensionLength = strlen(extension);
  if (keep + 1 + extensionLength > PathCapacity - 1) return;  // would not fit: unchanged
  name[keep] = '.';
  memcpy(name + keep + 1, extension, extensionLength + 1);
}

bool fileExists(const char* name) {
  bool isDirectory = false;
  return platformGetFileInfo(name, &isDirectory);
}

// A component of dots (and spaces, which Windows drops from the end of a component)
// with two dots or more can climb out of the destination.
static bool isParentComponent(const char* start, const char* end) {
  int dots = 0;
  for (const char* p = start; p < end; p++) {
    if (*p == '.')
      dots++;
    else if (*p != ' ')
      return false;
  }
  return dots >= 2;
}

bool isSafeEntryName(const char* destination, const char* name) {
  if (strlen(destination) + strlen(name) > PathCapacity - 1) return false;
  const char* start = name;
  for (const char* p = name;; p++) {
    if (*p == 0 || isSeparator(*p)) {
      if (isParentComponent(start, p)) return false;
      if (*p == 0) return true;
      start = p + 1;
    }
  }
}
