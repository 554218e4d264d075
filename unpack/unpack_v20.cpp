// Placeholder until the version 2.0 method lands.
#include "unpack/unpack.h"

void unpackV20File(uint8_t*, bool) {}
