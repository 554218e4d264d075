// lumvard-extract: extracts, tests or lists an archive (or an installer's payload) on
// a console with the installer's own engine.
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "cli/console_host.h"
#include "cli/listing.h"
#include "cli/member_selection.h"
#include "cli/name_encoding.h"
#include "platform/posix/signals_posix.h"
#include "cli/tool_options.h"
#include "extract/names.h"
#include "extract/session.h"
#include "platform/posix/posix_path.h"
#include "shell/resources/string_ids.h"

namespace {

enum OptionId : int { OptList, OptTest, OptPassword, OptCodePage, OptQuiet, OptVerbose };

const ToolOption options[] = {
    {"--list", 'l', nullptr, OptList,
     "list the entries (size, packed size, ratio, time, attributes D R H S A,\n"
     "method, * for encrypted, checksum, name) from the headers alone"},
    {"--test", 't', nullptr, OptTest, "decode and check every entry, write nothing"},
    {"--password", 'p', "TEXT", OptPassword,
     "password of encrypted entries; else $LUMVARD_PASSWORD, else it is\n"
     "asked on the terminal"},
    {"--codepage", 0, "N", OptCodePage,
     "single-byte code page of the entry names (default 1252); names are\n"
     "written and shown in UTF-8"},
    {"--quiet", 'q', nullptr, OptQuiet, "show problems only"},
    {"--verbose", 'v', nullptr, OptVerbose,
     "also show entries decoded only to keep a solid archive's state, and\n"
     "each file's size"},
};

const ToolDescription tool = {
    "lumvard-extract",
    "[OPTION]... ARCHIVE DESTINATION [MEMBER]...\n"
    "  or:  lumvard-extract --test [OPTION]... ARCHIVE [MEMBER]...\n"
    "  or:  lumvard-extract --list [OPTION]... ARCHIVE [MEMBER]...",
    "Extract the entries of ARCHIVE (a plain archive, or an installer with its\n"
    "payload appended) below DESTINATION, which is made when missing. Status lines\n"
    "go to stdout, problems to stderr, a progress bar to stderr when it is a\n"
    "terminal.\n"
    "\n"
    "MEMBERs take only some entries: a path as --list shows it (a folder takes\n"
    "everything below it), or a shell pattern in quotes, where * and ? also match\n"
    "'/' (\"*.txt\" takes every .txt file in every folder); case is ignored. A\n"
    "MEMBER that takes no entry is reported and makes the exit status at least 1.",
    options,
    sizeof options / sizeof options[0],
    "Exit status:\n"
    "  0    all extracted and checked\n"
    "  1    warnings: an entry could not be extracted, nothing to extract,\n"
    "       not an archive, or another problem said on stderr\n"
    "  2    the archive cannot be opened or read, the destination is no folder,\n"
    "       a close error, standard output cannot be written, or the first\n"
    "       volume is missing\n"
    "  3    a checksum failed\n"
    "  5    write error\n"
    "  8    out of memory\n"
    "  64   bad command line\n"
    "  255  password not given, or interrupted\n",
    nullptr,
};

enum Mode : int { ModeExtract, ModeTest, ModeList };

struct Request {
  int mode = ModeExtract;
  int codePage = 1252;
  const char** operands = nullptr;  // ARCHIVE, DESTINATION when extracting, MEMBERs
  int operandCount = 0;
  int operandCapacity = 0;
};

// An option or an operand; 0 when it is taken, else the exit code.
int takeArgument(void* context, const ToolOption* option, const char* value) {
  Request* request = (Request*)context;
  if (option == nullptr) return keepOperand(tool, value, request->operands, &request->operandCount, request->operandCapacity);
  switch (option->id) {
    case OptList: request->mode = ModeList; break;
    case OptTest: request->mode = ModeTest; break;
    case OptPassword: consoleHost.password = value; break;
    case OptQuiet: consoleHost.quiet = true; break;
    case OptVerbose: consoleHost.verbose = true; break;
    case OptCodePage:
      if (!readCodePageNumber(value, &request->codePage))
        return usageError(tool, "--codepage wants a code page number, not '%s'", value);
      break;
  }
  return 0;
}

// Returns -1 when the run goes on, else the exit code.
int readCommandLine(int argc, char** argv, Request* request) {
  request->operands = (const char**)calloc((size_t)argc, sizeof *request->operands);
  request->operandCapacity = argc;
  int ended = readArguments(tool, argc, argv, takeArgument, request);
  if (ended >= 0) return ended;
  if (request->operandCount == 0) return usageError(tool, "no ARCHIVE given");
  if (request->mode == ModeExtract && request->operandCount < 2) return usageError(tool, "no DESTINATION given");
  for (int i = request->mode == ModeExtract ? 2 : 1; i < request->operandCount; i++)
    if (!addMember(request->operands[i])) return usageError(tool, "MEMBER '%s' names no entry", request->operands[i]);
  if (!setNameCodePage(request->codePage))
    return usageError(tool, "code page %d is not an ASCII-based single-byte code page iconv knows",
                      request->codePage);
  return -1;
}

// The engine changes the current directory while it scans for the archive, so both
// paths are made absolute first.
bool makeAbsolute(const char* path, char* out, size_t capacity) {
  if (path[0] == '/') return snprintf(out, capacity, "%s", path) < (int)capacity;
  char here[PATH_MAX];
  if (getcwd(here, sizeof here) == nullptr) return false;
  int written = snprintf(out, capacity, "%s/%s", here, path);
  return written > 0 && (size_t)written < capacity;
}

// A path as the tool's own messages show it: a path may come from a shell pattern over
// someone else's folder, so its control characters are written as \xNN and cannot
// reach the terminal as escape sequences. Backslashes stay as they are.
const char* shownPath(const char* path) {
  static char shown[PATH_MAX * 4];
  size_t used = 0;
  for (const char* p = path; *p != 0 && used + 5 < sizeof shown; p++) {
    unsigned char byte = (unsigned char)*p;
    if (byte < 0x20 || byte == 0x7F)
      used += (size_t)snprintf(shown + used, sizeof shown - used, "\\x%02X", byte);
    else
      shown[used++] = *p;
  }
  shown[used] = 0;
  return shown;
}

// The archive must be a file that opens; an archive named without an extension that
// names nothing is looked for with ".rar" appended, as the engine does (path then
// takes the extension). A pipe is refused: opening one waits for a writer that may
// never come, and an archive is read by seeking anyway.
int checkArchive(char* path, size_t capacity) {
  struct stat info;
  int found = stat(path, &info);
  int reason = errno;
  if (found == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
    fprintf(stderr, "%s: cannot open %s: not a file that can be read by seeking\n", tool.name, shownPath(path));
    return ExitFatal;
  }
  if (found != 0) {
    const char* slash = strrchr(path, '/');
    size_t length = strlen(path);
    char withExtension[PATH_MAX];
    if (strchr(slash ? slash : path, '.') == nullptr && length + 5 <= capacity && length + 5 <= sizeof withExtension) {
      memcpy(withExtension, path, length);
      memcpy(withExtension + length, ".rar", 5);
      if (stat(withExtension, &info) == 0 && !S_ISDIR(info.st_mode)) {
        memcpy(path, withExtension, length + 5);
        return 0;
      }
    }
  } else if (S_ISDIR(info.st_mode)) {
    found = -1;
    reason = EISDIR;
  } else if (access(path, R_OK) != 0) {
    found = -1;
    reason = errno;
  }
  if (found == 0) return 0;
  fprintf(stderr, "%s: cannot open %s: %s\n", tool.name, shownPath(path), strerror(reason));
  return ExitFatal;
}

int checkDestination(const char* path) {
  struct stat info;
  if (stat(path, &info) != 0 || S_ISDIR(info.st_mode)) return 0;
  fprintf(stderr, "%s: cannot extract into %s: %s\n", tool.name, shownPath(path), strerror(ENOTDIR));
  return ExitFatal;
}

double secondsSince(const struct timespec& start) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)(now.tv_sec - start.tv_sec) + (double)(now.tv_nsec - start.tv_nsec) / 1e9;
}

