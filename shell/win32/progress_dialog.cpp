// The progress dialog and the install run it carries: the extraction of the archive
// appended to this executable, the companion files, and the start of the setup
// program. The run ends the process in every outcome.
#include <direct.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>

#include "extract/session.h"
#include "platform/platform.h"
#include "shell/handlers.h"
#include "shell/install_paths.h"
#include "shell/resources/resource_ids.h"
#include "shell/resources/string_ids.h"
#include "shell/win32/shell_globals.h"
#include "shell/win32/system_libraries.h"

#include <commctrl.h>

namespace {
enum { ExecutablePathCapacity = 256, SetupNameCapacity = 32, ErrorFormatCapacity = 80 };

// Copies one companion file the way extracted files are written: under a temporary
// name beside the target, moved over it once whole. Whatever lies at the target (a file,
// or a link someone left there) is replaced, never written through, and stays as it was
// when the copy fails. The source is read only when it is a file, not a link; the copy
// keeps its time and read-only attribute.
void copyCompanionFile(const char* source, const char* target) {
  HANDLE in = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (in == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info;
  int result;
  FILE* out = nullptr;
  if (GetFileInformationByHandle(in, &info) &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
    out = platformCreateOutput(session.destination, target, nullptr, &result);
  if (out != nullptr) {
    static char buffer[32768];
    DWORD got;
    bool whole;
    while ((whole = ReadFile(in, buffer, sizeof buffer, &got, nullptr) != 0) && got != 0 &&
           fwrite(buffer, 1, got, out) == got) {
    }
    whole = whole && got == 0 && fflush(out) == 0 &&
            SetFileTime((HANDLE)_get_osfhandle(_fileno(out)), nullptr, nullptr, &info.ftLastWriteTime) &&
            platformCommitOutput(out, 0 /* no MS-DOS time: it is set */,
                                 (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0);
    fclose(out);
    if (!whole) platformDiscardOutput();
  }
  CloseHandle(in);
}

// Copies every file of the executable's folder that matches pattern into the
// destination, overwriting; a copy that fails is skipped.
void copyCompanionFiles(const char* executablePath, const char* destination,
                        const char* pattern) {
  char source[MAX_PATH];
  char target[MAX_PATH];
  if (!besideExecutable(executablePath, pattern, source, sizeof source)) return;
  WIN32_FIND_DATAA match;
  HANDLE search = FindFirstFileA(source, &match);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (intoDestination(destination, match.cFileName, target, sizeof target) &&
        besideExecutable(executablePath, match.cFileName, source, sizeof source))
      copyCompanionFile(source, target);
  } while (FindNextFileA(search, &match));
  FindClose(search);
}

int extractAndCopy(HWND dialog, const char* archivePath, const char* destination) {
  LoadStringA(instanceHandle, IDS_CREATING, statusCreating, sizeof statusCreating);
  LoadStringA(instanceHandle, IDS_EXTRACTING, statusExtracting, sizeof statusExtracting);
  LoadStringA(instanceHandle, IDS_OK, statusOk, sizeof statusOk);
  LoadStringA(instanceHandle, IDS_ALL_OK, statusAllOk, sizeof statusAllOk);
  EnableWindow(GetDlgItem(dialog, IDC_TARGET_PATH), TRUE);
  initCommonControls();

  RECT client;
  GetClientRect(dialog, &client);
  const int barHeight = GetSystemMetrics(SM_CYVSCROLL);
  HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, client.left,
                             client.bottom - barHeight, client.right, barHeight, dialog,
                             nullptr, instanceHandle, nullptr);
  progressBar = bar;

  const int result = runExtraction(dialog, archivePath, destination);
  if (result != 0) {
    char format[ErrorFormatCapacity];
    char text[ErrorFormatCapacity + 16];  // the format and one number
    LoadStringA(instanceHandle, IDS_EXTRACT_ERROR, format, sizeof format);
    wsprintfA(text, format, result);
    MessageBoxA(dialog, text, appTitle, MB_OK);
  } else {
    for (int i = 0; i < CompanionPatternCount; ++i)
      copyCompanionFiles(archivePath, destination, companionPatterns[i]);
  }
  DestroyWindow(bar);
  return result;
}

// Starts the setup program in the destination folder, without waiting for it and
// without a word when it cannot be started.
void startSetupProgram() {
  char name[SetupNameCapacity];
  LoadStringA(instanceHandle, IDS_SETUP_PROGRAM, name, sizeof name);
  upperCaseAscii(destinationPath);
  if (const int drive = driveNumberOf(destinationPath)) _chdrive(drive);
  _chdir(destinationPath);
  // The folder may fill its whole buffer: the program's path gets room of its own.
  char program[ShellTextCapacity + SetupNameCapacity];
  if (!joinPath(destinationPath, name, program, sizeof program)) return;
  // The path is the child's whole command line, quoted when it holds a blank.
  char argument[sizeof program + 2];
  if (!commandLineArgument(program, argument, sizeof argument)) return;
  _spawnl(_P_NOWAIT, program, argument, nullptr);
}
}  // namespace

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
  HWND dialog = (HWND)window;
  char executablePath[ExecutablePathCapacity];
  executablePath[0] = 0;
  GetModuleFileNameA(nullptr, executablePath, sizeof executablePath);
  executablePath[sizeof executablePath - 1] = 0;
  dropTrailingBackslash(destinationPath);
  SetDlgItemTextA(dialog, IDC_TARGET_PATH, destinationPath);
  SetDlgItemTextA(dialog, IDC_SOURCE_PATH, executablePath);

  const int result = extractAndCopy(dialog, executablePath, destinationPath);
  EndDialog(dialog, 1);
  if (result != 0) exit(result);
  startSetupProgram();
  exit(0);
}
