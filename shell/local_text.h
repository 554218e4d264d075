// The localised text file "lmvtid.tdx": per language, entry 1 overrides the title and
// entry 2 the proposed destination folder. Strings are stored scrambled; a one-byte
// XOR checksum covers the string area from the first string to the end of the file.
//
// Layout (32-bit little-endian numbers, absolute offsets):
//   0   format (at least 2), languageCount, checksum (lowest byte used)
//   12  languageCount x {languageId, tableOffset}
//   at tableOffset: stringCount, then stringCount x {unused, length, dataOffset}
#pragma once

#include <stdint.h>
#include <stdio.h>

#define LOCAL_TEXT_FILE_NAME "lmvtid.tdx"

// Set once a file's checksum has matched; later lookups of the process skip the check.
extern bool localTextValidated;

// Looks up entry `entry` (from 1) for the system's language, in the working folder's
// file, else the Windows folder's. 1 when delivered; 0 leaves the buffer untouched.
int readLocalText(uint32_t entry, char* buffer, int capacity);

// Reads entry `entry` of `language` (its first language as fallback) into buffer, at
// most *capacity - 1 bytes and a zero. *capacity receives the count of bytes read; 0 of
// them leaves the buffer as it was. 1 on success, 0 when the file cannot deliver.
int lookupLocalText(FILE* file, uint32_t language, uint32_t entry, char* buffer, int* capacity);

// 1 when the XOR of the string area equals the header's checksum byte. An empty string
// area (the first string at or beyond the end of the file) is rejected.
int validateLocalTextFile(FILE* file);

// XOR of count bytes (count at least 1).
uint8_t xorBytes(const uint8_t* bytes, uint32_t count);

// XORs byte j with (0x6D + j) mod 256 for j < count - 1: the last byte is left as it
// is. The same operation scrambles.
void unscrambleText(char* bytes, uint32_t count);

// Platform calls of readLocalText (shell/win32/platform_calls.cpp; tests fake them).
uint32_t platformSystemLanguage();                  // the system's default language id
int platformWindowsFolder(char* buffer, int capacity);  // length, 0 on failure
