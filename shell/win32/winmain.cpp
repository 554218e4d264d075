// The program's entry: start-up, the main window and the top-level message loop.
#include <string.h>

#include "extract/session.h"
#include "shell/geometry.h"
#include "shell/local_text.h"
#include "shell/resources/resource_ids.h"
#include "shell/resources/string_ids.h"
#include "shell/win32/shell_globals.h"
#include "shell/win32/system_libraries.h"

HINSTANCE instanceHandle;
HBRUSH backgroundBrush;
HBITMAP backgroundBitmap;
HWND mainWindow;

// The 32-bit product registers its class with the 48-byte extended description.
static_assert(sizeof(void*) != 4 || sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA layout");

namespace {
// Makes the executable's folder the working directory, so that the picture and the
// localised text file are found beside it.
void enterExecutableFolder() {
  char path[MAX_PATH];
  path[0] = 0;
  GetModuleFileNameA(nullptr, path, sizeof path);
  path[sizeof path - 1] = 0;
  char* lastSeparator = strrchr(path, '\\');
  if (!lastSeparator) return;
  // A drive root keeps its backslash: "D:" alone would name drive D's current folder.
  if (lastSeparator == path + 2 && path[1] == ':') ++lastSeparator;
  *lastSeparator = 0;
  SetCurrentDirectoryA(path);
}

bool registerMainClass(HINSTANCE instance) {
  WNDCLASSEXA windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = mainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
  windowClass.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
  windowClass.hbrBackground = backgroundBrush;
  windowClass.lpszClassName = appTitle;
  windowClass.hIconSm = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(IDI_APPLICATION_ICON),
                                          IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
  if (RegisterClassExA(&windowClass)) return true;

  WNDCLASSA plainClass;
  memset(&plainClass, 0, sizeof plainClass);
  plainClass.style = windowClass.style;
  plainClass.lpfnWndProc = windowClass.lpfnWndProc;
  plainClass.hInstance = instance;
  plainClass.hIcon = windowClass.hIcon;
  plainClass.hCursor = windowClass.hCursor;
  plainClass.hbrBackground = windowClass.hbrBackground;
  plainClass.lpszClassName = appTitle;
  return RegisterClassA(&plainClass) != 0;
}

MainWindowPlacement placeForPicture() {
  if (!backgroundBitmap) return placeMainWindow(false, 0, 0, ScreenRect{0, 0, 0, 0});
  BITMAP picture;
  memset(&picture, 0, sizeof picture);
  GetObjectA(backgroundBitmap, sizeof picture, &picture);
  RECT area;
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
    area.left = area.top = 0;
    area.right = GetSystemMetrics(SM_CXFULLSCREEN);
    area.bottom = GetSystemMetrics(SM_CYFULLSCREEN);
  }
  return placeMainWindow(true, picture.bmWidth, picture.bmHeight,
                         ScreenRect{area.left, area.top, area.right, area.bottom});
}
}  // namespace

BOOL initShell(HINSTANCE instance, int showCommand) {
  enterExecutableFolder();
  LoadStringA(instance, IDS_TITLE, appTitle, sizeof appTitle);
  readLocalText(1, appTitle, sizeof appTitle);
  backgroundBrush = CreateSolidBrush(RGB(125, 150, 210));
  instanceHandle = instance;
  if (!registerMainClass(instance)) return FALSE;

  backgroundBitmap =
      (HBITMAP)LoadImageA(nullptr, "vivedu.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
  const MainWindowPlacement placement = placeForPicture();
  HWND window = CreateWindowExA(0, appTitle, appTitle, placement.style, placement.x, placement.y,
                                placement.width, placement.height, nullptr, nullptr, instance,
                                nullptr);
  if (!window) {
    if (backgroundBitmap) DeleteObject(backgroundBitmap);
    return FALSE;
  }
  // Without a picture the main window stays hidden; it only owns the dialogs.
  if (backgroundBitmap) ShowWindow(window, showCommand);
  UpdateWindow(window);
  PostMessageA(window, WM_COMMAND, IDM_START, 0);
  return TRUE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // Before anything can load a library: nothing is taken from the download folder.
  restrictDllSearch();
  if (!initShell(instance, showCommand)) return 0;
  // The resources hold no accelerator table: the handle is null and nothing is
  // translated, but the loop keeps the place for one.
  HACCEL accelerators = LoadAcceleratorsA(instance, appTitle);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    if (TranslateAcceleratorA(message.hwnd, accelerators, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return (int)message.wParam;
}
