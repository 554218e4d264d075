// The CRC-32 update takes several bytes per round; it must give exactly what the
// one-byte-per-step definition gives, for every length, start offset and accumulator.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "archive/checksum.h"

namespace {

uint32_t bytewiseCrc(uint32_t acc, const uint8_t* p, size_t length) {
  for (size_t i = 0; i < length; i++) acc = crcTable[(acc ^ p[i]) & 0xFF] ^ (acc >> 8);
  return acc;
}

TEST(CrcWide, EqualsTheBytewiseStepForEveryLengthOffsetAndStart) {
  buildCrcTable();
  std::mt19937 random(3);
  std::vector<uint8_t> data(4096 + 16);
  for (auto& b : data) b = (uint8_t)random();
  // All short lengths at every alignment: the tail loop, the wide rounds and the
  // folding of 256, 64 and 16 bytes at a time meet.
  for (size_t offset = 0; offset < 16; offset++)
    for (size_t length = 0; length <= 600; length++) {
      uint32_t acc = random();
      ASSERT_EQ(updateCrc32(acc, data.data() + offset, length),
                bytewiseCrc(acc, data.data() + offset, length))
          << "offset " << offset << " length " << length;
    }
  for (int round = 0; round < 200; round++) {
    size_t offset = random() % 16, length = random() % 4096;
    uint32_t acc = round % 2 ? 0xFFFFFFFFu : (uint32_t)random();
    ASSERT_EQ(updateCrc32(acc, data.data() + offset, length),
              bytewiseCrc(acc, data.data() + offset, length));
  }
  // Long runs of one byte value stress single table columns.
  for (uint8_t fill : {0x00, 0xFF, 0x80, 0x01}) {
    std::vector<uint8_t> same(1000, fill);
    EXPECT_EQ(updateCrc32(0xFFFFFFFFu, same.data(), same.size()),
              bytewiseCrc(0xFFFFFFFFu, same.data(), same.size()));
  }
  // The table the ciphers read is still the one-byte table.
  EXPECT_EQ(crcTable[1], 0x77073096u);
  EXPECT_EQ(crcTable[255], 0x2D02EF8Du);
}

}  // namespace
