// The sliding window: match copies into it and flushes out of it.
#include <string.h>

#include "archive/data_stream.h"
#include "unpack/unpack.h"
#include "unpack/window_copy.h"

void flushWindow() {
  uint8_t* window = unpackState.window;
  uint32_t from = unpackState.flushedPos;
  uint32_t to = unpackState.writePos;
  if (to < from) {
    writeUnpacked(window + from, (int32_t)((0u - from) & WindowMask));
    writeUnpacked(window, (int32_t)to);
  } else {
    writeUnpacked(window + from, (int32_t)(to - from));
  }
  unpackState.flushedPos = to;
}

uint32_t copyWithinWindowExactly(uint8_t* window, uint32_t dest, uint32_t distance, uint32_t length) {
  uint32_t source = (dest - distance) & WindowMask;
  uint32_t gap = distance & WindowMask;
  if (gap == 0) return (dest + length) & WindowMask;  // every byte copied onto itself
  if (dest + length <= WindowSize && source + length <= WindowSize) {
    uint8_t* to = window + dest;
    const uint8_t* from = window + source;
    uint32_t n = length;
    if (source < dest && gap < 8) {
      // A source one to seven bytes behind repeats a pattern of `gap` bytes. Its first
      // `period` bytes (the smallest multiple of gap from 8 up) go byte by byte; every
      // later byte equals the one `period` back, a distance the eight-byte copy takes.
      static const uint8_t periods[8] = {0, 8, 8, 9, 8, 10, 12, 14};
      uint32_t head = length < periods[gap] ? length : periods[gap];
      for (uint32_t i = 0; i < head; i++) to[i] = from[i];
      if (head == length) return (dest + length) & WindowMask;
      to += head;
      from = to - periods[gap];
      n -= head;
    }
    // Eight bytes at a time, exactly `length` bytes: near the end of the window nothing
    // may be touched past the match. The source is at least eight bytes behind or
    // ahead, so every piece reads bytes already final or not yet overwritten.
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
  // One of the spans wraps around the end of the window.
  while (length-- > 0) {
    window[dest] = window[source];
    dest = (dest + 1) & WindowMask;
    source = (source + 1) & WindowMask;
  }
  return dest;
}

void copyMatch(uint32_t distance, uint32_t length) {
  dataStream.remaining -= length;
  unpackState.writePos =
      copyWithinWindow(unpackState.window, unpackState.writePos & WindowMask, distance, length);
}
