// A small bit writer for hand-assembled packed streams: bits go out most significant
// first, bytes in stream order, the way the decompressor's bit input reads them.
#pragma once

#include <stdint.h>

#include <vector>

struct BitWriter {
  std::vector<uint8_t> bytes;
  uint32_t bitCount = 0;  // bits written so far

  // Appends the low `count` bits of value (count 0..32), the highest of them first.
  void put(uint32_t value, uint32_t count) {
    for (uint32_t i = count; i-- > 0;) putBit((value >> i) & 1u);
  }

  void putBit(uint32_t bit) {
    if (bitCount % 8 == 0) bytes.push_back(0);
    if (bit) bytes.back() |= uint8_t(0x80u >> (bitCount % 8));
    bitCount++;
  }

  // Pads with zero bits up to the next byte boundary.
  void alignToByte() {
    while (bitCount % 8 != 0) putBit(0);
  }

  // The stream so far, padded with zero bits to whole bytes, followed by `slack`
  // zero bytes (decoders peek a few bytes beyond what they consume).
  std::vector<uint8_t> finish(size_t slack = 0) const {
    std::vector<uint8_t> out = bytes;
    out.resize(out.size() + slack, 0);
    return out;
  }
};

// Canonical Huffman codes for a set of code lengths (0 = symbol absent, 1..15): shorter
// codes first, equal lengths in ascending symbol order. Writes code[s] for every symbol.
inline std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[16] = {};
  for (uint8_t l : lengths) count[l & 15]++;
  count[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int l = 1; l < 16; l++) {
    code = (code + count[l - 1]) << 1;
    next[l] = code;
  }
  std::vector<uint32_t> codes(lengths.size(), 0);
  for (size_t s = 0; s < lengths.size(); s++) {
    uint8_t l = lengths[s] & 15;
    if (l != 0) codes[s] = next[l]++;
  }
  return codes;
}
