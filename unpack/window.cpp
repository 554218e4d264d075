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

void copyMatch(uint32_t distance, uint32_t length) {
  dataStream.remaining -= (int32_t)length;
  unpackState.writePos =
      copyWithinWindow(unpackState.window, unpackState.writePos & WindowMask, distance, length);
}
