// A console helper for the installer's tests under Wine: finds a top-level window by
// its title and reads or pokes its dialog items through ordinary window messages.
//   probe wait TITLE [SECONDS]      wait until a visible window has that title
//   probe gone TITLE [SECONDS]      wait until no visible window has it
//   probe text TITLE ID             print the text of item ID (0: the window's own)
//   probe texts TITLE               print the texts of all its children, one a line
//   probe selection TITLE ID        print "start end" of an edit control's selection
//   probe settext TITLE ID TEXT     set the text of item ID
//   probe click TITLE ID            click button ID (BM_CLICK)
//   probe command TITLE ID          post WM_COMMAND with command ID to the window
//   probe rect TITLE                print the window's "left top right bottom"
// A TITLE beginning with '~' matches any title that contains the rest. Exit 1 when
// the window is not found.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
struct Search {
  const char* title;
  HWND found;
};

bool titleMatches(const char* title, const char* wanted) {
  if (wanted[0] == '~') return strstr(title, wanted + 1) != nullptr;
  return strcmp(title, wanted) == 0;
}

BOOL CALLBACK checkWindow(HWND window, LPARAM context) {
  Search* search = (Search*)context;
  char title[512];
  if (!IsWindowVisible(window) || !GetWindowTextA(window, title, sizeof title)) return TRUE;
  if (!titleMatches(title, search->title)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND findWindow(const char* title) {
  Search search = {title, nullptr};
  EnumWindows(checkWindow, (LPARAM)&search);
  return search.found;
}

HWND waitForWindow(const char* title, double seconds) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(100))
    if (HWND window = findWindow(title)) return window;
  return nullptr;
}

BOOL CALLBACK printChild(HWND child, LPARAM) {
  char text[1024];
  char className[64];
  text[0] = 0;
  SendMessageA(child, WM_GETTEXT, sizeof text, (LPARAM)text);
  GetClassNameA(child, className, sizeof className);
  printf("%d\t%s\t%s\n", GetDlgCtrlID(child), className, text);
  return TRUE;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: probe wait|gone|text|texts|selection|settext|click|command TITLE ...\n");
    return 2;
  }
  const char* action = argv[1];
  const char* title = argv[2];
  if (!strcmp(action, "gone")) {
    const double seconds = argc > 3 ? atof(argv[3]) : 10;
    for (DWORD start = GetTickCount(); GetTickCount() - start < seconds * 1000; Sleep(100))
      if (!findWindow(title)) return 0;
    return 1;
  }
  HWND window = waitForWindow(title, !strcmp(action, "wait") && argc > 3 ? atof(argv[3]) : 10);
  if (!window) {
    fprintf(stderr, "probe: no window titled '%s'\n", title);
    return 1;
  }
  const int id = argc > 3 ? atoi(argv[3]) : 0;
  HWND item = id ? GetDlgItem(window, id) : window;
  if (!strcmp(action, "wait")) return 0;
  if (!strcmp(action, "command")) {
    PostMessageA(window, WM_COMMAND, (WPARAM)id, 0);
    return 0;
  }
  if (!strcmp(action, "rect")) {
    RECT rect;
    GetWindowRect(window, &rect);
    printf("%ld %ld %ld %ld\n", (long)rect.left, (long)rect.top, (long)rect.right, (long)rect.bottom);
    return 0;
  }
  if (!strcmp(action, "texts")) {
    EnumChildWindows(window, printChild, 0);
    return 0;
  }
  if (!item) {
    fprintf(stderr, "probe: '%s' has no item %d\n", title, id);
    return 1;
  }
  if (!strcmp(action, "text")) {
    // GetWindowText does not reach the controls of another process; the message does.
    char text[1024];
    text[0] = 0;
    SendMessageA(item, WM_GETTEXT, sizeof text, (LPARAM)text);
    printf("%s\n", text);
  } else if (!strcmp(action, "selection")) {
    DWORD start = 0, end = 0;
    SendMessageA(item, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    printf("%lu %lu\n", (unsigned long)start, (unsigned long)end);
  } else if (!strcmp(action, "settext") && argc > 4) {
    SendMessageA(item, WM_SETTEXT, 0, (LPARAM)argv[4]);
  } else if (!strcmp(action, "click")) {
    PostMessageA(item, BM_CLICK, 0, 0);
  } else {
    fprintf(stderr, "probe: unknown action %s\n", action);
    return 2;
  }
  return 0;
}
