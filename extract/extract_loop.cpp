// The loop over archives and their entries: for every entry it decides whether to
// extract it, to decode it without writing (to keep a solid archive's state), or to
// skip it; it asks for the password, makes folders and output files, drives the
// stored copy or the decompressor and checks the result. The order of the decisions
// matters: several of them rely on the ones before.
#include "extract/extract_loop.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "archive/cipher.h"
#include "archive/data_stream.h"
#include "archive/reader.h"
#include "extract/names.h"
#include "extract/output_files.h"
#include "extract/session.h"
#include "platform/platform.h"
#include "shell/resources/string_ids.h"
#include "unpack/unpack.h"

enum { StoredMethod = 0x30 };

// Password question state: the dialog has not been shown in this archive; it was shown
// in a non-solid archive (every further encrypted entry asks whether to keep it); the
// known password is used without asking.
enum AskMode : int { AskNotYet = 0, AskEachEntry = 1, AskNever = 2 };

// What the loop keeps for one call of extractArchives.
struct LoopState {
  int32_t processedCount;   // folders tried plus output files opened, over all archives
  int32_t errorCount;       // failures counted toward "Total errors"
  int askMode;              // AskMode
  int32_t decodedInArchive; // entries decoded since the archive was opened
  long lastBlockStart;      // where the block read last began; -1 before the first
};

// Per entry.
struct EntryState {
  char outputPath[PathCapacity];
  bool extractEntry;
  bool decodeOnly;
  bool checksumFailed;
};

// How the walk of one archive ended.
enum ArchiveOutcome : int { ArchiveLeft, RestartWithFirstVolume };

// What follows an entry.
enum EntryOutcome : int { NextBlock, NextBlockHere, LeaveArchive };

// A failure counted toward "Total errors"; the run then never ends with "All OK".
static void countError(LoopState* state, int exitCode) {
  state->errorCount += 1;
  session.exitCode = exitCode;
}

static void releaseWindow() {
  free(session.window);
  session.window = nullptr;
}

static void copyBounded(char* target, const char* source, size_t capacity) {
  size_t length = strlen(source);
  if (length > capacity - 1) length = capacity - 1;
  memcpy(target, source, length);
  target[length] = 0;
}

// A position the reader computed in 32 bits, as the file offset it names.
static long archivePosition(uint32_t position) { return (long)(int32_t)position; }

bool askPassword() {
  flushStatusTexts();
  hostRequestPassword();
  if (passwordText[0] != 0) return true;
  memset(passwordText, 0, sizeof passwordText);
  return false;
}

static void askPasswordOrEnd() {
  if (!askPassword()) fatalError(SilentError, ExitUserBreak);
}

static void obtainPassword(LoopState* state) {
  if (passwordText[0] == 0) {
    askPasswordOrEnd();
    state->askMode = archiveReader.solidArchive ? AskNever : AskEachEntry;
    return;
  }
  if (state->askMode != AskEachEntry) return;  // the known password is used as it is

  char format[128];
  hostLoadString(IDS_USE_CURRENT_PASSWORD, format, sizeof format);
  char text[512];
  snprintf(text, sizeof text, format, archiveReader.fileName);
  flushStatusTexts();
  int answer = hostMessageBox(session.dialog, text, "Password required.",
                              BoxYesNoCancel | BoxIconQuestion);
  if (answer == AnswerYes) {
    state->askMode = AskNever;
  } else if (answer == AnswerNo) {
    askPasswordOrEnd();
  } else {
    fatalError(SilentError, ExitUserBreak);
  }
}

// Measures the open archive's length by positioning at its end, then goes back to 0.
static int32_t measureArchive() {
  FILE* file = archiveReader.archiveFile;
  fseek(file, 0, SEEK_END);
  long length = ftell(file);
  fseek(file, 0, SEEK_SET);
  return length < 0 ? 0 : (int32_t)length;
}

static bool hasRarExtension(const char* name) {
  const char* dot = strrchr(name, '.');
  return dot != nullptr && compareNoCase(dot, ".rar") == 0;
}

// An entry continued from a previous volume of a solid set: the set must be extracted
// from its first volume. The archive is already closed. Returns true when a first
// volume was found under another name (archiveName then holds it). The archive being
// processed is never taken as its own first volume, so the lookup cannot go round.
static bool findFirstVolume() {
  if (hasRarExtension(session.archiveName)) return false;
  static const char* const extensions[] = {"rar", "exe"};
  for (const char* extension : extensions) {
    char candidate[PathCapacity];
    copyBounded(candidate, session.archiveName, sizeof candidate);
    setExtension(candidate, extension);
    if (compareNoCase(candidate, session.archiveName) == 0) continue;
    if (fileExists(candidate)) {
      copyBounded(session.archiveName, candidate, sizeof session.archiveName);
      return true;
    }
  }
  return false;
}

