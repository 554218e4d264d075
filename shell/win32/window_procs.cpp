// The windows' procedures: each hands every message to its window's dispatch table.
#include "shell/win32/shell_globals.h"
#include "shell/window_tables.h"

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return routeMessage(&mainWindowMessages, window, message, wParam, lParam);
}

INT_PTR CALLBACK destinationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return routeMessage(&destinationMessages, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return routeMessage(&progressMessages, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK passwordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return routeMessage(&passwordMessages, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return routeMessage(&aboutMessages, dialog, message, wParam, lParam);
}
