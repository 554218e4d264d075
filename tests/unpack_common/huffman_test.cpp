#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <random>
#include <vector>

#include "extract/session.h"
#include "tests/support/bit_writer.h"
#include "tests/support/fake_host.h"
#include "unpack/unpack.h"

namespace {

class Huffman : public ::testing::Test {
 protected:
  void SetUp() override { resetEngineAndHost(); }
  void TearDown() override { resetEngineForTests(); }

  void loadBits(const BitWriter& writer) {
    std::vector<uint8_t> bytes = writer.finish(4);
    ASSERT_LE(bytes.size(), (size_t)InputBufferSize);
    memcpy(unpackState.bits.inputBuffer, bytes.data(), bytes.size());
    unpackState.bits.bytePos = 0;
    unpackState.bits.bitPos = 0;
  }
  uint32_t bitsConsumed() const { return unpackState.bits.bytePos * 8 + unpackState.bits.bitPos; }

  HuffmanTable table;
};

// Code lengths of a complete prefix code over `count` symbols with some absent ones,
// grown by splitting random leaves (so lengths go up to 15).
std::vector<uint8_t> completeLengths(uint32_t count, uint32_t present, std::mt19937& random) {
  std::vector<uint8_t> leaves = {1, 1};
  while (leaves.size() < present) {
    size_t pick = random() % leaves.size();
    if (leaves[pick] >= 15) continue;
    leaves[pick]++;
    leaves.push_back(leaves[pick]);
  }
  std::vector<uint8_t> lengths(count, 0);
  std::vector<uint32_t> slots(count);
  for (uint32_t i = 0; i < count; i++) slots[i] = i;
  std::shuffle(slots.begin(), slots.end(), random);
  for (size_t i = 0; i < leaves.size(); i++) lengths[slots[i]] = leaves[i];
  return lengths;
}

TEST_F(Huffman, EverySymbolOfACompleteCodeDecodesBack) {
  std::mt19937 random(11);
  for (uint32_t count : {298u, 48u, 28u, 19u, 257u, 2u}) {
    for (int round = 0; round < 20; round++) {
      uint32_t present = count < 4 ? count : 2 + random() % (count - 1);
      std::vector<uint8_t> lengths = completeLengths(count, present, random);
      std::vector<uint32_t> codes = canonicalCodes(lengths);
      buildHuffmanTable(lengths.data(), count, &table);

      BitWriter writer;
      std::vector<uint32_t> sent;
      for (uint32_t s = 0; s < count; s++)
        if (lengths[s] != 0) {
          writer.put(codes[s], lengths[s]);
          sent.push_back(s);
        }
      // A second pass in random order, starting off a byte boundary.
      writer.put(1, 3);
      std::shuffle(sent.begin(), sent.end(), random);
      for (uint32_t s : sent) writer.put(codes[s], lengths[s]);
      loadBits(writer);

      uint32_t expectedBits = 0;
      for (uint32_t s = 0; s < count; s++) {
        if (lengths[s] == 0) continue;
        ASSERT_EQ(decodeSymbol(&table), s) << "alphabet " << count << " round " << round;
        expectedBits += lengths[s];
        ASSERT_EQ(bitsConsumed(), expectedBits);
      }
      skipBits(3);
      for (uint32_t s : sent) ASSERT_EQ(decodeSymbol(&table), s);
    }
  }
}

TEST_F(Huffman, LengthsAreTakenModulo16) {
  std::vector<uint8_t> lengths = {0x11, 0x02, 0x12, 0x10};  // 1, 2, 2, absent
  buildHuffmanTable(lengths.data(), 4, &table);
  BitWriter writer;
  writer.put(0b0, 1);
  writer.put(0b10, 2);
  writer.put(0b11, 2);
  loadBits(writer);
  EXPECT_EQ(decodeSymbol(&table), 0u);
  EXPECT_EQ(decodeSymbol(&table), 1u);
  EXPECT_EQ(decodeSymbol(&table), 2u);
}

TEST_F(Huffman, AnIncompleteCodeFoldsUnusedValuesToTheFirstSlotAndClearedSlots) {
  // First a full table, so that every slot holds a symbol.
  std::vector<uint8_t> full(298, 0);
  std::mt19937 random(5);
  full = completeLengths(298, 298, random);
  buildHuffmanTable(full.data(), 298, &table);

  // Symbol 5 has code 0, symbol 7 code 10; values starting 11 belong to no code.
  std::vector<uint8_t> lengths(298, 0);
  lengths[5] = 1;
  lengths[7] = 2;
  buildHuffmanTable(lengths.data(), 298, &table);
  EXPECT_EQ(table.lengthLimit[1], 0x8000u);
  EXPECT_EQ(table.lengthLimit[2], 0xC000u);
  EXPECT_EQ(table.lengthLimit[15], 0xC000u);

  BitWriter writer;
  writer.put(0b0, 1);
  writer.put(0b10, 2);
  // 11 then zeros: length 15, index 2, a slot this build did not fill.
  writer.put(0b110000000000000, 15);
  // All ones: an index past the alphabet, folded to slot 0.
  writer.put(0x7FFF, 15);
  loadBits(writer);
  EXPECT_EQ(decodeSymbol(&table), 5u);
  EXPECT_EQ(decodeSymbol(&table), 7u);
  EXPECT_EQ(decodeSymbol(&table), 0u) << "an unfilled slot reads 0, not an old symbol";
  EXPECT_EQ(bitsConsumed(), 18u);
  EXPECT_EQ(decodeSymbol(&table), 5u) << "past the alphabet: the first slot";
  EXPECT_EQ(bitsConsumed(), 33u);
}

TEST_F(Huffman, AllLengthsZeroDecodesTheFirstSlotFromFifteenBits) {
  std::vector<uint8_t> lengths(19, 0);
  buildHuffmanTable(lengths.data(), 19, &table);
  BitWriter writer;
  writer.put(0xABCD, 16);
  loadBits(writer);
  EXPECT_EQ(decodeSymbol(&table), 0u);
  EXPECT_EQ(bitsConsumed(), 15u);
}

TEST_F(Huffman, AnOverFullCodeSaturatesAndItsSurplusNeverDecodes) {
  // Lengths 1, 2, 2, 2: the 2-bit codes run past the 16-bit space.
  std::vector<uint8_t> lengths = {1, 2, 2, 2};
  buildHuffmanTable(lengths.data(), 4, &table);
  EXPECT_EQ(table.lengthLimit[1], 0x8000u);
  EXPECT_EQ(table.lengthLimit[2], 0xFFFFu);
  EXPECT_EQ(table.lengthLimit[15], 0xFFFFu);

  BitWriter writer;
  writer.put(0b0, 1);
  writer.put(0b10, 2);
  writer.put(0b11, 2);
  writer.put(0xFFFF, 16);
  loadBits(writer);
  EXPECT_EQ(decodeSymbol(&table), 0u);
  EXPECT_EQ(decodeSymbol(&table), 1u);
  EXPECT_EQ(decodeSymbol(&table), 2u);
  EXPECT_EQ(decodeSymbol(&table), 2u) << "all ones still decodes in 2 bits";
  EXPECT_EQ(bitsConsumed(), 7u);

  // Three 1-bit codes: the third symbol is unreachable.
  std::vector<uint8_t> three = {1, 1, 1};
  buildHuffmanTable(three.data(), 3, &table);
  BitWriter second;
  second.put(0b1, 1);
  second.put(0b0, 1);
  loadBits(second);
  EXPECT_EQ(decodeSymbol(&table), 1u);
  EXPECT_EQ(decodeSymbol(&table), 0u);
}

}  // namespace
