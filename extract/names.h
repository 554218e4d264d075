// Names, wildcards, name lists and the expansion of the archive name.
#pragma once

#include <stddef.h>

// The text after the last separator; else after the first colon; else the whole path.
const char* pointToName(const char* path);
// Splits text into its folder part (with its trailing separator) and name part;
// returns whether text holds '?' or '*' anywhere. folderOut and nameOut have room for
// 260 bytes.
bool splitName(const char* text, char* folderOut, char* nameOut, bool skipDrive);
void upperCase(char* text);
int compareNoCase(const char* a, const char* b);
int compareNoCaseN(const char* a, const char* b, size_t n);
// The wildcard match with the old-style rules for '*', '?' and '.'.
bool wildcardMatch(const char* mask, const char* name);
// Whether the current entry's fileName is selected: by entrySelector when a host set
// one, else by session.masks.
bool isSelected();
// A host that picks entries by rules of its own (the console's MEMBER operands) sets
// this; it is asked once per entry, with the entry's name in the archive.
extern bool (*entrySelector)(const char* entryName);
// Set by such a host once no entry after the ones it selected can be wanted: the walk
// then ends after the current entry, as at the archive's end, instead of decoding the
// rest of a solid archive for nothing.
extern bool selectionComplete;
// Fills archiveList from archiveName and sets archivesFound.
void expandArchiveName();

// Listing of one folder, used by expandArchiveName.
struct FolderScan;
FolderScan* openFolder(const char* folder);
// The next entry's name, or null at the end of the listing.
const char* readFolder(FolderScan* scan);
void closeFolder(FolderScan* scan);
// Whether path names an existing file or folder; *isDirectory tells which.
bool getFileInfo(const char* path, bool* isDirectory);
