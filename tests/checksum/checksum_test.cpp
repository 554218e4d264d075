#include <gtest/gtest.h>

#include <string.h>

#include "archive/checksum.h"

namespace {

class Checksums : public ::testing::Test {
 protected:
  void SetUp() override { buildCrcTable(); }
};

TEST_F(Checksums, Crc32MatchesTheStandardCheckValue) {
  const char* text = "123456789";
  EXPECT_EQ(~updateCrc32(0xFFFFFFFFu, text, 9), 0xCBF43926u);
  EXPECT_EQ(updateCrc32(0x12345678u, text, 0), 0x12345678u);
}

TEST_F(Checksums, SplitUpdatesEqualOneUpdate) {
  unsigned char data[1000];
  for (int i = 0; i < 1000; i++) data[i] = (unsigned char)(i * 7 + i / 13);
  uint32_t whole = updateCrc32(0xFFFFFFFFu, data, sizeof data);
  uint32_t split = updateCrc32(0xFFFFFFFFu, data, 1);
  split = updateCrc32(split, data + 1, 498);
  split = updateCrc32(split, data + 499, 501);
  EXPECT_EQ(whole, split);

  uint16_t sum = updateChecksum16(0, data, sizeof data);
  uint16_t parts = updateChecksum16(updateChecksum16(0, data, 333), data + 333, 667);
  EXPECT_EQ(sum, parts);
}

TEST_F(Checksums, Checksum16AddsAndRotates) {
  EXPECT_EQ(updateChecksum16(0, "abc", 3), 0x0556);
  EXPECT_EQ(updateChecksum16(0xBEEF, "", 0), 0xBEEF);
  // The add wraps within 16 bits before the rotation.
  unsigned char high = 0x01;
  EXPECT_EQ(updateChecksum16(0xFFFF, &high, 1), 0x0000);
  unsigned char top = 0;
  EXPECT_EQ(updateChecksum16(0x8000, &top, 1), 0x0001);
}

TEST_F(Checksums, DispatcherModes) {
  // Mode 1 ignores the upper half of the accumulator and stays below 65,536.
  EXPECT_EQ(updateChecksum(0xABCD0000u, "abc", 3, 1), 0x0556u);
  EXPECT_LT(updateChecksum(0xFFFFFFFFu, "some data", 9, 1), 65536u);
  EXPECT_EQ(~updateChecksum(0xFFFFFFFFu, "123456789", 9, 2), 0xCBF43926u);
}

}  // namespace