static void buildOutputPath(EntryState* entry) {
  copyBounded(entry->outputPath, session.destination, sizeof entry->outputPath);
  size_t used = strlen(entry->outputPath);
  copyBounded(entry->outputPath + used, archiveReader.fileName, sizeof entry->outputPath - used);
}

static void extractDirectory(LoopState* state, EntryState* entry, bool safeName) {
  const char* fileName = archiveReader.fileName;
  if (entry->decodeOnly) {
    showMessageId(TargetStatus, IDS_SKIPPING_FOLDER, fileName);
    return;
  }
  // A name that would leave the destination (or not fit) is refused like a file that
  // cannot be created: nothing is made and it does not count as processed.
  if (!safeName) {
    showMessageId(TargetStatus, IDS_CANNOT_CREATE, entry->outputPath);
    countError(state, ExitWarning);
    return;
  }
  state->processedCount += 1;
  if (session.testOnly) return;  // a test run makes no folders

  uint32_t attributes = archiveReader.entry.fileAttr;
  int reason = DirectoryMade;
  if (makeDirectory(entry->outputPath, attributes, &reason) == 0) {
    showMessage(TargetStatus, statusCreating, fileName);
    return;
  }
  if (reason == DirectoryExists) return;  // an existing folder says nothing
  if (reason == DirectoryPathNotFound) {
    createParentDirectories(entry->outputPath);
    if (makeDirectory(entry->outputPath, attributes, &reason) == 0) {
      showMessage(TargetStatus, statusCreating, fileName);
      return;
    }
    if (reason == DirectoryExists) return;
  }
  // Also a first attempt refused outright (no access, for example) is reported: the
  // folder is missing, and the run must not end as if it were there.
  showMessageId(TargetStatus, IDS_CANNOT_CREATE_FOLDER, fileName);
  countError(state, ExitWarning);
}

static void primeDataStream(const EntryState* entry) {
  const FileEntry& file = archiveReader.entry;
  bool oldFormat = archiveReader.format == FormatOld;
  dataStream.dataCrc = oldFormat ? 0 : 0xFFFFFFFFu;
  dataStream.checksumMode = oldFormat ? 1 : 2;
  dataStream.cipherVersion = passwordText[0] != 0 && (file.flags & EntryEncrypted) ? file.unpVer : 0;
  if (dataStream.cipherVersion != 0) initCipher(passwordText);
  dataStream.packedLeft = file.packSize;
  dataStream.remaining = (int64_t)file.unpSize;
  session.skipChecksum = entry->decodeOnly;
}

static void decodeEntryData(const LoopState* state) {
  const FileEntry& file = archiveReader.entry;
  if (file.method == StoredMethod) {
    copyStored();
  } else if (file.unpVer <= 15) {
    // The version 1.5 method carries its state over whenever an earlier entry of a
    // solid archive was decoded.
    unpackFile(session.window, file.unpVer, state->decodedInArchive > 1 && archiveReader.solidArchive);
  } else {
    unpackFile(session.window, file.unpVer, (file.flags & EntrySolid) != 0);
  }
}

static bool checksumMatches() {
  uint32_t expected = archiveReader.entry.fileCrc;
  if (archiveReader.format == FormatOld) return dataStream.dataCrc == expected;
  return dataStream.dataCrc == ~expected;
}

