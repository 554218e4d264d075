// Code lengths stay within 15 bits and form complete canonical codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pack/encode_v20_header.h"
#include "pack/huffman_encoder.h"

TEST(Pack20Huffman, LengthsAreLimitedAndComplete) {
  // Fibonacci counts make an unlimited code 39 bits deep.
  uint32_t counts[40];
  counts[0] = counts[1] = 1;
  for (int i = 2; i < 40; i++) counts[i] = counts[i - 1] + counts[i - 2];
  uint8_t lengths[40];
  buildCodeLengths(counts, 40, 15, lengths);
  double kraft = 0;
  for (int i = 0; i < 40; i++) {
    ASSERT_GE(lengths[i], 1);
    ASSERT_LE(lengths[i], 15);
    kraft += 1.0 / (1 << lengths[i]);
  }
  EXPECT_DOUBLE_EQ(kraft, 1.0);
  EXPECT_LE(lengths[39], lengths[0]);
}

TEST(Pack20Huffman, LengthsOfSmallAlphabetsAndTies) {
  // Equal weights join the lower nodes first (leaves before the parents made of them),
  // so the lengths follow from the counts alone, on every machine.
  struct Row {
    std::vector<uint32_t> counts;
    std::vector<uint8_t> lengths;
  } rows[] = {
      {{1, 1, 2, 4}, {3, 3, 2, 1}},
      {{2, 2, 2, 2, 2, 2}, {3, 3, 3, 3, 2, 2}},
      {{5, 0, 5}, {1, 0, 1}},
      {{0, 9, 0, 1, 1, 0, 3}, {0, 1, 0, 3, 3, 0, 2}},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> lengths(row.counts.size());
    buildCodeLengths(row.counts.data(), (int)row.counts.size(), 15, lengths.data());
    EXPECT_EQ(lengths, row.lengths) << "first count " << row.counts[0];
  }
  // The largest alphabet, all equal: 214 codes of 8 bits and 84 of 9 fill the space.
  std::vector<uint32_t> flat(298, 7);
  uint8_t lengths[298];
  buildCodeLengths(flat.data(), 298, 15, lengths);
  int eight = 0, nine = 0;
  for (uint8_t l : lengths) (l == 8 ? eight : nine)++;
  EXPECT_EQ(eight, 214);
  EXPECT_EQ(nine, 84);
}

TEST(Pack20Huffman, LoneAndAbsentSymbols) {
  uint32_t counts[5] = {0, 0, 7, 0, 0};
  uint8_t lengths[5];
  buildCodeLengths(counts, 5, 15, lengths);
  EXPECT_EQ(lengths[2], 1);
  EXPECT_EQ(lengths[0] + lengths[1] + lengths[3] + lengths[4], 0);
  uint32_t none[3] = {0, 0, 0};
  buildCodeLengths(none, 3, 15, lengths);
  EXPECT_EQ(lengths[0] + lengths[1] + lengths[2], 0);
  EXPECT_EQ(codedBits(counts, lengths, 3), UINT64_MAX);  // symbol 2 occurs, has no code
}

TEST(Pack20Huffman, CanonicalCodesInLengthThenSymbolOrder) {
  const uint8_t lengths[6] = {3, 2, 0, 3, 2, 2};
  uint16_t codes[6];
  assignCanonicalCodes(lengths, 6, codes);
  EXPECT_EQ(codes[1], 0b00);
  EXPECT_EQ(codes[4], 0b01);
  EXPECT_EQ(codes[5], 0b10);
  EXPECT_EQ(codes[0], 0b110);
  EXPECT_EQ(codes[3], 0b111);
}

// A table header read back as the decoder reads it gives the lengths it was planned
// for: zero runs on either side of the long run code's reach (11 and 138), runs that
// end the table, and headers kept from earlier lengths.
TEST(Pack20Huffman, TableHeadersReadBackToTheirLengths) {
  const int size = 374;
  uint8_t previous[1028] = {0};
  for (int s = 0; s < size; s++) previous[s] = (uint8_t)((s * 7) % 16);
  for (int zeros : {10, 11, 12, 137, 138, 139, 150, 276, 277, 300, 373, 374}) {
    for (int at : {0, 20, size - zeros}) {
      if (at + zeros > size) continue;
      uint8_t lengths[size];
      for (int s = 0; s < size; s++) lengths[s] = s >= at && s < at + zeros ? 0 : (uint8_t)(1 + (s / 5) % 9);
      for (bool kept : {false, true}) {
        static const uint8_t none[1028] = {0};
        const uint8_t* base = kept ? previous : none;
        TableHeaderPlan plan = planTableHeader(lengths, size, base, 0);
        // The decoder: lengths added to the kept ones modulo 16, 16 repeats the last
        // length 3 to 6 times, 17 and 18 write 3 to 10 and 11 to 138 zeros.
        std::vector<uint8_t> read;
        for (uint16_t item : plan.items) {
          uint32_t symbol = item & 31, extra = item >> 5;
          size_t s = read.size();
          if (symbol < 16) read.push_back((uint8_t)((plan.keep ? base[s] : 0) + symbol) & 15);
          if (symbol == 16) read.insert(read.end(), 3 + extra, read.empty() ? 0 : read.back());
          if (symbol == 17) read.insert(read.end(), 3 + extra, 0);
          if (symbol == 18) read.insert(read.end(), 11 + extra, 0);
        }
        ASSERT_GE(read.size(), (size_t)size) << zeros << " at " << at;
        EXPECT_TRUE(std::equal(lengths, lengths + size, read.begin())) << zeros << " at " << at << " kept " << kept;
        // One run code per 138 zeros of the run at most, however the rest is coded.
        int runCodes = 0;
        for (uint16_t item : plan.items) runCodes += (item & 31) >= 17;
        EXPECT_LE(runCodes, (zeros + 137) / 138 + 1) << zeros << " at " << at;
      }
    }
  }
}
