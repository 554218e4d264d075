// The password dialog, opened by the engine's password request.
#include "extract/session.h"
#include "shell/handlers.h"
#include "shell/resources/resource_ids.h"
#include "shell/resources/string_ids.h"
#include "shell/win32/shell_globals.h"

int32_t onPasswordRequest(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  DialogBoxParamA(instanceHandle, MAKEINTRESOURCEA(IDD_PASSWORD), (HWND)window,
                  passwordDialogProc, 0);
  return 0;
}

int32_t onPasswordInit(WindowHandle window, uint32_t, uintptr_t, intptr_t) {
  HWND dialog = (HWND)window;
  centreOnWindow(dialog, GetWindow(dialog, GW_OWNER));
  SetDlgItemTextA(dialog, IDC_PASSWORD, passwordText);
  selectAllText(dialog, IDC_PASSWORD);  // typing replaces the previous password
  return 1;
}

int32_t onPasswordOkCancel(WindowHandle window, uint32_t id, uint32_t, intptr_t) {
  HWND dialog = (HWND)window;
  if (id == IDOK) {
    GetDlgItemTextA(dialog, IDC_PASSWORD, passwordText, sizeof passwordText);
    if (!passwordText[0]) {
      char text[ShellTextCapacity];
      LoadStringA(instanceHandle, IDS_BAD_PASSWORD, text, sizeof text);
      MessageBoxA(dialog, text, appTitle, MB_ICONWARNING);
      return 1;
    }
  }
  EndDialog(dialog, 1);
  return 1;
}
