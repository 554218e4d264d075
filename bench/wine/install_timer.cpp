// Times one installer run under Wine: waits for the destination dialog, types the
// destination, confirms it and waits for the installer's process to end.
//   install_timer TITLE DESTINATION
// Prints the seconds from the confirmation to the process's end, and the process's
// exit code; exit 1 when the dialog or the process cannot be found or does not end.
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {
enum { DestinationEdit = 110, WaitSeconds = 60, RunSeconds = 600 };

struct Search {
  const char* title;
  HWND found;
};

BOOL CALLBACK checkWindow(HWND window, LPARAM context) {
  Search* search = (Search*)context;
  char title[512];
  if (!IsWindowVisible(window) || !GetWindowTextA(window, title, sizeof title)) return TRUE;
  if (strcmp(title, search->title) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

HWND waitForWindow(const char* title) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < WaitSeconds * 1000; Sleep(20)) {
    Search search = {title, nullptr};
    EnumWindows(checkWindow, (LPARAM)&search);
    if (search.found) return search.found;
  }
  return nullptr;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: install_timer TITLE DESTINATION\n");
    return 2;
  }
  HWND dialog = waitForWindow(argv[1]);
  if (!dialog) {
    fprintf(stderr, "install_timer: no window titled '%s'\n", argv[1]);
    return 1;
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(dialog, &processId);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
  if (!process) {
    fprintf(stderr, "install_timer: cannot open the installer's process\n");
    return 1;
  }
  SetDlgItemTextA(dialog, DestinationEdit, argv[2]);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(dialog, IDOK));
  if (WaitForSingleObject(process, RunSeconds * 1000) != WAIT_OBJECT_0) {
    fprintf(stderr, "install_timer: the installer did not end\n");
    return 1;
  }
  QueryPerformanceCounter(&end);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  printf("%.3f %lu\n", (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart,
         (unsigned long)code);
  return 0;
}
