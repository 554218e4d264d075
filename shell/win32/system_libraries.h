// The libraries the installer needs beyond kernel32 and the C run-time library.
// Installers are started from download folders where anyone can drop a DLL, and a DLL
// loaded at the start resolves its own imports through the program's folder first. So
// the installer narrows the search before anything else, binds user32, gdi32 and
// comdlg32 at the first call of each function (lateBind, reached from stubs made at
// build time), and loads every library by its full path in the system folder.
#pragma once

#include <windows.h>

// Limits the DLL search to the system folder where the system allows that, else takes
// the current folder out of it. The first thing the program does.
void restrictDllSearch();

// InitCommonControls of the system's common controls; nothing when they cannot be loaded.
void initCommonControls();

// The version reader's calls; each fails (0 or FALSE) when the library cannot be loaded.
DWORD fileVersionInfoSize(const char* path, DWORD* handle);
BOOL fileVersionInfo(const char* path, DWORD size, void* block);
BOOL queryVersionValue(const void* block, const char* query, void** found, UINT* length);
