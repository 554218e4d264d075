// The version 2.0 decoder's hot state while steps run back to back, and the limits
// that say when the step frame has work to do (a refill, a flush).
#pragma once

#include <stdint.h>

#include "archive/data_stream.h"
#include "unpack/always_inline.h"
#include "unpack/huffman_decode.h"
#include "unpack/unpack_state.h"
#include "unpack/window_copy.h"

enum {
  StepRefillLimit = 8162,  // a step reads at most ~8 bytes plus the 3-byte peek
  FlushMargin = 270        // no step produces more than 260 bytes
};

// The bit input, the write position, the count of bytes owed and the match history,
// held in locals while steps run back to back: stores into the window cannot then
// force the compiler to reload them from the shared state after every byte. The bits
// wait in a 64-bit register, left-aligned, so that a symbol costs one table lookup
// rather than a load of the input and a lookup one after the other.
struct StepRun {
  const uint8_t* input;
  uint64_t bitBuffer;  // the next bitCount bits of the stream, from the top bit down
  uint32_t bitCount;
  uint32_t nextByte;   // input byte that follows the bits held
  uint8_t* window;
  uint32_t writePos;
  int64_t remaining;
  MatchHistory history;

  // Tops the register up to at least 56 bits, enough for the rest of the longest step
  // (51 bits in all). Loading eight bytes behind a position at or below the refill
  // point stays well inside the input buffer. Bits below the counted ones are the
  // stream's next bits already (or zeros), so loading them again changes nothing.
  ALWAYS_INLINE void refill() { refillFrom(loadAhead()); }
  // The eight bytes at nextByte, big-endian: what the next refill adds.
  ALWAYS_INLINE uint64_t loadAhead() const {
    const uint8_t* p = input + nextByte;
    return ((uint64_t)p[0] << 56) | ((uint64_t)p[1] << 48) | ((uint64_t)p[2] << 40) |
           ((uint64_t)p[3] << 32) | ((uint64_t)p[4] << 24) | ((uint64_t)p[5] << 16) |
           ((uint64_t)p[6] << 8) | (uint64_t)p[7];
  }
  ALWAYS_INLINE void refillFrom(uint64_t wide) {
    bitBuffer |= wide >> bitCount;
    nextByte += (63 - bitCount) >> 3;
    bitCount |= 56;
  }
  // Bit position in the input buffer of the next unread bit.
  ALWAYS_INLINE uint32_t position() const { return nextByte * 8 - bitCount; }
  ALWAYS_INLINE uint32_t peek() const { return (uint32_t)(bitBuffer >> 48); }
  ALWAYS_INLINE void skip(uint32_t n) {
    bitBuffer <<= n;
    bitCount -= n;
  }
  // Without a branch on a count of 0, which the extra bits of lengths and distances
  // often have: the top bit shifted out first, a shift by 63 leaves nothing.
  ALWAYS_INLINE uint32_t bits(uint32_t count) {
    uint32_t value = (uint32_t)((bitBuffer >> 1) >> (63 - count));
    skip(count);
    return value;
  }
  ALWAYS_INLINE uint32_t symbol(const HuffmanTable* table) {
    uint32_t length;
    uint32_t s = decodePeeked(table, peek(), &length);
    skip(length);
    return s;
  }
  // A step's first symbol, looked up before the refill so that the lookup does not
  // wait for the load: the refill only adds bits below the 16 looked at. The result
  // carries the count of the symbol's extra bits (extraBits from extraFrom on, as the
  // table was built) below it: symbol << 3 | extra bits.
  ALWAYS_INLINE uint32_t firstSymbol(const HuffmanTable* table, const uint8_t* extraBits, uint32_t extraFrom) {
    if (bitCount < 16) refill();
    uint32_t entry = table->quick[bitBuffer >> (64 - QuickBits)];
    uint32_t peeked = peek();
    refill();
    uint32_t length, s;
    if (entry != 0) {
      length = quickLength(entry);
      s = quickSymbolAndExtra(entry);
    } else {
      s = decodeLongSymbol(table, peeked & 0xFFFE, &length);
      s = s << 3 | (s >= extraFrom ? extraBits[s - extraFrom] : 0);
    }
    skip(length);
    return s;
  }
  // A step of one symbol: the register is topped up only once it holds fewer bits than
  // the longest code, so most symbols cost no refill at all.
  ALWAYS_INLINE uint32_t onlySymbol(const HuffmanTable* table) {
    if (bitCount < 16) refill();
    return symbol(table);
  }
  ALWAYS_INLINE void emitMatch(uint32_t distance, uint32_t length) {
    history.recentDistances[history.recentIndex & 3] = distance;
    history.lastDistance = distance;
    history.recentIndex++;
    history.lastLength = length;
    remaining -= length;
    writePos = copyWithinWindow(window, writePos, distance, length);
  }
  // The bit input alone, for readers that run outside the steps (the table header):
  // out of line, as they move between the shared state and the register only around
  // a refill of the input.
  NEVER_INLINE void loadBits() {
    input = unpackState.bits.inputBuffer;
    bitBuffer = 0;
    bitCount = 0;
    nextByte = unpackState.bits.bytePos;
    refill();
    skip(unpackState.bits.bitPos);
  }
  NEVER_INLINE void storeBits() const {
    unpackState.bits.bytePos = position() >> 3;
    unpackState.bits.bitPos = position() & 7;
  }
  void load() {
    loadBits();
    window = unpackState.window;
    writePos = unpackState.writePos & WindowMask;
    remaining = dataStream.remaining;
    history = unpackState.history;
  }
  void store() const {
    storeBits();
    unpackState.writePos = writePos;
    dataStream.remaining = remaining;
    unpackState.history = history;
  }
};
