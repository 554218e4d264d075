// The match copy on the window, inline so that a decoding loop can run it on its own
// local write position.
#pragma once

#include <stdint.h>
#include <string.h>

#include "unpack/always_inline.h"
#include "unpack/unpack_state.h"

// The copy for the cases copyWithinWindow does not take inline: distance 0, a source
// less than sixteen bytes behind, spans near or across the end of the window.
uint32_t copyWithinWindowExactly(uint8_t* window, uint32_t dest, uint32_t distance, uint32_t length);

// Appends `length` bytes copied from `distance` bytes back at window position `dest`
// (0 .. WindowMask) and returns the new write position, masked. The result is exactly
// that of a byte-by-byte copy in ascending order with every position taken modulo the
// window, so a distance below the length repeats the last distance bytes and distance
// 0 (or a multiple of the window size) leaves the bytes as they are.
ALWAYS_INLINE uint32_t copyWithinWindow(uint8_t* window, uint32_t dest, uint32_t distance, uint32_t length) {
  uint32_t source = (dest - distance) & WindowMask;
  uint32_t gap = distance & WindowMask;
  // Sixteen bytes at a time through a register, whole pieces even past the end of the
  // match: the bytes beyond it are saved first and put back after, because they are
  // history later matches may still read (or bytes not yet flushed). A source at least
  // sixteen bytes behind only reads bytes already final; a source ahead of the
  // destination only bytes not yet overwritten. No loop runs for a short match, so no
  // branch guesses its length.
  if (dest + length + 16 <= WindowSize && source + length + 16 <= WindowSize &&
      (gap >= 16 || source > dest)) {
    uint8_t* to = window + dest;
    const uint8_t* from = window + source;
    uint8_t saved[16], piece[16];
    memcpy(saved, to + length, 16);
    uint32_t done = 0;
    do {
      memcpy(piece, from + done, 16);
      memcpy(to + done, piece, 16);
      done += 16;
    } while (done < length);
    memcpy(to + length, saved, 16);
    return dest + length;
  }
  return copyWithinWindowExactly(window, dest, distance, length);
}
