// The symbol decoder's inner step, on a 16-bit peeked value, kept inline so that a
// decoding loop can run it on bit positions held in its own locals.
#pragma once

#include <stdint.h>

#include "unpack/always_inline.h"
#include "unpack/unpack_state.h"

// Codes the quick lookup does not give (longer than QuickBits, or a held symbol's):
// the search over the limits.
uint32_t decodeLongSymbol(const HuffmanTable* table, uint32_t value, uint32_t* length);

// The parts of a quick entry. symbolAndExtra is symbol << 3 | extra bits.
ALWAYS_INLINE uint32_t quickLength(uint32_t entry) { return entry & ((1u << QuickExtraShift) - 1); }
ALWAYS_INLINE uint32_t quickSymbol(uint32_t entry) { return entry >> QuickSymbolShift; }
ALWAYS_INLINE uint32_t quickSymbolAndExtra(uint32_t entry) { return entry >> QuickExtraShift; }

// The symbol whose code starts the 16-bit value `peeked` and, in *length, the bits to
// consume; an index past the alphabet gives symbols[0].
ALWAYS_INLINE uint32_t decodePeeked(const HuffmanTable* table, uint32_t peeked, uint32_t* length) {
  uint32_t entry = table->quick[peeked >> (16 - QuickBits)];
  if (entry != 0) {
    *length = quickLength(entry);
    return quickSymbol(entry);
  }
  return decodeLongSymbol(table, peeked & 0xFFFE, length);
}
