#include "shell/destination_text.h"

#include <string.h>

void destinationRoot(const char* path, char* root, size_t capacity) {
  if (capacity == 0) return;
  size_t length = 0;
  while (path[length] && length + 1 < capacity) {
    root[length] = path[length];
    if (path[length++] == '\\') break;
  }
  root[length] = 0;
}

void buildFileFilter(const char* source, char* filter, size_t capacity) {
  if (capacity < 2) return;
  size_t length = strlen(source);
  if (length > capacity - 2) length = capacity - 2;  // room for the closing zeros
  memcpy(filter, source, length);
  filter[length] = filter[length + 1] = 0;
  if (length == 0) return;
  const char separator = filter[length - 1];
  for (size_t i = 0; i < length; ++i)
    if (filter[i] == separator) filter[i] = 0;
}
