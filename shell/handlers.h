// The message and command handlers of the shell's five windows, named by their
// dispatch tables (shell/window_tables.cpp). The Windows build implements them in
// shell/win32/; the window handle is the window's HWND.
#pragma once

#include "shell/message_map.h"

// Main window
int32_t onEraseBackground(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
int32_t onDestroy(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
int32_t onStart(WindowHandle window, uint32_t id, uint32_t code, intptr_t lParam);
int32_t onExit(WindowHandle window, uint32_t id, uint32_t code, intptr_t lParam);
// Main window, destination dialog and progress dialog
int32_t onAbout(WindowHandle window, uint32_t id, uint32_t code, intptr_t lParam);

// Destination dialog
int32_t onDestinationInit(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
int32_t onDestinationOkCancel(WindowHandle dialog, uint32_t id, uint32_t code, intptr_t lParam);
int32_t onOpenProgress(WindowHandle dialog, uint32_t id, uint32_t code, intptr_t lParam);
int32_t onBrowse(WindowHandle dialog, uint32_t id, uint32_t code, intptr_t lParam);

// Progress dialog
int32_t onProgressInit(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
int32_t onProgressClose(WindowHandle dialog, uint32_t id, uint32_t code, intptr_t lParam);
int32_t onPasswordRequest(WindowHandle dialog, uint32_t id, uint32_t code, intptr_t lParam);
int32_t runInstall(WindowHandle dialog, uint32_t id, uint32_t code, intptr_t lParam);

// Password dialog
int32_t onPasswordInit(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
int32_t onPasswordOkCancel(WindowHandle dialog, uint32_t id, uint32_t code, intptr_t lParam);

// About box
int32_t onAboutInit(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
int32_t onAboutClose(WindowHandle dialog, uint32_t id, uint32_t code, intptr_t lParam);
