// The decompressor's entry and the machinery both methods share.
#pragma once

#include <stdint.h>

#include "unpack/unpack_state.h"

// Decodes one compressed entry into the window and out through writeUnpacked.
void unpackFile(uint8_t* window, int unpVer, bool solid);
void unpackV20File(uint8_t* window, bool solid);
void unpackV15File(uint8_t* window, bool solid);

void resetUnpackState(bool solid);
void refillInput(bool first);
void flushWindow();
uint32_t peekBits();
void skipBits(uint32_t n);
void buildHuffmanTable(const uint8_t* lengths, uint32_t count, HuffmanTable* table);
uint32_t decodeSymbol(const HuffmanTable* table);
void copyMatch(uint32_t distance, uint32_t length);
