// The decompressor's entry and the reset both methods start with.
#include <string.h>

#include "unpack/unpack.h"

void unpackFile(uint8_t* window, int unpVer, bool solid) {
  unpackState.window = window;
  if (unpVer > 15)
    unpackV20File(window, solid);
  else
    unpackV15File(window, solid);
}

void resetUnpackState(bool solid) {
  unpackState.bits.bytePos = 0;
  unpackState.bits.bitPos = 0;
  if (solid) return;

  V20State& v20 = unpackState.v20;
  v20.currentChannel = 0;
  v20.crossDelta = 0;
  memset(v20.audio, 0, sizeof v20.audio);
  memset(v20.audioBatches, 0, sizeof v20.audioBatches);
  memset(&unpackState.history, 0, sizeof unpackState.history);
  // A match reaching before the start of a file reads zeros, the same on every run.
  if (unpackState.window != nullptr) memset(unpackState.window, 0, WindowSize);
  memset(v20.previousLengths, 0, sizeof v20.previousLengths);
  unpackState.flushedPos = 0;
  unpackState.writePos = 0;
}
