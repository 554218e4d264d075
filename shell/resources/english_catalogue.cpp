#include "shell/resources/english_catalogue.h"

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
