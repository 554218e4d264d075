// The libraries the installer needs beyond the ones every process has. Installers are
// started from download folders where anyone can drop a DLL, and a DLL that is not one
// of the system's known ones is looked for beside the executable first: the installer
// imports only known ones, narrows the search before anything else, and loads the
// common controls and the version reader by their full path in the system folder.
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
