// Fields of the decompressor state owned by the version 2.0 method and its
// multimedia mode. Included by unpack_state.h.
#pragma once

#include <stdint.h>

struct AudioChannelState {
  int32_t weights[5];
  int32_t terms[4];
  int32_t recentDelta;
  uint32_t errorSums[11];
  int32_t byteCounter;
  int32_t prevValue;
};

// The inputs of a channel's error sums over its current 32-byte cycle, kept by the
// decoder's audio runs and added up once, at the cycle's end, in vector code (the sums
// come out the same, only added in another order). Slot k holds the byte whose counter
// is k + 1 modulo 32; delta[k + 4] is the delta it produced, delta[0 .. 3] the last
// four of the cycle before. The terms of slot k are delta[k + 3] and the differences
// delta[k + 3] - delta[k + 2], [k + 2] - [k + 1] and [k + 1] - [k].
enum { AudioCycleBytes = 32 };
struct AudioBatch {
  int16_t e[AudioCycleBytes];      // 8 * the signed symbol
  int16_t cross[AudioCycleBytes];  // the delta of the byte before, whatever its channel
  int16_t delta[AudioCycleBytes + 4];
};

enum {
  MainSymbols = 298,
  DistanceSymbols = 48,
  RepeatLengthSymbols = 28,
  CodeLengthSymbols = 19,
  AudioSymbols = 257,
  LzTableSize = MainSymbols + DistanceSymbols + RepeatLengthSymbols,  // 374
  MaxChannels = 4,
  PreviousLengthsSize = MaxChannels * AudioSymbols                    // 1028
};

struct V20State {
  HuffmanTable mainTable;
  HuffmanTable distanceTable;
  HuffmanTable repeatLengthTable;
  HuffmanTable codeLengthTable;
  HuffmanTable audioTables[MaxChannels];
  uint8_t previousLengths[PreviousLengthsSize];
  bool audioMode;
  int32_t channelCount;   // 1..4
  int32_t currentChannel; // 0..3
  AudioChannelState audio[MaxChannels];
  AudioBatch audioBatches[MaxChannels];  // the decoder's; the encoder keeps the sums per byte
  int32_t crossDelta;     // delta of the last audio byte of any channel
  int32_t emptyRefills;   // refills in a row that found the file's packed data exhausted
};
