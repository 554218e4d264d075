// The engine's one narrow way out to whoever hosts it: the installer's progress
// dialog (Win32) or a console. The engine never calls the operating system's user
// interface itself; it calls these functions, and each host executable links exactly
// one implementation of them (platform/win32/host_win32.cpp, cli/host_console.cpp,
// tests/support/fake_host.cpp).
#pragma once

#include <stdint.h>

// An opaque window handle of the host (a HWND in the installer).
typedef void* HostWindow;

// Message-box styles and answers, with the values the Windows user interface uses.
enum HostBoxStyle : unsigned {
  BoxOk = 0x0,           // MB_OK
  BoxYesNoCancel = 0x3,  // MB_YESNOCANCEL
  BoxIconQuestion = 0x20 // MB_ICONQUESTION
};
enum HostBoxAnswer : int { AnswerOk = 1, AnswerCancel = 2, AnswerYes = 6, AnswerNo = 7 };

// Progress-bar messages, with the values of the common progress control.
enum HostProgressMessage : unsigned {
  ProgressSetRange = 1025,  // PBM_SETRANGE: lParam = maximum << 16 (minimum 0 in the low word)
  ProgressSetPos = 1026,    // PBM_SETPOS: wParam = position
  ProgressSetStep = 1028    // PBM_SETSTEP: wParam = step
};

// Dialog items the engine writes its status texts into.
enum HostStatusItem : int { ItemInfo = 1112, ItemStatus = 1113, ItemResult = 1114 };

// The command the engine sends to the active window to have the password asked.
enum { IDM_PASSWORD = 112 };

// Loads string `id` of the string table into buffer (at most capacity - 1 bytes and a
// terminating zero). Returns the length loaded, 0 when the string does not exist (the
// buffer then holds an empty text).
int hostLoadString(unsigned id, char* buffer, int capacity);

// Sets the text of dialog item `item` of `dialog`; the dialog shows it at its next
// repaint.
void hostSetItemText(HostWindow dialog, int item, const char* text);

// Repaints the dialog at once (no message loop runs while the engine works).
void hostRepaint(HostWindow dialog);

// A millisecond clock (any origin, wrapping around); only differences count.
uint32_t hostMilliseconds();

// Shows a modal message box owned by `dialog` and returns the button chosen.
int hostMessageBox(HostWindow dialog, const char* text, const char* caption, unsigned style);

// Sends IDM_PASSWORD to the active window; returns when the password dialog (or its
// console equivalent) has stored the answer in passwordText.
void hostRequestPassword();

// Sends a progress-bar message to `bar` (absent bars ignore it).
void hostProgress(HostWindow bar, unsigned message, uintptr_t wParam, intptr_t lParam);
