// Entry names are single-byte texts in the archive's code page; on Linux the file
// system and the terminal take UTF-8. Every byte of such a code page stands for one
// character, so the conversion is one table lookup per byte.
#pragma once

#include <stddef.h>

// Builds the table for a code page (iconv's "CP<n>"). False when iconv does not know
// it, or it is not a single-byte code page that keeps ASCII as it is; the previous
// table then stays.
bool setNameCodePage(int codePage);
int nameCodePage();

// The UTF-8 form of name's bytes, zero-terminated and cut to capacity. A byte the code
// page leaves undefined is kept as it is; the result is then false.
bool nameToUtf8(const char* name, size_t length, char* out, size_t capacity);

// The form shown on a terminal: UTF-8, backslashes as slashes, and every byte that a
// terminal could take as a control (below 0x20, 0x7F, a code point 0x80 to 0x9F) or
// that the code page leaves undefined written as \xNN, so that no name can send an
// escape sequence.
void displayName(const char* name, size_t length, char* out, size_t capacity);

// Control bytes of a text that is already UTF-8 (the engine's own words, a path given
// by the user) as \xNN, backslashes as slashes; line ends stay when keepLineEnds is set.
void escapeControls(const char* text, char* out, size_t capacity, bool keepLineEnds);

// Length of the start of text that names folder (a path ending in a separator),
// slashes and backslashes alike; 0 when text does not start with it.
size_t folderPrefixLength(const char* text, const char* folder);

// The engine's paths below `destination` get their entry-name part in UTF-8, the first
// name that cannot be converted is reported on stderr; other paths keep their bytes.
// Installed as the posix platform's name converter by the console host.
void setConvertedDestination(const char* destination);
bool convertEnginePath(const char* path, char* out, size_t capacity);
