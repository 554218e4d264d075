// Refilling the input buffer of the bit reader from the data stream.
#include <string.h>

#include "archive/data_stream.h"
#include "unpack/unpack.h"

enum : uint32_t { CarryOver = 32 };

void refillInput(bool first) {
  BitReader& bits = unpackState.bits;
  if (first) {
    bits.validBytes = readPacked(bits.inputBuffer, InputBufferSize);
    bits.bytePos = 0;
    return;
  }
  // The bytes a step may still be reading move to the front, so the bit position
  // survives the refill; 8160 is a multiple of 16, which keeps 2.0 cipher blocks whole.
  memcpy(bits.inputBuffer, bits.inputBuffer + InputBufferSize - CarryOver, CarryOver);
  bits.bytePos %= CarryOver;
  int32_t got = readPacked(bits.inputBuffer + CarryOver, InputBufferSize - CarryOver);
  // Nothing read: the old bytes stay and decoding runs on over them; the checksum of
  // the entry then tells the damage.
  bits.validBytes = got > 0 ? got + (int32_t)CarryOver : (int32_t)bits.bytePos;
}
