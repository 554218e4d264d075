// Canonical Huffman tables: built from code lengths, decoded through 16-bit limits with
// a lookup of the first QuickBits bits in front.
#include <string.h>

#include "unpack/huffman_decode.h"
#include "unpack/unpack.h"

// The symbol of the code of the given length that `value` (low bit clear) starts.
static inline uint32_t symbolOfLength(const HuffmanTable* table, uint32_t value, uint32_t length) {
  uint32_t index =
      ((value - table->lengthLimit[length - 1]) >> (16 - length)) + table->lengthStart[length];
  if (index >= table->symbolCount) index = 0;
  return table->symbols[index];
}

// A limit as a bound on 16-bit values: the cap 0xFFFF lies above every value decoded
// (their low bit is clear), so it stands for the whole space.
static inline uint32_t limitBound(uint32_t limit) { return limit >= 0xFFFF ? 0x10000 : limit; }

static void buildQuickTable(HuffmanTable* table, const uint8_t* extraBits, uint32_t extraFrom, uint32_t held) {
  // The limits of lengths up to QuickBits are multiples of 2^(16 - QuickBits) (or the
  // cap), and each code of length L owns a run of 2^(QuickBits - L) prefixes: the run
  // holds its symbol (by the limits, as symbolOfLength gives it), the prefixes past the
  // last such run 0, as their code is longer. A table is built for every block header,
  // so the runs are filled four entries per store.
  uint16_t* quick = table->quick;
  uint32_t prefix = 0;
  for (uint32_t length = 1; length <= QuickBits; length++) {
    uint32_t end = limitBound(table->lengthLimit[length]) >> (16 - QuickBits);
    uint32_t run = 1u << (QuickBits - length);
    uint32_t index = table->lengthStart[length];
    for (; prefix < end; prefix += run, index++) {
      uint32_t symbol = table->symbols[index < table->symbolCount ? index : 0];
      uint32_t extra = extraBits != nullptr && symbol >= extraFrom ? (uint32_t)extraBits[symbol - extraFrom] : 0;
      uint64_t entry = symbol == held ? 0
                                      : (uint64_t)(symbol << QuickSymbolShift | extra << QuickExtraShift | length) *
                                            0x0001000100010001ull;
      if (run >= 4) {
        for (uint32_t k = 0; k < run; k += 4) memcpy(&quick[prefix + k], &entry, 8);
      } else {
        for (uint32_t k = 0; k < run; k++) quick[prefix + k] = (uint16_t)entry;
      }
    }
  }
  memset(quick + prefix, 0, ((1u << QuickBits) - prefix) * sizeof *quick);
}

static void buildTable(const uint8_t* lengths, uint32_t count, HuffmanTable* table, const uint8_t* extraBits,
                       uint32_t extraFrom, uint32_t held) {
  // The symbol array is fixed in size; a longer alphabet never reaches past it.
  if (count > MaxHuffmanSymbols) count = MaxHuffmanSymbols;

  // The alphabet's front and back halves are counted and placed side by side, so that
  // a run of equal lengths does not wait on its own previous increment or slot at every
  // symbol. The back half takes the odd symbol of an odd count.
  uint32_t half = count / 2;
  uint32_t lengthCount[16] = {0}, backCount[16] = {0};
  for (uint32_t i = 0; i < half; i++) {
    lengthCount[lengths[i] & 15]++;
    backCount[lengths[half + i] & 15]++;
  }
  if (count & 1) backCount[lengths[count - 1] & 15]++;
  uint32_t frontCount[16];
  memcpy(frontCount, lengthCount, sizeof frontCount);
  for (uint32_t length = 1; length < 16; length++) lengthCount[length] += backCount[length];
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

  // An incomplete code lets decodeSymbol land on slots no symbol fills, those past the
  // last one filled and below the alphabet's size; they must read the same (0) on every
  // run, whatever an earlier build left there.
  uint32_t filled = table->lengthStart[15] + lengthCount[15];
  if (filled < count) memset(table->symbols + filled, 0, (count - filled) * sizeof *table->symbols);
  // Absent symbols go to a slot of their own that is never read, without a branch
  // that guesses which symbols are present.
  uint32_t* next[16];
  uint32_t* backNext[16];
  uint32_t absent[2];
  next[0] = &absent[0];
  backNext[0] = &absent[1];
  for (uint32_t length = 1; length < 16; length++) {
    next[length] = table->symbols + table->lengthStart[length];
    backNext[length] = next[length] + frontCount[length];
  }
  for (uint32_t symbol = 0; symbol < half; symbol++) {
    uint32_t length = lengths[symbol] & 15;
    uint32_t backLength = lengths[half + symbol] & 15;
    *next[length] = symbol;
    next[length] += length != 0;
    *backNext[backLength] = half + symbol;
    backNext[backLength] += backLength != 0;
  }
  if (count & 1) *backNext[lengths[count - 1] & 15] = count - 1;
  table->symbolCount = count;
  buildQuickTable(table, extraBits, extraFrom, held);
}

void buildHuffmanTable(const uint8_t* lengths, uint32_t count, HuffmanTable* table,
                       const uint8_t* extraBits, uint32_t extraFrom) {
  buildTable(lengths, count, table, extraBits, extraFrom, MaxHuffmanSymbols);
}

void buildHeldHuffmanTable(const uint8_t* lengths, uint32_t count, HuffmanTable* table, uint32_t held) {
  buildTable(lengths, count, table, nullptr, 0, held);
}

uint32_t decodeLongSymbol(const HuffmanTable* table, uint32_t value, uint32_t* length) {
  // The limits never decrease with the length: the smallest length whose limit lies
  // above the value (15 when none of them up to 14 does) by binary search. Usually
  // the lookup has ruled out the lengths up to QuickBits, but not for a symbol held
  // back, so the search takes them all.
  uint32_t low = 1, high = 15;
  while (low < high) {
    uint32_t middle = (low + high) / 2;
    if (value < table->lengthLimit[middle])
      high = middle;
    else
      low = middle + 1;
  }
  *length = low;
  return symbolOfLength(table, value, low);
}

uint32_t decodeSymbol(const HuffmanTable* table) {
  uint32_t length;
  uint32_t symbol = decodePeeked(table, peekBits(), &length);
  skipBits(length);
  return symbol;
}
