// What the version 2.0 compressor's LZ parser hands to its stream writer: blocks of
// symbols with their extra bits and the symbol counts the block's tables are built from.
#pragma once

#include <stdint.h>

#include <vector>

#include "unpack/unpack_state.h"
#include "unpack/v20_tables.h"

enum : uint32_t {
  SymRepeatLast = 256,
  SymHistory = 257,  // 257..260: the four recent distances
  SymShort = 261,    // 261..268: length 2 within 256 bytes
  SymTables = 269,
  SymMatch = 270,    // 270..297: length slot, then a distance slot
  SymAudioTables = 256
};

// One main-table symbol and what follows it. The extra bit counts follow from the
// symbol and the slot.
struct Token {
  uint16_t symbol;
  uint8_t slot;     // distance slot (270..297) or repeat length slot (257..260)
  uint8_t extra1;   // length extra bits, or the short distance's
  uint32_t extra2;  // distance extra bits
};

// The symbol counts of an LZ block, which its tables are built from.
struct LzCounts {
  uint32_t main[MainSymbols] = {0};
  uint32_t distance[DistanceSymbols] = {0};
  uint32_t repeat[RepeatLengthSymbols] = {0};
};

struct Block {
  bool audio = false;
  int channels = 0;
  int switchChannel = 0;  // current channel before the block: a switch is coded there
  uint32_t start = 0, stop = 0;  // the bytes it codes, as the parser numbered them
  // Coded with the tables of the LZ block before, which were built for both: its counts
  // are its own, the first block's of such a run are those of all.
  bool sharesTables = false;
  std::vector<Token> tokens;
  std::vector<uint16_t> audioSymbols;  // channel << 8 | symbol
  LzCounts counts;
  // Audio blocks only (LZ blocks are many and small): channel * AudioSymbols + symbol.
  std::vector<uint32_t> audioCount;
};

// Code lengths for the block. Every table can always code a switch to a new header
// and one other symbol (the harmless symbol that ends a stream without a switch).
void blockCodeLengths(const Block& b, uint8_t* lengths);

// The LZ part of that: main, distance and repeat length tables side by side.
void lzCodeLengths(const LzCounts& c, uint8_t* lengths);
// The audio part: one table per channel, from channel * AudioSymbols + symbol counts.
void audioCodeLengths(const uint32_t* channelCounts, int channels, uint8_t* lengths);

// Bits of the counted symbols under those lengths; UINT64_MAX when one has no code.
uint64_t lzCodedBits(const LzCounts& c, const uint8_t* lengths);
uint64_t audioCodedBits(const uint32_t* channelCounts, int channels, const uint8_t* lengths);

void addLzCounts(LzCounts& to, const LzCounts& from);
