#include "tests/shell/shell_fakes.h"

#include <string.h>

#include "shell/handlers.h"
#include "shell/local_text.h"

ShellFakes shellFakes;

namespace {
int32_t record(const char* name, WindowHandle window, uint32_t first, uintptr_t second,
               intptr_t lParam) {
  shellFakes.calls.push_back({name, window, first, second, lParam});
  auto found = shellFakes.results.find(name);
  return found == shellFakes.results.end() ? 0 : found->second;
}
}  // namespace

#define FAKE_MESSAGE(fn)                                                             \
  int32_t fn(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) { \
    return record(#fn, window, message, wParam, lParam);                            \
  }
#define FAKE_COMMAND(fn)                                                           \
  int32_t fn(WindowHandle window, uint32_t id, uint32_t code, intptr_t lParam) {   \
    return record(#fn, window, id, code, lParam);                                  \
  }

FAKE_MESSAGE(platformWindowDefault)
FAKE_MESSAGE(platformDialogDefault)
FAKE_MESSAGE(platformMdiChildDefault)
FAKE_MESSAGE(platformFrameDefault)

FAKE_MESSAGE(onEraseBackground)
FAKE_MESSAGE(onDestroy)
FAKE_COMMAND(onStart)
FAKE_COMMAND(onExit)
FAKE_COMMAND(onAbout)
FAKE_MESSAGE(onDestinationInit)
FAKE_COMMAND(onDestinationOkCancel)
FAKE_COMMAND(onOpenProgress)
FAKE_COMMAND(onBrowse)
FAKE_MESSAGE(onProgressInit)
FAKE_COMMAND(onProgressClose)
FAKE_COMMAND(onPasswordRequest)
FAKE_COMMAND(runInstall)
FAKE_MESSAGE(onPasswordInit)
FAKE_COMMAND(onPasswordOkCancel)
FAKE_MESSAGE(onAboutInit)
FAKE_COMMAND(onAboutClose)

uint32_t platformSystemLanguage() { return shellFakes.systemLanguage; }

int platformWindowsFolder(char* buffer, int capacity) {
  if (shellFakes.windowsFolder.empty() || (int)shellFakes.windowsFolder.size() >= capacity) return 0;
  memcpy(buffer, shellFakes.windowsFolder.c_str(), shellFakes.windowsFolder.size() + 1);
  return (int)shellFakes.windowsFolder.size();
}
