// The match copy on the window, inline so that a decoding loop can run it on its own
// local write position.
#pragma once

#include <stdint.h>
#include <string.h>

#include "unpack/unpack_state.h"

// Appends `length` bytes copied from `distance` bytes back at window position `dest`
// (0 .. WindowMask) and returns the new write position, masked. The result is exactly
// that of a byte-by-byte copy in ascending order with every position taken modulo the
// window, so a distance below the length repeats the last distance bytes and distance
// 0 (or a multiple of the window size) leaves the bytes as they are.
inline uint32_t copyWithinWindow(uint8_t* window, uint32_t dest, uint32_t distance, uint32_t length) {
  uint32_t source = (dest - distance) & WindowMask;
  uint32_t gap = distance & WindowMask;
  if (dest + length <= WindowSize && source + length <= WindowSize) {
    if (gap == 0) return (dest + length) & WindowMask;  // every byte copied onto itself
    if (gap >= 8 || source > dest) {
      // Eight bytes at a time through a register: a source at least eight bytes behind
      // only reads bytes already final, a source ahead of the destination only bytes
      // not yet overwritten. Exactly `length` bytes are stored: the bytes ahead of the
      // write position are history that later matches may still reach.
      uint8_t* to = window + dest;
      const uint8_t* from = window + source;
      uint32_t n = length;
      while (n >= 8) {
        uint64_t chunk;
        memcpy(&chunk, from, 8);
        memcpy(to, &chunk, 8);
        from += 8;
        to += 8;
        n -= 8;
      }
      while (n-- > 0) *to++ = *from++;
      return (dest + length) & WindowMask;
    }
    // A source one to seven bytes behind: the pattern repeats byte by byte.
    uint8_t* to = window + dest;
    const uint8_t* from = window + source;
    for (uint32_t i = 0; i < length; i++) to[i] = from[i];
    return (dest + length) & WindowMask;
  }
  // One of the spans wraps around the end of the window.
  while (length-- > 0) {
    window[dest] = window[source];
    dest = (dest + 1) & WindowMask;
    source = (source + 1) & WindowMask;
  }
  return dest;
}
