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
  if (gap == 0) return (dest + length) & WindowMask;  // every byte copied onto itself
  uint8_t* to = window + dest;
  const uint8_t* from = window + source;
  // Sixteen bytes at a time through a register, whole pieces even past the end of the
  // match: the bytes beyond it are saved first and put back after, because they are
  // history later matches may still read (or bytes not yet flushed). A source at least
  // sixteen bytes behind only reads bytes already final; a source ahead of the
  // destination only bytes not yet overwritten. No loop runs for a short match, so no
  // branch guesses its length.
  if (dest + length + 16 <= WindowSize && source + length + 16 <= WindowSize &&
      (gap >= 16 || source > dest)) {
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
  if (dest + length <= WindowSize && source + length <= WindowSize) {
    if (gap >= 8 || source > dest) {
      // Eight bytes at a time, exactly `length` bytes: near the end of the window.
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
    // A source one to fifteen bytes behind: the pattern repeats byte by byte.
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