// The summary's last word on a run that ended with exit code result; terminated when a
// signal ended it.
const char* outcomeOf(int result, bool terminated) {
  static const struct {
    int result;
    const char* outcome;
  } outcomes[] = {
      {ExitSuccess, "all OK"},
      {ExitWarning, "with warnings"},
      {ExitCrc, "checksum failures"},
      {ExitWrite, "failed: write error"},
      {ExitMemory, "failed: out of memory"},
      {ExitUserBreak, "failed: no password"},
  };
  if (terminated) return "failed: terminated";
  for (const auto& known : outcomes)
    if (known.result == result) return known.outcome;
  return "failed";
}

void printSummary(const Request& request, const char* outcome, double seconds) {
  printf("%s %u file%s (%llu bytes)", request.mode == ModeTest ? "Tested" : "Extracted", consoleCounts.filesOk,
         consoleCounts.filesOk == 1 ? "" : "s", (unsigned long long)consoleCounts.bytesOk);
  if (consoleCounts.files > consoleCounts.filesOk) printf(" of %u", consoleCounts.files);
  if (request.mode == ModeExtract) printf(", %u folder%s made", consoleCounts.folders, consoleCounts.folders == 1 ? "" : "s");
  printf(" in %.2f s: %s\n", seconds, outcome);
}

// A closed terminal (SIGHUP) or a quit key (SIGQUIT) ends the run like a termination:
// the partly written file is removed, no finished one, and no box is shown. A signal
// the process inherited as ignored stays ignored. Like the engine's own, the handler
// only notes it; the run ends at the engine's next look.
void endLikeTermination(int) { noteSignal(SIGTERM); }

