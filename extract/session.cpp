// Start and end of an extraction run.
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include "archive/checksum.h"
#include "archive/reader.h"
#include "extract/extract_loop.h"
#include "extract/names.h"
#include "extract/output_files.h"
#include "extract/session.h"
#include "platform/platform.h"

static void copyBounded(char* target, const char* source, size_t capacity) {
  size_t length = strlen(source);
  if (length > capacity - 1) length = capacity - 1;
  memcpy(target, source, length);
  target[length] = 0;
}

void resetSession() {
  session.currentOutputName[0] = 0;
  session.outputFile = nullptr;
  archiveReader.archiveFile = nullptr;
}

static void installSignalHandlers() {
  platformCatchSignal(SIGINT);
  platformCatchSignal(SIGTERM);
#ifdef SIGBREAK
  platformCatchSignal(SIGBREAK);
#endif
}

// The text after the last separator; else after the first colon; else the whole name.
static const char* lastComponent(const char* name) {
  const char* component = nullptr;
  for (const char* p = name; *p != 0; p++)
    if (*p == '\\' || *p == '/') component = p + 1;
  if (component != nullptr) return component;
  const char* colon = strchr(name, ':');
  return colon != nullptr ? colon + 1 : name;
}

void setupSession(const char* archivePath, const char* destinationPath) {
  session.destination[0] = 0;
  copyBounded(session.archiveName, archivePath, PathCapacity);

  // An archive named without an extension that names nothing existing is looked for
  // with ".rar" appended.
  if (strchr(lastComponent(session.archiveName), '.') == nullptr &&
      !fileExists(session.archiveName)) {
    size_t length = strlen(session.archiveName);
    if (length + 4 < PathCapacity) memcpy(session.archiveName + length, ".rar", 5);
  }

  expandArchiveName();

  // The backslash is appended unconditionally, so a drive root ends in two. The path
  // is cut one character short when it must be, so the backslash always fits.
  copyBounded(session.destination, destinationPath, PathCapacity - 1);
  strcat(session.destination, "\\");

  addName(&session.masks, "*.*");
}

int runExtraction(HostWindow dialog, const char* archivePath, const char* destinationPath) {
  session.dialog = dialog;
  buildCrcTable();
  resetSession();
  installSignalHandlers();
  setupSession(archivePath, destinationPath);
  extractArchives();
  clearNames(&session.masks);
  clearNames(&session.archiveList);
  shutdownSession(FreeMemory);
  return session.exitCode;
}

void shutdownSession(int flags) {
  memset(passwordText, 0, sizeof passwordText);
  platformReleaseFolders();

  if (flags & CloseFiles) {
    if (archiveReader.archiveFile != nullptr) fclose(archiveReader.archiveFile);
    archiveReader.archiveFile = nullptr;
    if (session.outputFile != nullptr) fclose(session.outputFile);
    session.outputFile = nullptr;
    clearNames(&session.masks);
    // A partly written output file is removed: the temporary file, never its target,
    // and never a file already verified and moved into place. It exists from its
    // creation on, before it is named in currentOutputName.
    discardOutputFile();
  }

  if (flags & FreeMemory) {
    free(session.window);
    session.window = nullptr;
    clearNames(&session.masks);
    clearNames(&session.archiveList);
    free(archiveReader.searchBuffer);
    archiveReader.searchBuffer = nullptr;
  }
}
