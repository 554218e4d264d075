// The decompressor's entry and the machinery both methods share.
#pragma once

#include <stdint.h>

#include "unpack/bit_input.h"
#include "unpack/unpack_state.h"

// Decodes one compressed entry into the window and out through writeUnpacked. The
// caller has primed readPacked and set dataStream.remaining to the unpacked size.
// Versions above 15 go to the version 2.0 method, the rest to the version 1.5 method.
void unpackFile(uint8_t* window, int unpVer, bool solid);
void unpackV20File(uint8_t* window, bool solid);
void unpackV15File(uint8_t* window, bool solid);

// First step of both methods: the bit position restarts; a non-solid file also
// starts from a zeroed window, history, audio state and previous code lengths.
void resetUnpackState(bool solid);
// first: 8192 bytes from the start of the buffer. Otherwise the last 32 bytes move to
// the front, bytePos is taken modulo 32 and 8160 bytes are read behind them; a read
// that brings nothing leaves the old bytes in place. The methods call it when bytePos
// passes their thresholds (8162 per step; 8167 and 8187 in the 2.0 table reader).
void refillInput(bool first);
// Hands the bytes produced since the last flush to writeUnpacked: two pieces, the
// tail of the window first, when they wrap around its end.
void flushWindow();
// Builds a canonical decoding table from count code lengths (taken modulo 16, 0 =
// absent). Slots of the symbol array that the build does not fill read 0. With
// extraBits, the count of bits (0..7) that follow each symbol from extraFrom on, the
// quick lookup also tells that count, so that a decoder need not look it up after the
// symbol.
void buildHuffmanTable(const uint8_t* lengths, uint32_t count, HuffmanTable* table,
                       const uint8_t* extraBits = nullptr, uint32_t extraFrom = 0);
// The same without extra bits and with the held symbol's codes sent through the limits
// rather than the quick lookup, so that a decoding loop that must stop on it tests
// only for a quick entry of 0.
void buildHeldHuffmanTable(const uint8_t* lengths, uint32_t count, HuffmanTable* table, uint32_t held);
// Reads one code; an index past the alphabet decodes as symbols[0].
uint32_t decodeSymbol(const HuffmanTable* table);
// Appends length bytes copied from distance bytes back (modulo the window, byte by
// byte in effect, so a distance below the length repeats) and counts them off
// dataStream.remaining.
void copyMatch(uint32_t distance, uint32_t length);
