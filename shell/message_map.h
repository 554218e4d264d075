// Table-driven dispatch of window messages and commands. Every window and dialog of
// the shell hands its messages to routeMessage with its own constant MessageMap; the
// map's WM_COMMAND row forwards to routeCommand with the window's CommandMap. What no
// row handles goes to the platform default procedure that the map names.
//
// The types here are the platform's, spelled portably so that the dispatch and the
// tables compile and are tested on any system; the Windows build passes HWND, WPARAM
// and LPARAM through them unchanged.
#pragma once

#include <stdint.h>

typedef void* WindowHandle;

// (window, message, wParam, lParam) -> result
typedef int32_t (*MessageHandler)(WindowHandle window, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam);
// (window, command id = low word of wParam, notification code = high word, lParam)
typedef int32_t (*CommandHandler)(WindowHandle window, uint32_t id, uint32_t code,
                                  intptr_t lParam);

enum DefaultProcKind : int32_t {
  NoDefault = 0,
  WindowDefault = 1,    // DefWindowProcA
  DialogDefault = 2,    // DefDlgProcA
  MdiChildDefault = 3,  // DefMDIChildProcA
  FrameDefault = 4      // DefFrameProcA without an MDI client window
};

struct MessageEntry {
  uint32_t message;
  MessageHandler handler;
};

struct CommandEntry {
  uint32_t id;  // only the low 16 bits are compared
  CommandHandler handler;
};

struct MessageMap {
  int32_t count;
  const MessageEntry* entries;
  int32_t defaultKind;  // a DefaultProcKind
};

struct CommandMap {
  int32_t count;
  const CommandEntry* entries;
  int32_t defaultKind;  // a DefaultProcKind
};

enum : uint32_t {
  MessageDestroy = 0x2,         // WM_DESTROY
  MessageEraseBackground = 0x14,// WM_ERASEBKGND
  MessageInitDialog = 0x110,    // WM_INITDIALOG
  MessageCommand = 0x111        // WM_COMMAND
};

int32_t routeMessage(const MessageMap* map, WindowHandle window, uint32_t message,
                     uintptr_t wParam, intptr_t lParam);
int32_t routeCommand(const CommandMap* map, WindowHandle window, uintptr_t wParam,
                     intptr_t lParam);
int32_t callDefaultProc(int32_t kind, WindowHandle window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam);

// The platform's default procedures, one per kind 1..4 (shell/win32/platform_calls.cpp;
// the tests link recording fakes instead).
int32_t platformWindowDefault(WindowHandle window, uint32_t message, uintptr_t wParam,
                              intptr_t lParam);
int32_t platformDialogDefault(WindowHandle window, uint32_t message, uintptr_t wParam,
                              intptr_t lParam);
int32_t platformMdiChildDefault(WindowHandle window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam);
int32_t platformFrameDefault(WindowHandle window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam);
