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
  int32_t crossDelta;     // delta of the last audio byte of any channel
  int32_t emptyRefills;   // refills in a row that found the file's packed data exhausted
};