static void decodeEntry(LoopState* state, EntryState* entry) {
  const FileEntry& file = archiveReader.entry;
  if (!entry->decodeOnly) {
    if (session.outputFile != nullptr && isCharacterDevice(session.outputFile))
      fatalError(WriteError, ExitWrite);
    state->processedCount += 1;
    // A test run decodes and checks everything but writes nothing.
    if (session.testOnly) session.testMode = true;
  }
  state->decodedInArchive += 1;

  if (entry->decodeOnly)
    showMessageId(TargetStatus, IDS_SKIPPING, archiveReader.fileName);
  else
    showMessage(TargetStatus, statusExtracting, entry->outputPath);
  // What a fatal end removes is the temporary file: the target is not touched before
  // its replacement is verified.
  bool writing = !entry->decodeOnly && !session.testOnly;
  copyBounded(session.currentOutputName, writing ? outputTemporaryName() : "", PathCapacity);

  primeDataStream(entry);
  decodeEntryData(state);
  seekArchiveFile(archivePosition((uint32_t)archiveReader.nextBlockPos));

  entry->checksumFailed = false;
  if (!entry->decodeOnly && !checksumMatches()) {
    unsigned id = (file.flags & EntryEncrypted) ? IDS_ENCRYPTED_CRC_FAILED : IDS_CRC_FAILED;
    showMessageId(TargetBox, id, archiveReader.fileName);
    countError(state, ExitCrc);
    entry->checksumFailed = true;
  }

  bool inPlace = true;
  if (session.testMode) {
    session.testMode = false;
  } else {
    // A damaged file never replaces what was there; a verified one is moved into place
    // while still open, so that it is never looked for again by name.
    inPlace = !entry->checksumFailed && commitOutputFile(session.outputFile);
    closeFile(&session.outputFile);
    if (!inPlace) discardOutputFile();
    if (!inPlace && !entry->checksumFailed) {
      showMessageId(TargetStatus, IDS_CANNOT_CREATE, entry->outputPath);
      countError(state, ExitWarning);
    }
  }
  // "OK" says the file is checked and where it belongs, so it waits for the move.
  if (!entry->decodeOnly && !entry->checksumFailed && inPlace) showMessage(TargetResult, statusOk);
  session.currentOutputName[0] = 0;
}

// Steps through one entry once its header was read and the file stands at its packed
// data.
static EntryOutcome extractEntry(LoopState* state) {
  const FileEntry& file = archiveReader.entry;
  EntryState entry;
  entry.extractEntry = false;
  entry.decodeOnly = false;
  entry.checksumFailed = false;
  session.testMode = false;

  if (isSelected() && !(file.flags & EntryContinuedFromPrevious)) {
    // taken normally
  } else if (archiveReader.solidArchive) {
    entry.decodeOnly = true;
  } else {
    seekArchiveFile(archivePosition((uint32_t)archiveReader.nextBlockPos));
    return NextBlock;
  }

  if (file.flags & EntryEncrypted) obtainPassword(state);

  buildOutputPath(&entry);
  bool safeName = isSafeEntryName(session.destination, archiveReader.fileName);
  entry.extractEntry = !entry.decodeOnly;

  if (file.unpVer < 13 || file.unpVer > 20) {
    showMessageId(TargetBox, IDS_UNKNOWN_METHOD, archiveReader.fileName);
    entry.extractEntry = false;
    countError(state, ExitWarning);
  }

  if (file.fileAttr & AttrVolumeLabel) return NextBlockHere;
  if (file.fileAttr & AttrDirectory) {
    extractDirectory(state, &entry, safeName);
    return NextBlockHere;
  }

  // A name that would leave the destination is refused like a file that cannot be
  // created; a test run creates nothing but refuses the same names.
  if (entry.extractEntry) {
    int outcome = OutputCreated;
    if (safeName && !session.testOnly) session.outputFile = createOutputFile(entry.outputPath, &outcome);
    // A character device at the path is the write error it always was.
    if (outcome == OutputCharacterDevice) fatalError(WriteError, ExitWrite);
    if (!safeName || (!session.testOnly && session.outputFile == nullptr)) {
      showMessageId(TargetStatus, IDS_CANNOT_CREATE, entry.outputPath);
      countError(state, ExitWarning);
      entry.extractEntry = false;
    }
  }

  // In a solid archive every file entry is decoded, written or not, so that the
  // entries after it decode correctly.
  if (!entry.extractEntry && archiveReader.solidArchive) {
    entry.decodeOnly = true;
    session.testMode = true;
    entry.extractEntry = true;
  }

  if (entry.extractEntry) decodeEntry(state, &entry);

  if (archiveReader.archiveFile == nullptr) return LeaveArchive;  // closed for a next volume
  if (!entry.extractEntry) seekArchiveFile(archivePosition((uint32_t)archiveReader.nextBlockPos));
  return NextBlock;
}

