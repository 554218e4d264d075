#include "shell/win32/system_libraries.h"

#include "platform/win32/kernel_function.h"
#include "shell/install_paths.h"

// A library of the system folder, loaded at the first use of one of its functions.
// The late-bound imports (scripts/late_imports.sh) lay out the same record.
struct SystemLibrary {
  const char* name;
  HMODULE module;
  bool tried;  // loaded once, or failed once: never searched for again
};

namespace {
SystemLibrary commonControls = {"comctl32.dll", nullptr, false};
SystemLibrary versionReader = {"version.dll", nullptr, false};

// Loads the library from the system folder by its full path; its own imports are
// then looked for there too.
HMODULE loadFromSystemFolder(const char* name) {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length >= sizeof path) return nullptr;
  if (!joinPath(path, name, path, sizeof path)) return nullptr;
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The function's address, the library loaded at its first use; null when either is
// missing.
FARPROC systemAddress(SystemLibrary& library, const char* function) {
  if (!library.tried) {
    library.module = loadFromSystemFolder(library.name);
    library.tried = true;
  }
  return library.module ? GetProcAddress(library.module, function) : nullptr;
}

// The same as type Function. The detour through the generic function pointer type
// tells the compiler that the cast is meant.
template <typename Function>
Function systemFunction(SystemLibrary& library, const char* function) {
  return (Function)(void (*)())systemAddress(library, function);
}
}  // namespace

void restrictDllSearch() {
  // Both calls are looked up: systems without the update that brought the first, and
  // the oldest ones without the second, must still start the installer.
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryCall)(LPCSTR);
  SetDefaultDllDirectoriesCall setDefault =
      kernelFunction<SetDefaultDllDirectoriesCall>("SetDefaultDllDirectories");
  if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  SetDllDirectoryCall setDirectory = kernelFunction<SetDllDirectoryCall>("SetDllDirectoryA");
  if (setDirectory) setDirectory("");
}

void initCommonControls() {
  typedef void(WINAPI * InitCommonControlsCall)();
  if (InitCommonControlsCall call =
          systemFunction<InitCommonControlsCall>(commonControls, "InitCommonControls"))
    call();
}

DWORD fileVersionInfoSize(const char* path, DWORD* handle) {
  typedef DWORD(WINAPI * Call)(LPCSTR, LPDWORD);
  Call call = systemFunction<Call>(versionReader, "GetFileVersionInfoSizeA");
  return call ? call(path, handle) : 0;
}

BOOL fileVersionInfo(const char* path, DWORD size, void* block) {
  typedef BOOL(WINAPI * Call)(LPCSTR, DWORD, DWORD, LPVOID);
  Call call = systemFunction<Call>(versionReader, "GetFileVersionInfoA");
  return call ? call(path, 0, size, block) : FALSE;
}

BOOL queryVersionValue(const void* block, const char* query, void** found, UINT* length) {
  typedef BOOL(WINAPI * Call)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  Call call = systemFunction<Call>(versionReader, "VerQueryValueA");
  return call ? call(block, query, found, length) : FALSE;
}

// The first call of a late-bound function comes here through its binding stub, which
// then goes on to the address returned. A function the system lacks ends the program
// as a missing import would have kept it from starting.
extern "C" FARPROC WINAPI lateBind(SystemLibrary* library, const char* function,
                                   FARPROC* slot) {
  const FARPROC address = systemAddress(*library, function);
  if (!address) FatalAppExitA(0, function);
  *slot = address;
  return address;
}
