// The destination dialog: proposes a folder, lets the user type or browse for one,
// and accepts only a folder on a fixed disk.
#include <stddef.h>
#include <string.h>

#include "extract/session.h"
#include "shell/destination_text.h"
#include "shell/handlers.h"
#include "shell/local_text.h"
#include "shell/resources/resource_ids.h"
#include "shell/resources/string_ids.h"
#include "shell/win32/shell_globals.h"

#include <commdlg.h>

char destinationPath[ShellTextCapacity];

// The 32-bit product hands the file dialog the classic 76-byte description.
static_assert(sizeof(void*) != 4 ||
                  offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76,
              "OPENFILENAMEA layout");

namespace {
void showDefaultFolder(HWND dialog) {
  LoadStringA(instanceHandle, IDS_DEFAULT_FOLDER, destinationPath, sizeof destinationPath);
  SetDlgItemTextA(dialog, IDC_PATH, destinationPath);
  selectAllText(dialog, IDC_PATH);
}

void refuseDrive(HWND dialog, const char* root) {
  char format[ShellTextCapacity];
  char text[1025];
  LoadStringA(instanceHandle, IDS_BAD_DRIVE, format, sizeof format);
  wsprintfA(text, format, root);
  MessageBoxA(dialog, text, appTitle, MB_ICONERROR);
  showDefaultFolder(dialog);
}
}  // namespace

int32_t onDestinationInit(WindowHandle window, uint32_t, uintptr_t, intptr_t) {
  HWND dialog = (HWND)window;
  centreOnWindow(dialog, GetWindow(dialog, GW_OWNER));
  if (!readLocalText(2, destinationPath, sizeof destinationPath))
    LoadStringA(instanceHandle, IDS_DEFAULT_FOLDER, destinationPath, sizeof destinationPath);
  SetDlgItemTextA(dialog, IDC_PATH, destinationPath);
  formatCaption(dialog);
  selectAllText(dialog, IDC_PATH);
  return 1;
}

int32_t onDestinationOkCancel(WindowHandle window, uint32_t id, uint32_t, intptr_t) {
  HWND dialog = (HWND)window;
  if (id != IDOK) {
    EndDialog(dialog, 1);
    PostMessageA(mainWindow, WM_COMMAND, IDM_EXIT, 0);
    return 1;
  }
  GetDlgItemTextA(dialog, IDC_PATH, destinationPath, sizeof destinationPath);
  char root[ShellTextCapacity];
  destinationRoot(destinationPath, root, sizeof root);
  if (GetDriveTypeA(root) == DRIVE_FIXED) {
    SendMessageA(dialog, WM_COMMAND, IDM_EXTRACT, 0);
    return 1;
  }
  refuseDrive(dialog, root);
  return 1;
}

int32_t onBrowse(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  HWND dialog = (HWND)window;
  GetDlgItemTextA(dialog, IDC_PATH, destinationPath, sizeof destinationPath);
  if (!destinationPath[0]) GetCurrentDirectoryA(sizeof destinationPath, destinationPath);

  char filter[32];
  buildFileFilter("All Files(*.*)|*.*|", filter, sizeof filter);

  char fileName[ShellTextCapacity];
  char fileTitle[ShellTextCapacity];
  fileName[0] = fileTitle[0] = 0;
  OPENFILENAMEA request;
  memset(&request, 0, sizeof request);
  request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the classic layout, 76 bytes
  request.hwndOwner = dialog;
  request.lpstrFilter = filter;
  request.nFilterIndex = 1;
  request.lpstrFile = fileName;
  request.nMaxFile = sizeof fileName;
  request.lpstrFileTitle = fileTitle;
  request.nMaxFileTitle = sizeof fileTitle;
  request.lpstrInitialDir = destinationPath;
  request.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_SHOWHELP;
  if (GetOpenFileNameA(&request)) {
    // Keep the folder with its trailing backslash; the picked file only names it.
    if (request.nFileOffset < sizeof fileName) fileName[request.nFileOffset] = 0;
    strcpy(destinationPath, fileName);
    SetDlgItemTextA(dialog, IDC_PATH, destinationPath);
  }
  return 1;
}
