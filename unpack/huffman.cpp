// Canonical Huffman tables: built from code lengths, decoded through 16-bit limits.
#include <string.h>

#include "unpack/unpack.h"

void buildHuffmanTable(const uint8_t* lengths, uint32_t count, HuffmanTable* table) {
  // The symbol array is fixed in size; a longer alphabet never reaches past it.
  if (count > MaxHuffmanSymbols) count = MaxHuffmanSymbols;

  uint32_t lengthCount[16] = {0};
  for (uint32_t i = 0; i < count; i++) lengthCount[lengths[i] & 15]++;
  lengthCount[0] = 0;

  table->lengthLimit[0] = 0;
  table->lengthStart[0] = 0;
  uint32_t code = 0;
  for (uint32_t length = 1; length < 16; length++) {
    code = 2 * (code + lengthCount[length]);
    uint32_t limit = code << (15 - length);
    // An over-full code saturates: its surplus symbols are never decoded.
    table->lengthLimit[length] = limit > 0xFFFF ? 0xFFFF : limit;
    table->lengthStart[length] = table->lengthStart[length - 1] + lengthCount[length - 1];
  }

  // An incomplete code lets decodeSymbol land on slots no symbol fills; they must read
  // the same (0) on every run, whatever an earlier build left there.
  memset(table->symbols, 0, sizeof table->symbols);
  uint32_t next[16];
  memcpy(next, table->lengthStart, sizeof next);
  for (uint32_t symbol = 0; symbol < count; symbol++) {
    uint32_t length = lengths[symbol] & 15;
    if (length != 0) table->symbols[next[length]++] = symbol;
  }
  table->symbolCount = count;
}

uint32_t decodeSymbol(const HuffmanTable* table) {
  uint32_t value = peekBits() & 0xFFFE;

  // The limits never decrease with the length: a binary search over lengths 1..15
  // (length 15 when no limit of 1..14 is above the value) takes four comparisons.
  uint32_t low = 1, high = 15;
  while (low < high) {
    uint32_t middle = (low + high) / 2;
    if (value < table->lengthLimit[middle])
      high = middle;
    else
      low = middle + 1;
  }
  uint32_t length = low;

  skipBits(length);
  uint32_t index =
      ((value - table->lengthLimit[length - 1]) >> (16 - length)) + table->lengthStart[length];
  if (index >= table->symbolCount) index = 0;
  return table->symbols[index];
}