// The run in progress, for the summary of a run that ends the process through exit():
// a fatal error or a termination. An interrupt (SIGINT) ends without one.
Request request;
struct timespec runStart;
bool runReturned;

void summariseEndedRun() {
  if (runReturned || session.endingSignal == SIGINT) return;
  finishConsoleProgress();
  printSummary(request, outcomeOf(session.endingExitCode, session.endingSignal != 0), secondsSince(runStart));
}

// A reader of stdout that has gone (`| head`) ends the run the same way, once a line
// finds the pipe closed, instead of killing the process with a temporary file left
// behind. A file size limit (ulimit -f) is met as the write error it is: ignored, the
// signal lets the write fail, which removes the temporary file and ends with 5.
void installConsoleSignals() {
  static const int signals[] = {SIGHUP, SIGQUIT, SIGPIPE};
  for (int signalNumber : signals) catchSignalUnlessIgnored(signalNumber, endLikeTermination);
  signal(SIGXFSZ, SIG_IGN);
}

// Status lines, a listing or the help that could not all be written (a full disk, a
// closed pipe whose signal was ignored) make no success; a run that failed otherwise
// keeps its own code.
int withStandardOutputWritten(int result) {
  errno = 0;
  bool flushed = fflush(stdout) == 0;
  int reason = errno;
  if (flushed && !ferror(stdout)) return result;
  fprintf(stderr, "%s: cannot write standard output%s%s\n", tool.name, reason != 0 ? ": " : "",
          reason != 0 ? strerror(reason) : "");
  return result == ExitSuccess || result == ExitWarning ? ExitFatal : result;
}

int runTool(int argc, char** argv) {
  int ended = readCommandLine(argc, argv, &request);
  if (ended >= 0) return ended;

  char archive[PathCapacity];
  char destination[PathCapacity];
  // A test run writes nothing: its destination only starts the output paths whose length
  // the engine checks, so it is the shortest there is, and what a test accepts does not
  // depend on the folder it runs in (a listing has none).
  if (!makeAbsolute(request.operands[0], archive, sizeof archive) ||
      !makeAbsolute(request.mode == ModeExtract ? request.operands[1] : "/", destination, sizeof destination))
    return usageError(tool, "a path is longer than %d bytes", PathCapacity - 1);
  // Paths reach the file system with every backslash as a folder separator: files for
  // a folder named "a\b" would land in b inside a. (A listing opens the archive as named.)
  const char* withBackslash = nullptr;
  if (request.mode != ModeList && strchr(archive, '\\') != nullptr) withBackslash = archive;
  if (request.mode == ModeExtract && strchr(destination, '\\') != nullptr) withBackslash = destination;
  if (withBackslash != nullptr)
    return usageError(tool, "'%s' holds a backslash, which would be read as a folder separator",
                      shownPath(withBackslash));
  int refused = checkArchive(archive, sizeof archive);
  if (refused == 0 && request.mode == ModeExtract) refused = checkDestination(destination);
  if (refused != 0) return refused;

  if (consoleHost.password == nullptr) consoleHost.password = getenv("LUMVARD_PASSWORD");
  consoleHost.stdinIsTerminal = isatty(STDIN_FILENO) != 0;
  consoleHost.stderrIsTerminal = isatty(STDERR_FILENO) != 0 && !consoleHost.quiet;  // -q: no bar either
  consoleHost.testing = request.mode == ModeTest;
  if (membersGiven()) entrySelector = memberSelects;
  if (request.mode == ModeList) return listArchive(archive);

  char title[sizeof appTitle];
  hostLoadString(IDS_TITLE, title, sizeof title);
  memcpy(appTitle, title, sizeof appTitle);
  loadStatusTexts();
  session.testOnly = request.mode == ModeTest;
  static char consoleBar;
  progressBar = &consoleBar;
  // Entry names reach the file system in UTF-8; the destination is the user's already.
  setConvertedDestination(session.destination);
  posixNameConverter = convertEnginePath;

  installConsoleSignals();
  clock_gettime(CLOCK_MONOTONIC, &runStart);
  if (!consoleHost.quiet) atexit(summariseEndedRun);
  int result = runExtraction(nullptr, archive, destination);
  runReturned = true;
  finishConsoleProgress();
  // A run that ended before the last entry cannot tell which MEMBERs the rest held.
  bool walkedAll = result == ExitSuccess || result == ExitWarning || result == ExitCrc;
  if (walkedAll) reportUnmatchedMembers();
  // Whatever was said on stderr (an archive cut short, a broken header: entries lost
  // that the engine counts as no error) is never a success, as in a listing.
  if (result == ExitSuccess && consoleCounts.problems > 0) result = ExitWarning;
  if (!consoleHost.quiet) printSummary(request, outcomeOf(result, false), secondsSince(runStart));
  return result;
}

}  // namespace

int main(int argc, char** argv) { return withStandardOutputWritten(runTool(argc, argv)); }
