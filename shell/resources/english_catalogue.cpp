#include "shell/resources/english_catalogue.h"

#include <string.h>

namespace {
struct CatalogueEntry {
  unsigned id;
  const char* text;
};

const CatalogueEntry catalogue[] = {
#define LUMVARD_STRING(name, id, text) {id, text},
#include "shell/resources/catalogue.def"
#undef LUMVARD_STRING
};
}  // namespace

const char* englishString(unsigned id) {
  for (const CatalogueEntry& entry : catalogue)
    if (entry.id == id) return entry.text;
  return nullptr;
}

int loadEnglishString(unsigned id, char* buffer, int capacity) {
  const char* text = englishString(id);
  if (text == nullptr) text = "";
  int length = (int)strlen(text);
  if (length > capacity - 1) length = capacity - 1;
  memcpy(buffer, text, (size_t)length);
  buffer[length] = 0;
  return length;
}
