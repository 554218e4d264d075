// The progress dialog. The install run itself is still to come: for now the command
// that would start it closes the dialog again, and the destination dialog stays.
#include "shell/handlers.h"
#include "shell/resources/resource_ids.h"
#include "shell/win32/shell_globals.h"

int32_t onOpenProgress(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  DialogBoxParamA(instanceHandle, MAKEINTRESOURCEA(IDD_PROGRESS), (HWND)window,
                  progressDialogProc, 0);
  return 0;
}

int32_t onProgressInit(WindowHandle window, uint32_t, uintptr_t, intptr_t) {
  HWND dialog = (HWND)window;
  formatCaption(dialog);
  // Queued, so that the run starts once the dialog is shown.
  PostMessageA(dialog, WM_COMMAND, IDM_EXTRACT, 0);
  return 1;
}

int32_t onProgressClose(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  EndDialog((HWND)window, 1);
  return 1;
}

int32_t runInstall(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  EndDialog((HWND)window, 1);
  return 1;
}
