// The platform calls behind the shell's portable parts: the default window
// procedures of the dispatch tables and the lookups of the localised text reader.
#include "shell/local_text.h"
#include "shell/message_map.h"
#include "shell/win32/shell_globals.h"

int32_t platformWindowDefault(WindowHandle window, uint32_t message, uintptr_t wParam,
                              intptr_t lParam) {
  return (int32_t)DefWindowProcA((HWND)window, message, wParam, lParam);
}

int32_t platformDialogDefault(WindowHandle window, uint32_t message, uintptr_t wParam,
                              intptr_t lParam) {
  return (int32_t)DefDlgProcA((HWND)window, message, wParam, lParam);
}

int32_t platformMdiChildDefault(WindowHandle window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam) {
  return (int32_t)DefMDIChildProcA((HWND)window, message, wParam, lParam);
}

int32_t platformFrameDefault(WindowHandle window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) {
  return (int32_t)DefFrameProcA((HWND)window, nullptr, message, wParam, lParam);
}

uint32_t platformSystemLanguage() { return GetSystemDefaultLangID(); }

int platformWindowsFolder(char* buffer, int capacity) {
  return (int)GetWindowsDirectoryA(buffer, (UINT)capacity);
}
