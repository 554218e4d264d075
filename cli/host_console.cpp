// The engine's host on a console: status texts on stdout, message boxes on stderr,
// the password from the command line, the environment or a prompt, and a progress
// bar on stderr when it is a terminal.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "cli/console_host.h"
#include "extract/host.h"
#include "extract/session.h"
#include "shell/resources/english_catalogue.h"

ConsoleHostSettings consoleHost = {"lumvard-extract", nullptr, false, false};

static int progressMaximum;
static bool progressDrawn;

int hostLoadString(unsigned id, char* buffer, int capacity) { return loadEnglishString(id, buffer, capacity); }

void finishConsoleProgress() {
  if (progressDrawn) fputc('\n', stderr);
  progressDrawn = false;
}

void hostSetItemText(HostWindow, int, const char* text) {
  finishConsoleProgress();
  puts(text);
  fflush(stdout);
}

// One box is one block on stderr: the first line carries the program's name, the
// lines after it are indented below it.
static void printBox(const char* text) {
  while (*text == '\n') text++;
  size_t length = strlen(text);
  while (length > 0 && text[length - 1] == '\n') length--;
  fprintf(stderr, "%s: ", consoleHost.programName);
  for (size_t i = 0; i < length; i++) {
    fputc(text[i], stderr);
    if (text[i] == '\n') fputs("  ", stderr);
  }
  fputc('\n', stderr);
}

static int askYesNoCancel(const char* text) {
  if (!consoleHost.stdinIsTerminal) return AnswerYes;
  for (;;) {
    fprintf(stderr, "%s: %s [y/n/c] ", consoleHost.programName, text);
    char line[32];
    if (fgets(line, sizeof line, stdin) == nullptr) return AnswerCancel;
    if (line[0] == 'y' || line[0] == 'Y') return AnswerYes;
    if (line[0] == 'n' || line[0] == 'N') return AnswerNo;
    if (line[0] == 'c' || line[0] == 'C') return AnswerCancel;
  }
}

int hostMessageBox(HostWindow, const char* text, const char*, unsigned style) {
  finishConsoleProgress();
  if ((style & 0xF) == BoxYesNoCancel) return askYesNoCancel(text);
  printBox(text);
  return AnswerOk;
}

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
  fprintf(stderr, "Enter password: ");
  if (tcgetattr(STDIN_FILENO, &savedTerminal) == 0) {
    static bool restoredAtExit = false;
    if (!restoredAtExit) restoredAtExit = atexit(restoreTerminal) == 0;
    struct termios quiet = savedTerminal;
    quiet.c_lflag &= ~(tcflag_t)ECHO;
    terminalQuiet = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  char line[sizeof passwordText + 2];
  if (fgets(line, sizeof line, stdin) == nullptr) line[0] = 0;
  restoreTerminal();
  fputc('\n', stderr);
  line[strcspn(line, "\r\n")] = 0;
  copyPassword(line);
  memset(line, 0, sizeof line);
}

void hostRequestPassword() {
  finishConsoleProgress();
  if (consoleHost.password != nullptr)
    copyPassword(consoleHost.password);
  else if (consoleHost.stdinIsTerminal)
    promptPassword();
  // Otherwise passwordText stays as it is and an empty one fails the request.
}

static void drawProgress(unsigned position) {
  if (!consoleHost.stderrIsTerminal || progressMaximum <= 0) return;
  if (position > (unsigned)progressMaximum) position = (unsigned)progressMaximum;
  enum { Width = 40 };
  int filled = (int)((long long)position * Width / progressMaximum);
  char bar[Width + 1];
  for (int i = 0; i < Width; i++) bar[i] = i < filled ? '#' : '.';
  bar[Width] = 0;
  fprintf(stderr, "\r[%s] %3d%%", bar, (int)((long long)position * 100 / progressMaximum));
  progressDrawn = true;
}

void hostProgress(HostWindow, unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (message == ProgressSetRange) {
    progressMaximum = (int)(((uintptr_t)lParam >> 16) & 0xFFFF);
  } else if (message == ProgressSetPos) {
    drawProgress((unsigned)wParam);
  }
}
