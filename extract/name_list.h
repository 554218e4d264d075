// An ordered list of zero-terminated texts kept back to back in one growable block.
// A list is filled first and walked afterwards: appending and reading share `offset`.
#pragma once

struct NameList {
  char* storage;   // the texts, each followed by a zero byte
  int count;       // number of texts
  int offset;      // where the next text is appended (filling) or read (walking)
  int index;       // texts already read in the current walk
  int capacity;    // bytes allocated for storage
};

// Appends text; when the block cannot grow the process ends with "Not enough memory" (8).
void addName(NameList* list, const char* text);
void rewindNames(NameList* list);
// Copies the next text (at most 259 bytes and a zero) to out; false at the end.
bool nextName(NameList* list, char* out);
// Releases the storage and zeroes every counter.
void clearNames(NameList* list);
