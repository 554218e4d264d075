// Reading the packed stream bit by bit, most significant bit first. Kept inline: both
// methods peek and skip several times per produced byte.
#pragma once

#include <stdint.h>

#include "unpack/always_inline.h"
#include "unpack/unpack_state.h"

// The next 16 bits, not consumed. Reads the byte at bytePos and the two after it.
ALWAYS_INLINE uint32_t peekBits() {
  const uint8_t* p = unpackState.bits.inputBuffer + unpackState.bits.bytePos;
  uint32_t wide = ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
  return (wide >> (8 - unpackState.bits.bitPos)) & 0xFFFF;
}

// Consumes n bits, n from 1 to 16.
ALWAYS_INLINE void skipBits(uint32_t n) {
  uint32_t bitPos = unpackState.bits.bitPos + n;
  unpackState.bits.bytePos += bitPos >> 3;
  unpackState.bits.bitPos = bitPos & 7;
}
