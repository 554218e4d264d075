// The engine's host on a console: status lines on stdout (an entry's "Ok" on its own
// line), problems on stderr, the password from the command line, the environment or a
// prompt, and a progress bar on stderr when it is a terminal, redrawn in place.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "archive/data_stream.h"
#include "archive/reader.h"
#include "cli/console_host.h"
#include "cli/name_encoding.h"
#include "extract/host.h"
#include "extract/session.h"
#include "platform/posix/signals_posix.h"
#include "shell/resources/english_catalogue.h"
#include "shell/resources/string_ids.h"

ConsoleHostSettings consoleHost = {"lumvard-extract", nullptr, false, false, false, false, false};
ConsoleCounts consoleCounts;

enum { LineCapacity = 1200, ResultColumn = 68, BarWidth = 40 };

static int progressMaximum;
static unsigned progressPosition;
static bool progressReported;       // the engine moves the bar itself
static bool progressDrawn;
static unsigned lastLoadedId;        // the string the text being shown was made from; 0: a status template
static bool notArchiveShown;
static char heldLine[LineCapacity];  // an entry's status line waiting for its result
static bool lineHeld;

// ---- strings ----

// The console's own wording where the installer's fits a dialog but not a terminal.
static const struct {
  unsigned id;
  const char* text;
} consoleStrings[] = {
    {IDS_CREATING, "Creating    %s"},
    {IDS_SKIPPING, "Skipping    %s"},
    {IDS_SKIPPING_FOLDER, "Skipping    %s"},
    {IDS_NOT_ARCHIVE, "%s is not an archive, nor an installer that holds one"},
};

int hostLoadString(unsigned id, char* buffer, int capacity) {
  // The status templates are loaded once before the run; the texts made from them
  // later come without a load.
  bool statusTemplate = id == IDS_EXTRACTING || id == IDS_OK || id == IDS_ALL_OK || id == IDS_CREATING;
  lastLoadedId = statusTemplate ? 0 : id;
  if (id == IDS_EXTRACTING) {
    snprintf(buffer, (size_t)capacity, "%s", consoleHost.testing ? "Testing     %s" : "Extracting  %s");
    return (int)strlen(buffer);
  }
  for (const auto& entry : consoleStrings)
    if (entry.id == id) {
      snprintf(buffer, (size_t)capacity, "%s", entry.text);
      return (int)strlen(buffer);
    }
  return loadEnglishString(id, buffer, capacity);
}

// ---- the text of a line ----

// Every entry makes a line or two, so they are put together by copies rather than by
// formatting. Each appends to a line of `used` bytes (less than capacity) and cuts at
// the capacity as snprintf would; they return the line's new length.
static size_t appendText(char* line, size_t used, size_t capacity, const char* text, size_t length) {
  if (used + length >= capacity) length = capacity - 1 - used;
  memcpy(line + used, text, length);
  line[used + length] = 0;
  return used + length;
}

static size_t appendSpaces(char* line, size_t used, size_t capacity, size_t count) {
  if (used + count >= capacity) count = capacity - 1 - used;
  memset(line + used, ' ', count);
  line[used + count] = 0;
  return used + count;
}

// How far text, from its start, spells a leading part of name (separators alike).
static size_t namePartLength(const char* text, const char* name) {
  size_t i = 0;
  while (name[i] != 0 && (text[i] == name[i] || ((text[i] == '\\' || text[i] == '/') && name[i] == '\\'))) i++;
  return i;
}

void consoleText(const char* text, char* out, unsigned capacity) {
  const char* name = archiveReader.fileName;
  const char* start = nullptr;  // where the entry's name (or a leading part of it) begins
  size_t skipped = 0;           // the destination folder before it
  for (const char* p = text; *p != 0 && start == nullptr && session.destination[0] != 0; p++) {
    skipped = folderPrefixLength(p, session.destination);
    if (skipped > 0) start = p;
  }
  if (start == nullptr && name[0] != 0) {
    start = strstr(text, name);
    skipped = 0;
  }
  if (start == nullptr) {
    escapeControls(text, out, capacity, true);
    return;
  }
  char before[LineCapacity], shown[LineCapacity], after[LineCapacity];
  appendText(before, 0, sizeof before, text, (size_t)(start - text));
  escapeControls(before, out, capacity, true);
  const char* nameStart = start + skipped;
  size_t length = namePartLength(nameStart, name);
  if (length == 0) length = strlen(nameStart);  // a path below the destination, not this entry's
  displayName(nameStart, length, shown, sizeof shown);
  escapeControls(nameStart + length, after, sizeof after, true);
  size_t used = appendText(out, strlen(out), capacity, shown, strlen(shown));
  used = appendText(out, used, capacity, after, strlen(after));
  // The installer's templates pad names to a column; here the line ends with its text.
  while (used > 0 && out[used - 1] == ' ') out[--used] = 0;
}

