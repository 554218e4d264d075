#include "shell/window_tables.h"

#include "shell/handlers.h"
#include "extract/host.h"
#include "shell/resources/resource_ids.h"

namespace {
enum : uint32_t { CommandOk = 1, CommandCancel = 2 };  // IDOK, IDCANCEL

template <typename Row, int N>
constexpr int32_t rowCount(const Row (&)[N]) {
  return N;
}

// WM_COMMAND forwarders: each hands the command to its window's CommandMap.
int32_t mainWindowCommand(WindowHandle window, uint32_t, uintptr_t wParam, intptr_t lParam) {
  return routeCommand(&mainWindowCommands, window, wParam, lParam);
}
int32_t destinationCommand(WindowHandle window, uint32_t, uintptr_t wParam, intptr_t lParam) {
  return routeCommand(&destinationCommands, window, wParam, lParam);
}
int32_t progressCommand(WindowHandle window, uint32_t, uintptr_t wParam, intptr_t lParam) {
  return routeCommand(&progressCommands, window, wParam, lParam);
}
int32_t passwordCommand(WindowHandle window, uint32_t, uintptr_t wParam, intptr_t lParam) {
  return routeCommand(&passwordCommands, window, wParam, lParam);
}
int32_t aboutCommand(WindowHandle window, uint32_t, uintptr_t wParam, intptr_t lParam) {
  return routeCommand(&aboutCommands, window, wParam, lParam);
}

const MessageEntry mainWindowMessageRows[] = {
    {MessageEraseBackground, onEraseBackground},
    {MessageCommand, mainWindowCommand},
    {MessageDestroy, onDestroy},
};
const CommandEntry mainWindowCommandRows[] = {
    {IDM_START, onStart},
    {IDM_EXIT, onExit},
    {IDM_ABOUT, onAbout},
};

const MessageEntry destinationMessageRows[] = {
    {MessageCommand, destinationCommand},
    {MessageInitDialog, onDestinationInit},
};
const CommandEntry destinationCommandRows[] = {
    {IDM_ABOUT, onAbout},
    {CommandOk, onDestinationOkCancel},
    {CommandCancel, onDestinationOkCancel},
    {IDM_EXTRACT, onOpenProgress},
    {IDC_BROWSE, onBrowse},
};

const MessageEntry progressMessageRows[] = {
    {MessageCommand, progressCommand},
    {MessageInitDialog, onProgressInit},
};
const CommandEntry progressCommandRows[] = {
    {IDM_ABOUT, onAbout},
    {CommandOk, onProgressClose},
    {CommandCancel, onProgressClose},
    {IDM_PASSWORD, onPasswordRequest},
    {IDM_EXTRACT, runInstall},
};

const MessageEntry passwordMessageRows[] = {
    {MessageCommand, passwordCommand},
    {MessageInitDialog, onPasswordInit},
};
const CommandEntry passwordCommandRows[] = {
    {CommandOk, onPasswordOkCancel},
    {CommandCancel, onPasswordOkCancel},
};

const MessageEntry aboutMessageRows[] = {
    {MessageCommand, aboutCommand},
    {MessageInitDialog, onAboutInit},
};
const CommandEntry aboutCommandRows[] = {
    {CommandOk, onAboutClose},
    {CommandCancel, onAboutClose},
};
}  // namespace

const MessageMap mainWindowMessages = {rowCount(mainWindowMessageRows), mainWindowMessageRows,
                                       WindowDefault};
const CommandMap mainWindowCommands = {rowCount(mainWindowCommandRows), mainWindowCommandRows,
                                       WindowDefault};
const MessageMap destinationMessages = {rowCount(destinationMessageRows),
                                        destinationMessageRows, NoDefault};
const CommandMap destinationCommands = {rowCount(destinationCommandRows),
                                        destinationCommandRows, NoDefault};
const MessageMap progressMessages = {rowCount(progressMessageRows), progressMessageRows,
                                     NoDefault};
const CommandMap progressCommands = {rowCount(progressCommandRows), progressCommandRows,
                                     NoDefault};
const MessageMap passwordMessages = {rowCount(passwordMessageRows), passwordMessageRows,
                                     NoDefault};
const CommandMap passwordCommands = {rowCount(passwordCommandRows), passwordCommandRows,
                                     NoDefault};
const MessageMap aboutMessages = {rowCount(aboutMessageRows), aboutMessageRows, NoDefault};
const CommandMap aboutCommands = {rowCount(aboutCommandRows), aboutCommandRows, NoDefault};
