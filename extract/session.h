// One extraction run of the engine: its process-wide state, its message output and
// its fatal ends. There is one session per process; every part of the engine reaches
// it directly.
#pragma once

#include <signal.h>
#include <stdio.h>

#include "extract/host.h"
#include "extract/name_list.h"

enum { PathCapacity = 260 };  // 259 characters and a terminating zero

// Error numbers of fatalError (the first argument).
enum ErrorNumber : int {
  SilentError = -1,  // the caller has shown its own message
  WriteError = 2,
  ReadError = 3,
  OpenError = 4,
  CreateError = 5,
  CloseError = 6,
  SeekError = 7,
  MemoryError = 8,
  BrokenArchive = 9
};

// Exit codes of the process and results of runExtraction.
enum ExitCode : int {
  ExitSuccess = 0,
  ExitWarning = 1,
  ExitFatal = 2,
  ExitCrc = 3,
  ExitWrite = 5,
  ExitMemory = 8,
  ExitUserBreak = 255
};

// Where showMessage sends a text.
enum MessageTarget : int {
  TargetBox = 0,     // message box owned by the dialog, caption appTitle
  TargetInfo = 1,    // dialog item 1112
  TargetStatus = 2,  // dialog item 1113, the status line
  TargetResult = 3   // dialog item 1114, the result column; 4 and above are discarded
};

// shutdownSession flags.
enum ShutdownFlags : int { FreeMemory = 1, CloseFiles = 2 };

struct ExtractSession {
  HostWindow dialog;                     // owner of boxes and holder of the status items
  char archiveName[PathCapacity];        // the archive being processed
  char destination[PathCapacity];        // destination folder, always ending in a backslash
  int exitCode;                          // what runExtraction returns
  NameList masks;                        // masks selecting entries: exactly "*.*"
  NameList archiveList;                  // archive files that exist and match archiveName
  int archivesFound;                     // names archiveList received
  unsigned char* window;                 // the 1 MiB decompression window, per archive
  FILE* outputFile;                      // file being written for the current entry
  char currentOutputName[PathCapacity];  // deleted by a fatal end while not empty
  bool testMode;                         // decode without writing
  bool skipChecksum;                     // do not fold produced bytes into the checksum
  bool testOnly;                         // a host's test run: decode and check, write nothing
  // The dialog is repainted at most every RepaintIntervalMs: when it last was, and
  // whether a text set since is not shown yet.
  uint32_t repaintedAt;
  bool repaintedOnce;
  bool repaintPending;
  // How the process ends when it does not return from runExtraction, for a host that
  // reports it at exit: the exit code, and the signal when one ended it (else 0).
  int endingExitCode;
  volatile sig_atomic_t endingSignal;
};

extern ExtractSession session;

// Shared with the installer shell, which writes them; the engine reads them.
extern char appTitle[200];        // caption of every message box
extern char passwordText[128];    // the archive password; zero first byte: none known
extern HostWindow progressBar;    // the progress bar the engine drives
extern char statusExtracting[32]; // string 8, loaded by the host before a run
extern char statusOk[10];         // string 9
extern char statusAllOk[10];      // string 10
extern char statusCreating[32];   // string 11

// Extracts every entry of archivePath below destinationPath. Returns 0, 1 or 3;
// fatal errors and signals end the process instead.
int runExtraction(HostWindow dialog, const char* archivePath, const char* destinationPath);

void resetSession();
void setupSession(const char* archivePath, const char* destinationPath);

// Shows the status texts set since the last repaint, if any: at the end of a run and
// before a message box.
void flushStatusTexts();

// Formats into a 512-byte buffer (a longer text is cut) and routes it by target.
void showMessage(int target, const char* format, ...);
void showMessageId(int target, unsigned stringId, ...);

// Shows the error (unless SilentError) with "Program aborted", cleans up and ends the
// process with exitCode.
[[noreturn]] void fatalError(int errorNumber, int exitCode);
void shutdownSession(int flags);
[[noreturn]] void onSignal(int signalNumber);
// Where the platform runs a signal handler between any two instructions of the program
// (posix), the handler only notes the signal (noteSignal, which is safe there), and the
// engine ends the run the next time it looks: before every read of packed data, every
// write of unpacked data, every entry, and after a question or password request.
void noteSignal(int signalNumber);
// Ends the run as onSignal does when a signal was noted; returns otherwise.
void servicePendingSignal();

// Fills the status texts from the string table the way the install run does; for hosts
// other than the installer shell.
void loadStatusTexts();

// Puts every process-wide record of the engine back to its start state, so that tests
// and fuzzers can drive many runs in one process. Not used by the product.
void resetEngineForTests();
