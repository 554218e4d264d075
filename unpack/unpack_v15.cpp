// Placeholder until the version 1.5 method lands.
#include "unpack/unpack.h"

void unpackV15File(uint8_t*, bool) {}
