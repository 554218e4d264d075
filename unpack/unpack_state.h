// The decompressor's state, shared by both methods: the window, the bit input, the
// match history, the canonical Huffman tables, and each method's own fields.
// Exactly one instance lives for the whole process; in a solid archive it carries
// from one file to the next.
#pragma once

#include <stdint.h>

enum : uint32_t {
  WindowSize = 1u << 20,
  WindowMask = WindowSize - 1,
  InputBufferSize = 8192,
  // Zero bytes after the input buffer: the refill points keep every peek inside the
  // 8192 bytes, and the slack keeps a peek in bounds even if a damaged stream's step
  // ever ran past them.
  InputBufferSlack = 4
};

struct BitReader {
  uint8_t inputBuffer[InputBufferSize + InputBufferSlack];
  uint32_t bytePos;   // byte holding the next unread bit
  uint32_t bitPos;    // bits of that byte already consumed, from its top bit
  int32_t validBytes; // bytes of inputBuffer filled by the data stream
};

struct MatchHistory {
  uint32_t recentDistances[4];
  uint32_t recentIndex;  // used modulo 4
  uint32_t lastDistance;
  uint32_t lastLength;
};

enum { MaxHuffmanSymbols = 298, QuickBits = 10, QuickExtraShift = 4, QuickSymbolShift = 7 };

struct HuffmanTable {
  uint32_t symbolCount;
  uint32_t lengthLimit[16];
  uint32_t lengthStart[16];
  uint32_t symbols[MaxHuffmanSymbols];
  // What decodeSymbol yields for codes of up to QuickBits bits, looked up by the next
  // QuickBits bits: symbol << QuickSymbolShift | extra bits << QuickExtraShift | code
  // length, where extra bits is the count of bits that follow the symbol when the
  // table's owner gave one (0..7) at the build. The length in the low bits lets a
  // decoder shift its bits by the entry itself where a table has no extra bits (a
  // shift count is taken modulo 64). 0 where only a longer code can start (and in a
  // table never built),
  // which sends the decoder through the limits.
  uint16_t quick[1u << QuickBits];
};

#include "unpack/v15_state.h"
#include "unpack/v20_state.h"

struct UnpackState {
  uint8_t* window;      // the session's window, for the duration of a call
  uint32_t writePos;    // next byte to produce
  uint32_t flushedPos;  // first byte not yet handed to writeUnpacked
  BitReader bits;
  MatchHistory history;
  V20State v20;         // version 2.0 method and its multimedia mode
  V15State v15;         // version 1.5 method
};

extern UnpackState unpackState;
