#include "extract/name_list.h"

#include <stdlib.h>
#include <string.h>

#include "extract/session.h"

void addName(NameList* list, const char* text) {
  int length = (int)strlen(text) + 1;
  if (list->offset + length > list->capacity) {
    int wanted = list->capacity * 2;
    if (wanted < list->offset + length) wanted = list->offset + length;
    if (wanted < 256) wanted = 256;
    char* grown = (char*)realloc(list->storage, (size_t)wanted);
    if (grown == nullptr) fatalError(MemoryError, ExitMemory);
    list->storage = grown;
    list->capacity = wanted;
  }
  memcpy(list->storage + list->offset, text, (size_t)length);
  list->offset += length;
  list->count += 1;
}

void rewindNames(NameList* list) {
  list->index = 0;
  list->offset = 0;
}

bool nextName(NameList* list, char* out) {
  if (list->index >= list->count) return false;
  const char* text = list->storage + list->offset;
  size_t length = strlen(text);
  size_t kept = length < PathCapacity - 1 ? length : PathCapacity - 1;
  memcpy(out, text, kept);
  out[kept] = 0;
  list->offset += (int)length + 1;
  list->index += 1;
  return true;
}

void clearNames(NameList* list) {
  free(list->storage);
  list->storage = nullptr;
  list->count = list->offset = list->index = list->capacity = 0;
}
