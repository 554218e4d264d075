// The operating-system calls of the engine. Engine paths are byte strings with
// backslash separators; the posix implementation maps them to slashes when it
// touches the file system. Implemented once in platform/win32 and once in
// platform/posix.
#pragma once

#include <stdint.h>
#include <stdio.h>

// Opens a file with a C stdio mode ("rb", "w+b"). Opening for writing fails on an
// existing read-only file.
FILE* platformOpenFile(const char* path, const char* mode);
// Deletes a file, read-only or not; false when it could not be deleted.
bool platformDeleteFile(const char* path);
// Whether path names an existing file or folder; isDirectory tells which.
bool platformGetFileInfo(const char* path, bool* isDirectory);
// Whether the open file is a character device (console, printer, null device).
bool platformIsCharacterDevice(FILE* file);

// Results of platformMakeDirectory.
enum PlatformMakeDirectoryResult : int {
  PlatformDirectoryMade = 0,
  PlatformPathNotFound = 1,  // a parent folder is missing
  PlatformAlreadyExists = 2,
  PlatformOtherFailure = 3
};
// Makes a folder. root is the destination, ending in a separator: below it no folder on
// the way may be a link (a symbolic link, junction or other reparse point), which fails
// as PlatformOtherFailure. A path that does not lie below root is made as it is: the
// destination itself, and whatever it lies in, is the user's choice.
int platformMakeDirectory(const char* root, const char* path);
// Results of platformCreateOutput.
enum PlatformOutputResult : int {
  PlatformOutputOpened = 0,
  PlatformOutputPathNotFound = 1,  // a folder on the way is missing
  PlatformOutputRefused = 2,       // a link on the way, a read-only file or a folder at path
  PlatformOutputCharacterDevice = 3,
  PlatformOutputIsArchive = 4      // path is the file being read
};
// Starts the output file for path, below root as for platformMakeDirectory: a new
// temporary file in path's folder, opened "w+b". Whatever is at path (a file, a link,
// a pipe) stays untouched until platformCommitOutput moves the temporary file over it.
// Null with the reason in *result when it cannot start; archive, when not null, is the
// open file that must never be an output.
FILE* platformCreateOutput(const char* root, const char* path, FILE* archive, int* result);
// The engine path of the temporary file being written; empty when there is none.
const char* platformOutputTemporary();
// Flushes file, the output still open, gives it an MS-DOS time (as platformSetFileTime;
// an invalid one leaves the time alone) and the read-only bit (as platformSetReadOnly),
// then moves it over its target; the caller closes file afterwards. False when that
// fails: the target is left as it was, and the temporary file is removed, at the latest
// by platformDiscardOutput once file is closed.
bool platformCommitOutput(FILE* file, uint32_t dosTime, bool readOnly);
// Removes the temporary file, if there is one. Fit for the end of the process after a
// signal: it neither allocates nor touches any other file.
void platformDiscardOutput();
// Catches a signal that the process did not inherit as ignored (one that was stays
// ignored). On posix the handler is noteSignal, and blocking reads are not resumed
// after it, so that a question waiting for its answer returns; on Windows, which runs
// handlers on a thread of their own, it is onSignal, which ends the run at once.
void platformCatchSignal(int signalNumber);
// Lets go of the folders below the destination that the platform holds while outputs are
// written into them (so that nobody can swap one for a link meanwhile).
void platformReleaseFolders();

// Applies DOS attribute bits to a folder, as far as the platform knows them; failures
// are ignored.
void platformSetDirectoryAttributes(const char* path, uint32_t attributes);
// Makes a file read-only or writable; failures are ignored.
void platformSetReadOnly(const char* path, bool readOnly);
// Sets the last-access and last-write times of a file to an MS-DOS date and time read
// as local time. False, and nothing changed, when the time is not a valid date or the
// file cannot be touched.
bool platformSetFileTime(const char* path, uint32_t dosTime);

// Makes path (an optional drive and a folder) the process's current directory; false
// when it could not.
bool platformChangeDirectory(const char* path);

// Listing of one folder's entries, "." and ".." included, in the platform's order.
struct FolderScan;
// Null when the folder cannot be listed.
FolderScan* platformOpenFolder(const char* folder);
// The next entry's name (valid until the next call), or null at the end.
const char* platformReadFolder(FolderScan* scan);
void platformCloseFolder(FolderScan* scan);

// Memory for the decoder's window of `size` bytes (at most 2 MiB), zeroed; null when
// there is none. It is given back with free().
unsigned char* platformAllocateWindow(uint32_t size);