// Walks the blocks of the open, identified archive.
static ArchiveOutcome walkBlocks(LoopState* state) {
  state->lastBlockStart = -1;
  for (;;) {
    servicePendingSignal();
    reportProgress();
    // The walk only ever moves forward: a block that would start at or before the one
    // just read (a folder entry whose header claims packed data without carrying it,
    // for example) ends the archive instead of being read again and again. So does a
    // selection that can take nothing more, once no entry goes on in a next volume.
    int32_t r = 0;
    long position = ftell(archiveReader.archiveFile);
    bool nothingWanted = selectionComplete && !dataStream.continuesInNext;
    if (position > state->lastBlockStart && !nothingWanted) {
      r = readNextBlock();
      if (r > 0) state->lastBlockStart = archiveReader.curBlockPos;
    } else {
      archiveReader.block.headType = 0;
    }

    if (r == 0 && !dataStream.continuesInNext) {
      releaseWindow();
      closeFile(&archiveReader.archiveFile);
      return ArchiveLeft;
    }
    if (archiveReader.block.headType == SubBlock) {
      seekArchiveFile(archivePosition((uint32_t)archiveReader.nextBlockPos));
      continue;
    }

    stripNamePrefix(archiveReader.fileName);
    convertAttributes();

    const FileEntry& file = archiveReader.entry;
    if ((file.flags & EntryContinuedFromPrevious) && archiveReader.solidArchive) {
      closeFile(&archiveReader.archiveFile);
      if (findFirstVolume()) {
        releaseWindow();
        return RestartWithFirstVolume;
      }
      showMessageId(TargetStatus, IDS_FIRST_VOLUME_REQUIRED);
      if (session.archivesFound > 1) {
        releaseWindow();
        return ArchiveLeft;
      }
      fatalError(SilentError, ExitFatal);
    }

    if (dataStream.continuesInNext && r == 0) {
      continueVolume();  // the next volume is not available
      countError(state, ExitWarning);
      releaseWindow();
      return ArchiveLeft;
    }

    dataStream.continuesInNext = (file.flags & EntryContinuedInNext) != 0;
    seekArchiveFile(archivePosition((uint32_t)archiveReader.nextBlockPos - file.packSize));

    EntryOutcome outcome = extractEntry(state);
    if (outcome == LeaveArchive) {
      releaseWindow();
      return ArchiveLeft;
    }
    // NextBlock and NextBlockHere both read on from the current position.
  }
}

// Opens the archive named by archiveName, identifies it and walks it.
static ArchiveOutcome extractArchive(LoopState* state) {
  state->decodedInArchive = 0;
  archiveReader.archiveFile = openArchiveFile(session.archiveName);
  if (archiveReader.archiveFile == nullptr) return ArchiveLeft;

  dataStream.archiveLength = measureArchive();

  // Each archive asks for its own password.
  if (state->askMode != AskNotYet) {
    passwordText[0] = 0;
    state->askMode = AskNotYet;
  }

  if (identifyArchive() == NotArchive) {
    showMessageId(TargetBox, IDS_NOT_ARCHIVE, session.archiveName);
    closeFile(&archiveReader.archiveFile);
    return ArchiveLeft;
  }

  dataStream.progressOrigin = archiveReader.embeddedOffset;
  setProgressRange();

  showMessageId(TargetStatus, IDS_EXTRACTING_FROM, session.archiveName);

  // Zeroed, so that an archive whose first entry claims to continue a solid stream
  // decodes the same everywhere instead of reading whatever the heap held.
  session.window = platformAllocateWindow(WindowSize);
  if (session.window == nullptr) {
    showMessageId(TargetBox, IDS_NO_MEMORY_TO_EXTRACT);
    fatalError(SilentError, ExitMemory);
  }

  fseek(archiveReader.archiveFile,
        (long)archiveReader.archiveHeader.headSize - archiveReader.archiveHeaderRead, SEEK_CUR);
  dataStream.continuesInNext = false;
  ArchiveOutcome outcome = walkBlocks(state);
  finishProgress();
  return outcome;
}

void extractArchives() {
  LoopState state;
  state.processedCount = 0;
  state.errorCount = 0;
  state.askMode = AskNotYet;
  state.decodedInArchive = 0;
  state.lastBlockStart = -1;

  while (nextName(&session.archiveList, session.archiveName)) {
    while (extractArchive(&state) == RestartWithFirstVolume) {
    }
  }

  if (state.processedCount == 0) {
    showMessageId(TargetBox, IDS_NO_FILES);
    session.exitCode = ExitWarning;
  } else if (state.errorCount == 0) {
    showMessage(TargetStatus, statusAllOk);
  } else {
    showMessageId(TargetBox, IDS_TOTAL_ERRORS, (long)state.errorCount);
  }
  if (state.askMode != AskNotYet) memset(passwordText, 0, sizeof passwordText);
  flushStatusTexts();  // the last text of the run is always shown
}