// ---- the progress bar ----

static void eraseProgress() {
  if (!progressDrawn) return;
  fprintf(stderr, "\r%*s\r", BarWidth + 7, "");
  fflush(stderr);
  progressDrawn = false;
}

// The engine moves the bar for an installer's payload only, as the installer does; for
// a plain archive the bar follows the archive's position at each status line.
static void drawProgress() {
  if (!consoleHost.stderrIsTerminal || progressMaximum <= 0) return;
  if (!progressReported && archiveReader.archiveFile != nullptr) {
    long position = ftell(archiveReader.archiveFile);
    if (position > 0) progressPosition = (unsigned)((unsigned long)position >> (10 + dataStream.progressShift));
  }
  unsigned position = progressPosition > (unsigned)progressMaximum ? (unsigned)progressMaximum : progressPosition;
  int filled = (int)((long long)position * BarWidth / progressMaximum);
  char bar[BarWidth + 1];
  for (int i = 0; i < BarWidth; i++) bar[i] = i < filled ? '#' : '.';
  bar[BarWidth] = 0;
  fprintf(stderr, "\r[%s] %3d%%", bar, (int)((long long)position * 100 / progressMaximum));
  fflush(stderr);
  progressDrawn = true;
}

void hostProgress(HostWindow, unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (message == ProgressSetRange) {
    progressMaximum = (int)(((uintptr_t)lParam >> 16) & 0xFFFF);
  } else if (message == ProgressSetPos) {
    progressPosition = (unsigned)wParam;
    progressReported = true;
    drawProgress();
  }
}

// ---- lines ----

// A line goes out at once only where someone watches it beside the bar (a terminal
// is line-buffered anyway); into a file or a pipe the lines go in blocks, not one
// system call each. Whatever writes to stderr flushes them first, so the order holds.
static void printLine(const char* line) {
  eraseProgress();
  fputs(line, stdout);
  fputc('\n', stdout);
  if (consoleHost.stderrIsTerminal) fflush(stdout);
  drawProgress();
}

static void releaseHeldLine() {
  if (!lineHeld) return;
  lineHeld = false;
  if (!consoleHost.quiet) printLine(heldLine);
}

void finishConsoleProgress() {
  releaseHeldLine();
  eraseProgress();
  fflush(stdout);
}

void reportProblem(const char* text) {
  releaseHeldLine();
  eraseProgress();
  fflush(stdout);
  fprintf(stderr, "%s: %s\n", consoleHost.programName, text);
  fflush(stderr);
  consoleCounts.problems++;
}

static bool isProblem(unsigned id) {
  return id == IDS_FIRST_VOLUME_REQUIRED || id == IDS_CANNOT_CREATE_FOLDER || id == IDS_CANNOT_CREATE ||
         id == IDS_FILE_HEADER_BROKEN || id == IDS_UNEXPECTED_END;
}

static bool startsWith(const char* text, const char* start, size_t length) { return strncmp(text, start, length) == 0; }

// The entry's result joins its status line, in a column when the name leaves room.
static void showResult(const char* result) {
  if (!lineHeld) {
    if (!consoleHost.quiet) printLine(result);
    return;
  }
  consoleCounts.filesOk++;
  consoleCounts.bytesOk += archiveReader.entry.unpSize;
  size_t used = strlen(heldLine), columns = 0;
  for (size_t i = 0; i < used; i++) columns += ((unsigned char)heldLine[i] & 0xC0) != 0x80;
  int pad = columns < ResultColumn ? (int)(ResultColumn - columns) : 1;
  used = appendSpaces(heldLine, used, sizeof heldLine, (size_t)pad);
  used = appendText(heldLine, used, sizeof heldLine, result, strlen(result));
  if (consoleHost.verbose) snprintf(heldLine + used, sizeof heldLine - used, "  %u bytes", archiveReader.entry.unpSize);
  releaseHeldLine();
}

void hostSetItemText(HostWindow, int item, const char* text) {
  unsigned id = lastLoadedId;
  lastLoadedId = 0;
  if (item == ItemResult) {
    showResult(text);
    return;
  }
  releaseHeldLine();
  char line[LineCapacity];
  consoleText(text, line, sizeof line);
  if (isProblem(id)) {
    reportProblem(line);
  } else if (id == IDS_SKIPPING || id == IDS_SKIPPING_FOLDER) {
    if (consoleHost.verbose) printLine(line);
  } else if (id == 0 && (startsWith(text, "Extracting  ", 12) || startsWith(text, "Testing     ", 12))) {
    consoleCounts.files++;
    appendText(heldLine, 0, sizeof heldLine, line, strlen(line));
    lineHeld = true;
  } else {
    if (id == 0 && startsWith(text, "Creating ", 9)) consoleCounts.folders++;
    if (!consoleHost.quiet) printLine(line);
  }
}

