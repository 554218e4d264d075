// The sliding window: match copies into it and flushes out of it.
#include <string.h>

#include "archive/data_stream.h"
#include "unpack/unpack.h"

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

void copyMatch(uint32_t distance, uint32_t length) {
  dataStream.remaining -= (int32_t)length;
  uint8_t* window = unpackState.window;
  uint32_t dest = unpackState.writePos & WindowMask;
  uint32_t source = (dest - distance) & WindowMask;

  // Neither span wraps and the copy does not read what it writes: one block move gives
  // what the byte-by-byte copy gives.
  if ((distance & WindowMask) >= length && dest + length <= WindowSize &&
      source + length <= WindowSize) {
    memmove(window + dest, window + source, length);
    unpackState.writePos = (dest + length) & WindowMask;
    return;
  }

  // A distance below the length repeats the last distance bytes.
  while (length-- > 0) {
    window[dest] = window[source];
    dest = (dest + 1) & WindowMask;
    source = (source + 1) & WindowMask;
  }
  unpackState.writePos = dest;
}
