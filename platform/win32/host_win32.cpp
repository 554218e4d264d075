// The engine's host in the installer: the progress dialog, message boxes, the
// password request to the active window and the progress bar.
#include <windows.h>

#include "extract/host.h"

int hostLoadString(unsigned id, char* buffer, int capacity) {
  buffer[0] = 0;
  return LoadStringA(GetModuleHandleA(nullptr), id, buffer, capacity);
}

// A text control redraws itself as soon as its text changes, and each change is work
// for the window system: a status item keeps the latest text it is given here, and the
// control gets it at the next hostRepaint. The items' windows are looked up once per
// dialog, each lookup asking the system too.
enum { ItemCapacity = 3, TextCapacity = 512 };
struct StatusItem {
  HWND dialog;
  int item;
  HWND control;
  bool pending;  // text not yet handed to the control
  char text[TextCapacity];
};
static StatusItem statusItems[ItemCapacity];

static StatusItem* statusItem(HWND dialog, int item) {
  for (StatusItem& known : statusItems) {
    if (known.dialog == dialog && known.item == item) return &known;
    if (known.dialog != dialog) {
      known = {dialog, item, GetDlgItem(dialog, item), false, {0}};
      return &known;
    }
  }
  return nullptr;
}

void hostSetItemText(HostWindow dialog, int item, const char* text) {
  StatusItem* status = statusItem((HWND)dialog, item);
  if (status == nullptr) {  // more items than kept: set at once
    SetWindowTextA(GetDlgItem((HWND)dialog, item), text);
    return;
  }
  if (status->control == nullptr) return;
  lstrcpynA(status->text, text, TextCapacity);
  status->pending = true;
}

void hostRepaint(HostWindow dialog) {
  for (StatusItem& status : statusItems) {
    if (!status.pending || status.dialog != (HWND)dialog) continue;
    SetWindowTextA(status.control, status.text);
    status.pending = false;
  }
  UpdateWindow((HWND)dialog);
}

uint32_t hostMilliseconds() { return GetTickCount(); }

int hostMessageBox(HostWindow dialog, const char* text, const char* caption, unsigned style) {
  return MessageBoxA((HWND)dialog, text, caption, style);
}

void hostRequestPassword() { SendMessageA(GetActiveWindow(), WM_COMMAND, IDM_PASSWORD, 0); }

void hostProgress(HostWindow bar, unsigned message, uintptr_t wParam, intptr_t lParam) {
  SendMessageA((HWND)bar, message, (WPARAM)wParam, (LPARAM)lParam);
}
