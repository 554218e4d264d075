// Canonical Huffman codes for the encoders: code lengths from symbol counts (limited
// to a maximum length) and the canonical codes the decoder's table builder assigns to
// those lengths (shorter codes first, equal lengths in ascending symbol order).
#pragma once

#include <stdint.h>

enum { MaxCodeLength = 15 };

// Fills lengths[0..count-1]: 0 for symbols of count 0, else 1..maxLength. A lone used
// symbol gets length 1, so the code stays decodable (its one bit is 0). At most 512
// symbols are used ones (the format's alphabets have fewer).
void buildCodeLengths(const uint32_t* counts, int count, int maxLength, uint8_t* lengths);

// The canonical code of every symbol with a non-zero length; the code of a symbol of
// length L is the low L bits of codes[symbol], sent most significant bit first.
void assignCanonicalCodes(const uint8_t* lengths, int count, uint16_t* codes);

// Bits the counts cost with these lengths; symbols that occur but have no code make the
// result UINT64_MAX.
uint64_t codedBits(const uint32_t* counts, const uint8_t* lengths, int count);
