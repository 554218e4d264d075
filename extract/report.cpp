// The engine's output channels: status items, message boxes and the fatal end.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "extract/session.h"
#include "shell/resources/string_ids.h"

enum { MessageCapacity = 512 };

// Every status text is set, but a repaint of the dialog costs more than writing a
// small file: the dialog is repainted for the first text, then at most every
// RepaintIntervalMs, and whatever is left unshown before a box and at the end.
enum : uint32_t { RepaintIntervalMs = 50 };

static void repaintAt(uint32_t now) {
  hostRepaint(session.dialog);
  session.repaintedAt = now;
  session.repaintedOnce = true;
  session.repaintPending = false;
}

static void setStatusItem(int item, const char* text) {
  hostSetItemText(session.dialog, item, text);
  uint32_t now = hostMilliseconds();
  if (session.repaintedOnce && now - session.repaintedAt < RepaintIntervalMs)
    session.repaintPending = true;
  else
    repaintAt(now);
}

void flushStatusTexts() {
  if (session.repaintPending) repaintAt(hostMilliseconds());
}

static void routeText(int target, const char* text) {
  switch (target) {
    case TargetBox:
      flushStatusTexts();
      hostMessageBox(session.dialog, text, appTitle, BoxOk);
      break;
    case TargetInfo:
      setStatusItem(ItemInfo, text);
      break;
    case TargetStatus:
      setStatusItem(ItemStatus, text);
      break;
    case TargetResult:
      setStatusItem(ItemResult, text);
      break;
    default:
      break;  // formatted and discarded
  }
}

static void showFormatted(int target, const char* format, va_list arguments) {
  char text[MessageCapacity];
  // vsnprintf never writes past the buffer: a long argument is cut, not overflowed.
  vsnprintf(text, sizeof text, format, arguments);
  routeText(target, text);
}

void showMessage(int target, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  showFormatted(target, format, arguments);
  va_end(arguments);
}

void showMessageId(int target, unsigned stringId, ...) {
  char format[256];
  hostLoadString(stringId, format, sizeof format);
  va_list arguments;
  va_start(arguments, stringId);
  showFormatted(target, format, arguments);
  va_end(arguments);
}

// String ids of the error numbers; note that 4 is the open error and 7 the seek error.
static unsigned errorStringId(int errorNumber) {
  static const unsigned ids[] = {0, 0, IDS_WRITE_ERROR, IDS_READ_ERROR, IDS_OPEN_ERROR,
                                 IDS_CREATE_ERROR, IDS_CLOSE_ERROR, IDS_SEEK_ERROR,
                                 IDS_NO_MEMORY, IDS_BROKEN_ARCHIVE};
  if (errorNumber < 0 || errorNumber >= (int)(sizeof ids / sizeof ids[0])) return 0;
  return ids[errorNumber];
}

void fatalError(int errorNumber, int exitCode) {
  if (errorNumber != SilentError) {
    char text[200] = "";
    unsigned id = errorStringId(errorNumber);
    if (id != 0) hostLoadString(id, text, sizeof text);
    char aborted[32];
    hostLoadString(IDS_ABORTED, aborted, sizeof aborted);
    showMessage(TargetBox, "\n%s\n%s\n", text, aborted);
  }
  session.endingExitCode = exitCode;
  shutdownSession(CloseFiles | FreeMemory);
  exit(exitCode);
}

// Written by the handler, read by the program: the only kind of variable a handler may
// touch.
static volatile sig_atomic_t pendingSignal;

void noteSignal(int signalNumber) {
  if (pendingSignal == 0) pendingSignal = signalNumber;
}

void servicePendingSignal() {
  if (pendingSignal != 0) onSignal(pendingSignal);
}

void onSignal(int signalNumber) {
  session.endingSignal = signalNumber;
  session.endingExitCode = ExitUserBreak;
  if (signalNumber != 15) showMessageId(TargetBox, IDS_USER_BREAK);
  shutdownSession(CloseFiles | FreeMemory);
  exit(ExitUserBreak);
}

void loadStatusTexts() {
  hostLoadString(IDS_CREATING, statusCreating, sizeof statusCreating);
  hostLoadString(IDS_EXTRACTING, statusExtracting, sizeof statusExtracting);
  hostLoadString(IDS_OK, statusOk, sizeof statusOk);
  hostLoadString(IDS_ALL_OK, statusAllOk, sizeof statusAllOk);
}
