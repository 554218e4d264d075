// The engine's host in the installer: the progress dialog, message boxes, the
// password request to the active window and the progress bar.
#include <windows.h>

#include "extract/host.h"

int hostLoadString(unsigned id, char* buffer, int capacity) {
  buffer[0] = 0;
  return LoadStringA(GetModuleHandleA(nullptr), id, buffer, capacity);
}

void hostSetItemText(HostWindow dialog, int item, const char* text) {
  SetDlgItemTextA((HWND)dialog, item, text);
  UpdateWindow((HWND)dialog);
}

int hostMessageBox(HostWindow dialog, const char* text, const char* caption, unsigned style) {
  return MessageBoxA((HWND)dialog, text, caption, style);
}

void hostRequestPassword() { SendMessageA(GetActiveWindow(), WM_COMMAND, IDM_PASSWORD, 0); }

void hostProgress(HostWindow bar, unsigned message, uintptr_t wParam, intptr_t lParam) {
  SendMessageA((HWND)bar, message, (WPARAM)wParam, (LPARAM)lParam);
}
