// The main window's handlers and the positioning shared by the dialogs.
#include <stdio.h>

#include "extract/session.h"
#include "shell/geometry.h"
#include "shell/handlers.h"
#include "shell/resources/resource_ids.h"
#include "shell/win32/shell_globals.h"

int32_t onEraseBackground(WindowHandle, uint32_t, uintptr_t wParam, intptr_t) {
  if (!backgroundBitmap) return 0;
  HDC target = (HDC)wParam;
  BITMAP picture;
  GetObjectA(backgroundBitmap, sizeof picture, &picture);
  HDC memory = CreateCompatibleDC(target);
  HGDIOBJ previous = SelectObject(memory, backgroundBitmap);
  BitBlt(target, 0, 0, picture.bmWidth, picture.bmHeight, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
  return 1;
}

int32_t onDestroy(WindowHandle, uint32_t, uintptr_t, intptr_t) {
  PostQuitMessage(0);
  return 0;
}

int32_t onExit(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  DestroyWindow((HWND)window);
  return 0;
}

int32_t onStart(WindowHandle window, uint32_t, uint32_t, intptr_t) {
  mainWindow = (HWND)window;
  DialogBoxParamA(instanceHandle, MAKEINTRESOURCEA(IDD_DESTINATION), mainWindow,
                  destinationDialogProc, 0);
  return 0;
}

void centreOnWindow(HWND window, HWND reference) {
  RECT own, over;
  GetWindowRect(window, &own);
  GetWindowRect(reference, &over);
  HDC screen = GetDC(window);
  const int screenWidth = GetDeviceCaps(screen, HORZRES);
  const int screenHeight = GetDeviceCaps(screen, VERTRES);
  ReleaseDC(window, screen);
  const int x = centreCoordinate(over.left, over.right - over.left, own.right - own.left,
                                 screenWidth);
  const int y = centreCoordinate(over.top, over.bottom - over.top, own.bottom - own.top,
                                 screenHeight);
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void formatCaption(HWND window) {
  char captionTemplate[ShellTextCapacity];
  char caption[1025];  // wsprintfA writes at most 1024 characters and a zero
  captionTemplate[0] = 0;
  GetWindowTextA(window, captionTemplate, sizeof captionTemplate);
  wsprintfA(caption, captionTemplate, appTitle);
  SetWindowTextA(window, caption);
}

void selectAllText(HWND dialog, int item) {
  // An end beyond any text selects all of it.
  SendDlgItemMessageA(dialog, item, EM_SETSEL, 0, 0x1000100);
}
