// The engine's host in the installer: the progress dialog, message boxes, the
// password request to the active window and the progress bar.
#include <windows.h>

#include "extract/host.h"

int hostLoadString(unsigned id, char* buffer, int capacity) {
  buffer[0] = 0;
  return LoadStringA(GetModuleHandleA(nullptr), id, buffer, capacity);
}

// A status item keeps every text it is given but stops drawing itself (a text control
// redraws at once when its text changes) until the next hostRepaint.
enum { HeldCapacity = 3 };
static HWND heldItems[HeldCapacity];

static void holdRedraw(HWND item) {
  for (HWND& held : heldItems) {
    if (held == item) return;
    if (held == nullptr) {
      SendMessageA(item, WM_SETREDRAW, FALSE, 0);
      held = item;
      return;
    }
  }
}

// The status items' windows, looked up once per dialog: each lookup asks the system.
struct ItemWindow {
  HWND dialog;
  int item;
  HWND control;
};
static ItemWindow itemWindows[HeldCapacity];

static HWND itemWindow(HWND dialog, int item) {
  for (ItemWindow& known : itemWindows) {
    if (known.dialog == dialog && known.item == item) return known.control;
    if (known.dialog == nullptr || known.dialog != dialog) {
      known = {dialog, item, GetDlgItem(dialog, item)};
      return known.control;
    }
  }
  return GetDlgItem(dialog, item);
}

void hostSetItemText(HostWindow dialog, int item, const char* text) {
  HWND control = itemWindow((HWND)dialog, item);
  if (control == nullptr) return;
  holdRedraw(control);
  SetWindowTextA(control, text);
}

void hostRepaint(HostWindow dialog) {
  for (HWND& held : heldItems) {
    if (held == nullptr) continue;
    SendMessageA(held, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(held, nullptr, TRUE);
    held = nullptr;
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
