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
// come out the same, only added in another order). Three rows of 16-bit words, so that
// one pointer and one index reach a byte's words in all of them: slot k holds the byte
// whose counter is k + 1 modulo 32, its symbol at AudioBatchSymbol + k and at
// AudioBatchCross + k the delta of the byte before it, whatever its channel. Its own
// delta is at AudioBatchDelta + k + 4; the row's first four words are the last four
// deltas of the cycle before. The terms of slot k are delta[k + 3] and the differences
// delta[k + 3] - delta[k + 2], [k + 2] - [k + 1] and [k + 1] - [k] of that row.
enum {
  AudioCycleBytes = 32,
  AudioBatchSymbol = 0,
  AudioBatchCross = AudioCycleBytes,
  AudioBatchDelta = 2 * AudioCycleBytes,
  AudioBatchWords = 3 * AudioCycleBytes + 4
};
struct AudioBatch {
  int16_t words[AudioBatchWords];
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
