// Named string ids, expanded from the catalogue.
#pragma once

enum StringId {
#define LUMVARD_STRING(name, id, text) name = id,
#include "shell/resources/catalogue.def"
#undef LUMVARD_STRING
};
