// The table-driven symbol decoder against a plain decoder written straight from the
// rule: limits per length, the smallest length whose limit lies above the value, index
// folding past the alphabet, unfilled slots reading 0. Every 16-bit value is tried on
// random code-length sets: complete, incomplete, over-full, empty, with junk above the
// low four bits, and built over an earlier table.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <random>
#include <vector>

#include "extract/session.h"
#include "tests/support/bit_writer.h"
#include "tests/support/fake_host.h"
#include "unpack/huffman_decode.h"
#include "unpack/unpack.h"

namespace {

struct ReferenceCode {
  uint32_t limit[16] = {};
  uint32_t start[16] = {};
  std::vector<uint32_t> symbols;
  uint32_t count = 0;

  explicit ReferenceCode(const std::vector<uint8_t>& lengths) {
    count = (uint32_t)lengths.size();
    uint32_t n[16] = {};
    for (uint8_t l : lengths) n[l & 15]++;
    n[0] = 0;
    uint32_t code = 0;
    for (int l = 1; l < 16; l++) {
      code = 2 * (code + n[l]);
      limit[l] = std::min<uint32_t>(code << (15 - l), 0xFFFF);
      start[l] = start[l - 1] + n[l - 1];
    }
    symbols.assign(std::max<uint32_t>(count, 1), 0);
    uint32_t next[16];
    memcpy(next, start, sizeof next);
    for (uint32_t s = 0; s < count; s++)
      if (lengths[s] & 15) symbols[next[lengths[s] & 15]++] = s;
  }

