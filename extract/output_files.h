// File-system operations of the engine on the archive and output files and folders.
// They keep no state; they read and rewrite the current entry of the archive reader.
#pragma once

#include <stdint.h>
#include <stdio.h>

// Opens the archive for binary reading; on failure shows "ERROR: Cannot open %s"
// (25) in a box and returns null.
FILE* openArchiveFile(const char* name);
// Closes *file unless it is absent and marks it absent; a failing close is fatal
// ("File close error", exit code 2).
void closeFile(FILE** file);

// Rewrites an entry name in place: drops a drive, a leading ".\", one leading "..\"
// and a leading backslash, each at most once, in that order.
void stripNamePrefix(char* name);
// Adjusts the current entry's fileAttr to this platform (Unix hosts: folder or file).
void convertAttributes();

// Why makeDirectory failed.
enum MakeDirectoryReason : int { DirectoryMade = 0, DirectoryPathNotFound, DirectoryExists, DirectoryOtherFailure };
// 0 on success (the attributes are then applied to the new folder), -1 on failure
// with the reason in *reason.
int makeDirectory(const char* path, uint32_t attributes, int* reason);
// Creates every missing folder on the way to the last component of path, announcing
// each with statusCreating. Every separator of path becomes a backslash.
void createParentDirectories(char* path);
// How createOutputFile went.
enum CreateOutputOutcome : int { OutputCreated = 0, OutputNotCreated, OutputCharacterDevice };
// Starts the output file for path (below session.destination): a temporary file beside
// it, opened "w+b"; whatever is at path stays as it was until commitOutputFile. When
// that fails, creates the parent folders and tries once more. Null when it cannot be
// made: a link on the way below the destination, an existing read-only file or folder,
// the archive being read, or a character device at path (told apart by *outcome).
FILE* createOutputFile(char* path, int* outcome);
// The temporary file being written for the current output; empty when none.
const char* outputTemporaryName();
// With file, the output, still open: gives it the entry's time and read-only attribute
// and moves it over its target; the caller closes it then. False when the move failed:
// the target is as it was, and discardOutputFile removes the temporary file once closed.
bool commitOutputFile(FILE* file);
// Removes the temporary file of the current output, if any; the target stays as it was.
void discardOutputFile();
bool isCharacterDevice(FILE* file);
// Replaces the text after the last '.' of name (folders included) by extension, or
// appends '.' and extension when there is none.
void setExtension(char* name, const char* extension);
// Whether a file or folder of that name exists.
bool fileExists(const char* name);

// Whether an entry name, after stripNamePrefix, may be written below destination:
// no ".." path component anywhere and destination + name within 259 characters.
bool isSafeEntryName(const char* destination, const char* name);
