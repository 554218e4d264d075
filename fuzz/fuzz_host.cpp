// The host the fuzz targets run the engine under: every text is looked at (so a bad
// format or an unterminated text shows up under the sanitizers) and dropped; the
// password request is always answered with the same password and every question
// with Yes, so no input can end the run through a cancelled dialog.
#include <string.h>

#include "extract/host.h"
#include "extract/session.h"
#include "shell/resources/english_catalogue.h"

static volatile size_t textBytesSeen;

static void look(const char* text) { textBytesSeen += strlen(text); }

int hostLoadString(unsigned id, char* buffer, int capacity) { return loadEnglishString(id, buffer, capacity); }

void hostSetItemText(HostWindow, int, const char* text) { look(text); }

void hostRepaint(HostWindow) {}

uint32_t hostMilliseconds() { return 0; }

int hostMessageBox(HostWindow, const char* text, const char* caption, unsigned style) {
  look(text);
  look(caption);
  return (style & 0xF) == BoxYesNoCancel ? AnswerYes : AnswerOk;
}

void hostRequestPassword() {
  memset(passwordText, 0, sizeof passwordText);
  strcpy(passwordText, "fuzz");
}

void hostProgress(HostWindow, unsigned, uintptr_t, intptr_t) {}
