// The operating-system calls of the engine. Engine paths are byte strings with
// backslash separators; the posix implementation maps them to slashes when it
// touches the file system. Implemented once in platform/win32 and once in
// platform/posix.
#pragma once

#include <stdio.h>

// Opens a file with a C stdio mode ("rb", "w+b").
FILE* platformOpenFile(const char* path, const char* mode);
// Deletes a file; false when it could not be deleted.
bool platformDeleteFile(const char* path);
// Whether path names an existing file or folder; isDirectory tells which.
bool platformGetFileInfo(const char* path, bool* isDirectory);