// ---- boxes and questions ----

static int askYesNoCancel(const char* text) {
  if (!consoleHost.stdinIsTerminal) return AnswerYes;
  fflush(stdout);
  for (;;) {
    fprintf(stderr, "%s: %s [y/n/c] ", consoleHost.programName, text);
    char answer[32];
    // A signal while waiting ends the run here rather than answering for the user.
    if (!readLineUnlessSignalled(answer, sizeof answer)) return AnswerCancel;
    if (answer[0] == 'y' || answer[0] == 'Y') return AnswerYes;
    if (answer[0] == 'n' || answer[0] == 'N') return AnswerNo;
    if (answer[0] == 'c' || answer[0] == 'C') return AnswerCancel;
  }
}

// One box is one block on stderr: the first line carries the program's name, the
// lines after it are indented below it.
int hostMessageBox(HostWindow, const char* text, const char*, unsigned style) {
  unsigned id = lastLoadedId;
  lastLoadedId = 0;
  releaseHeldLine();
  eraseProgress();
  char shown[LineCapacity];
  consoleText(text, shown, sizeof shown);
  if ((style & 0xF) == BoxYesNoCancel) return askYesNoCancel(shown);
  if (id == IDS_NOT_ARCHIVE) notArchiveShown = true;
  if (id == IDS_NO_FILES && notArchiveShown) return AnswerOk;  // said already, in plainer words
  const char* from = shown;
  while (*from == '\n') from++;
  size_t length = strlen(from);
  while (length > 0 && from[length - 1] == '\n') length--;
  char indented[LineCapacity * 2];
  size_t used = 0;
  for (size_t i = 0; i < length && used + 3 < sizeof indented; i++) {
    indented[used++] = from[i];
    if (from[i] == '\n') indented[used++] = ' ', indented[used++] = ' ';
  }
  indented[used] = 0;
  reportProblem(indented);
  return AnswerOk;
}

// ---- the password ----

static void copyPassword(const char* text) {
  size_t length = strlen(text);
  if (length > sizeof passwordText - 1) length = sizeof passwordText - 1;
  memset(passwordText, 0, sizeof passwordText);
  memcpy(passwordText, text, length);
}

// The terminal's settings while echo is off for the password; the run may end in
// between (an interrupt at the prompt), and the terminal must get its echo back then too.
static struct termios savedTerminal;
static bool terminalQuiet;

static void restoreTerminal() {
  if (!terminalQuiet) return;
  terminalQuiet = false;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
}

// Reads a line from the terminal with echo switched off.
static void promptPassword() {
  fflush(stdout);
  fprintf(stderr, "Enter password: ");
  if (tcgetattr(STDIN_FILENO, &savedTerminal) == 0) {
    static bool restoredAtExit = false;
    if (!restoredAtExit) restoredAtExit = atexit(restoreTerminal) == 0;
    struct termios quiet = savedTerminal;
    quiet.c_lflag &= ~(tcflag_t)ECHO;
    terminalQuiet = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  char line[sizeof passwordText + 2];
  if (!readLineUnlessSignalled(line, sizeof line)) line[0] = 0;
  restoreTerminal();
  fputc('\n', stderr);
  line[strcspn(line, "\r\n")] = 0;
  copyPassword(line);
  memset(line, 0, sizeof line);
}

// The console shows every text as it comes: there is nothing to repaint.
void hostRepaint(HostWindow) {}

// The bar on the terminal is throttled by the same clock as the installer's.
uint32_t hostMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint32_t)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}

void hostRequestPassword() {
  finishConsoleProgress();
  bool given = consoleHost.password != nullptr;
  if (given && consoleHost.password[0] != 0) {
    copyPassword(consoleHost.password);
  } else if (!given && consoleHost.stdinIsTerminal) {
    promptPassword();
  } else {
    // passwordText stays empty, which ends the run: say why and what would help.
    char name[LineCapacity], text[LineCapacity + 128];
    displayName(archiveReader.fileName, strlen(archiveReader.fileName), name, sizeof name);
    if (given)
      snprintf(text, sizeof text, "%s is encrypted and the password given is empty", name);
    else
      snprintf(text, sizeof text,
               "%s is encrypted and no password is given: use --password TEXT or set LUMVARD_PASSWORD "
               "(there is no terminal to ask on)", name);
    reportProblem(text);
  }
}
