// The About box: the version values of the program's own version block, read in the
// table of the user's language.
#include <string.h>

#include "shell/handlers.h"
#include "shell/resources/resource_ids.h"
#include "shell/win32/shell_globals.h"
#include "shell/win32/system_libraries.h"

HFONT aboutFont;

namespace {
const char* versionTablePrefix() {
  const LANGID language = GetUserDefaultLangID() & 0x3FF;
  if (language == LANG_GERMAN) return "\\StringFileInfo\\040704b0\\";
  if (language == LANG_POLISH) return "\\StringFileInfo\\041504b0\\";
  return "\\StringFileInfo\\040904b0\\";
}

// Replaces each item's template text, the name of a version value, by that value.
void showVersionValues(HWND dialog, const void* block) {
  const char* prefix = versionTablePrefix();
  for (int item = IDC_ABOUT_COMPANY; item <= IDC_ABOUT_TRADEMARKS; ++item) {
    char query[ShellTextCapacity + 32];
    char value[ShellTextCapacity];
    const size_t prefixLength = strlen(prefix);
    memcpy(query, prefix, prefixLength);
    GetDlgItemTextA(dialog, item, query + prefixLength, ShellTextCapacity);
    void* found = nullptr;
    UINT length = 0;
    if (!queryVersionValue(block, query, &found, &length) || length == 0 || !found) continue;
    strncpy(value, (const char*)found, sizeof value - 1);
    value[sizeof value - 1] = 0;
    SetDlgItemTextA(dialog, item, value);
  }
}
}  // namespace

int32_t onAbout(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  DialogBoxParamA(instanceHandle, "AboutBox", (HWND)window, aboutDialogProc, 0);
  return 0;
}

int32_t onAboutInit(WindowHandle window, uint32_t, uintptr_t, intptr_t) {
  HWND dialog = (HWND)window;
  centreOnWindow(dialog, GetWindow(dialog, GW_OWNER));
  HDC screen = GetDC(dialog);
  const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(dialog, screen);
  aboutFont = CreateFontA(-MulDiv(pixelsPerInch, 8, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                          0, 0, 0, 0, 0, "Arial");
  SendDlgItemMessageA(dialog, IDC_ABOUT_TRADEMARKS, WM_SETFONT, (WPARAM)aboutFont, FALSE);

  char path[ShellTextCapacity];
  path[0] = 0;
  GetModuleFileNameA(nullptr, path, sizeof path - 1);
  path[sizeof path - 1] = 0;
  DWORD handle = 0;
  const DWORD size = fileVersionInfoSize(path, &handle);
  if (size == 0) return 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return 1;
  void* block = GlobalLock(memory);
  if (block && fileVersionInfo(path, size, block)) showVersionValues(dialog, block);
  GlobalUnlock(memory);
  GlobalFree(memory);
  return 1;
}

int32_t onAboutClose(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  if (aboutFont) {
    DeleteObject(aboutFont);
    aboutFont = nullptr;
  }
  EndDialog((HWND)window, 1);
  return 1;
}
