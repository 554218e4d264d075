// Constant slot tables of the version 2.0 method, shared by the decoder and the
// compressor so that both read a slot the same way.
#pragma once

#include <stdint.h>

enum {
  MainMatchSymbol = 270,  // the main table's first match symbol, length slot 0
  LengthSlots = 28,
  DistanceSlots = 48,
  ShortDistanceSlots = 8
};

// Length slots of the main table's match symbols (270 + slot) and of the repeat length
// table; the decoder adds 3 (match) or 2 (history distance) to the base.
extern const uint8_t lengthBase[LengthSlots];
extern const uint8_t lengthExtraBits[LengthSlots];

// Distance slots of the distance table; the decoder adds 1 to the base.
extern const uint32_t distanceBase[DistanceSlots];
extern const uint8_t distanceExtraBits[DistanceSlots];

// Distances of the short matches 261..268 (length 2); the decoder adds 1 to the base.
extern const uint8_t shortDistanceBase[ShortDistanceSlots];
extern const uint8_t shortDistanceExtraBits[ShortDistanceSlots];