  uint32_t decode(uint32_t peeked, uint32_t* length) const {
    uint32_t v = peeked & 0xFFFE;
    uint32_t l = 1;
    while (l < 15 && !(v < limit[l])) l++;
    *length = l;
    uint32_t i = ((v - limit[l - 1]) >> (16 - l)) + start[l];
    if (i >= count) i = 0;
    return symbols[i];
  }
};

std::vector<uint8_t> randomLengths(uint32_t count, int kind, std::mt19937& random) {
  std::vector<uint8_t> lengths(count, 0);
  switch (kind) {
    case 0: {  // complete: split random leaves, up to 15 bits
      std::vector<uint8_t> leaves = {1, 1};
      uint32_t present = count < 2 ? count : 2 + random() % (count - 1);
      while (leaves.size() < present) {
        size_t pick = random() % leaves.size();
        if (leaves[pick] >= 15) continue;
        leaves[pick]++;
        leaves.push_back(leaves[pick]);
      }
      leaves.resize(std::min<size_t>(leaves.size(), count));
      std::vector<uint32_t> slots(count);
      for (uint32_t i = 0; i < count; i++) slots[i] = i;
      std::shuffle(slots.begin(), slots.end(), random);
      for (size_t i = 0; i < leaves.size(); i++) lengths[slots[i]] = leaves[i];
      break;
    }
    case 1:  // incomplete: a complete code with symbols taken out
      lengths = randomLengths(count, 0, random);
      for (auto& l : lengths)
        if (random() % 3 == 0) l = 0;
      break;
    case 2:  // over-full: short codes everywhere
      for (auto& l : lengths) l = (uint8_t)(1 + random() % 6);
      break;
    case 3:  // anything, with junk in the high nibble
      for (auto& l : lengths) l = (uint8_t)random();
      break;
    case 4:  // long codes only, so the lookup finds nothing
      for (auto& l : lengths) l = (uint8_t)(random() % 2 ? 11 + random() % 5 : 0);
      break;
    case 5:  // a single symbol, or none at all
      if (random() % 2 && count > 0) lengths[random() % count] = (uint8_t)(1 + random() % 15);
      break;
  }
  return lengths;
}

class HuffmanQuick : public ::testing::Test {
 protected:
  void SetUp() override { resetEngineAndHost(); }
  void TearDown() override { resetEngineForTests(); }
};

TEST_F(HuffmanQuick, EverySixteenBitValueDecodesAsThePlainRuleSays) {
  std::mt19937 random(2024);
  HuffmanTable* table = new HuffmanTable();
  // Never built (zero everywhere, as in a fresh state): 15 bits, slot 0, symbol 0.
  for (uint32_t v = 0; v < 0x10000; v += 97) {
    uint32_t length = 0;
    ASSERT_EQ(decodePeeked(table, v, &length), 0u);
    ASSERT_EQ(length, 15u);
  }
  const uint32_t counts[] = {298, 48, 28, 19, 257, 2, 1, 3, 100};
  for (int round = 0; round < 240; round++) {
    uint32_t count = counts[round % 9];
    int kind = (round / 9) % 6;
    // Build over a full earlier table, so leftovers would show.
    std::vector<uint8_t> earlier = randomLengths(count, 0, random);
    buildHuffmanTable(earlier.data(), count, table);
    std::vector<uint8_t> lengths = randomLengths(count, kind, random);
    // Every other round the last (up to) eight symbols carry extra bit counts 0..7 in
    // the lookup, which must leave the symbols and lengths as they are.
    const uint8_t extras[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    // Every third round one symbol is held out of the lookup instead, as the
    // multimedia tables hold their switch symbol: it must still decode, by the limits.
    uint32_t extraFrom = round % 2 ? count : count - std::min<uint32_t>(count, 8);
    uint32_t held = round % 3 == 0 ? (uint32_t)(random() % count) : (uint32_t)MaxHuffmanSymbols;
    if (held < count) {
      extraFrom = count;
      buildHeldHuffmanTable(lengths.data(), count, table, held);
    } else {
      buildHuffmanTable(lengths.data(), count, table, extras, extraFrom);
    }
    ReferenceCode ref(lengths);
    for (uint32_t v = 0; v < 0x10000; v++) {
      uint32_t length = 0, refLength = 0;
      uint32_t symbol = decodePeeked(table, v, &length);
      uint32_t expected = ref.decode(v, &refLength);
      ASSERT_EQ(symbol, expected) << "round " << round << " kind " << kind << " value " << v;
      ASSERT_EQ(length, refLength) << "round " << round << " kind " << kind << " value " << v;
      uint32_t entry = table->quick[v >> (16 - QuickBits)];
      uint32_t extra = entry != 0 && symbol >= extraFrom ? extras[symbol - extraFrom] : 0;
      ASSERT_EQ(quickSymbolAndExtra(entry) & 7, extra) << "round " << round << " value " << v;
      if (symbol == held) {
        ASSERT_EQ(entry, 0u) << "round " << round << " value " << v;
      }
    }
  }
  delete table;
}

TEST_F(HuffmanQuick, DecodingThroughTheBitInputConsumesTheSameBits) {
  // Random bits read as a run of symbols at every bit offset: the full path (peek,
  // lookup or search, skip) must follow the plain rule symbol by symbol.
  std::mt19937 random(77);
  HuffmanTable* table = new HuffmanTable();
  for (int round = 0; round < 60; round++) {
    uint32_t count = round % 2 ? 298 : 19;
    std::vector<uint8_t> lengths = randomLengths(count, round % 6, random);
    buildHuffmanTable(lengths.data(), count, table);
    ReferenceCode ref(lengths);
    for (uint32_t i = 0; i < 4096; i++) unpackState.bits.inputBuffer[i] = (uint8_t)random();
    unpackState.bits.bytePos = 0;
    unpackState.bits.bitPos = round % 8;
    uint32_t bit = round % 8;
    while (unpackState.bits.bytePos < 4000) {
      const uint8_t* p = unpackState.bits.inputBuffer + bit / 8;
      uint32_t peeked = ((((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2]) >> (8 - bit % 8)) & 0xFFFF;
      uint32_t refLength;
      uint32_t expected = ref.decode(peeked, &refLength);
      ASSERT_EQ(decodeSymbol(table), expected);
      bit += refLength;
      ASSERT_EQ(unpackState.bits.bytePos * 8 + unpackState.bits.bitPos, bit);
    }
  }
  delete table;
}

}  // namespace
