// The version 1.5 decoder on an entry whose unpacked size lies far beyond what its
// packed data can give: once the packed data is used up it decodes stale bytes, and
// it must stop after a bounded amount instead of producing the whole size.
#include <gtest/gtest.h>

#include "tests/v15/v15_harness.h"

namespace {

std::vector<uint8_t> pseudoRandom(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = uint8_t(seed >> 16);
  }
  return bytes;
}

TEST(V15ExhaustedInput, AHugeSizeFromAFewBytesEndsSoonAfterThePackedData) {
  const uint32_t claimed = 32u << 20;
  for (uint32_t seed = 1; seed <= 4; seed++) {
    V15Decoder decoder;
    std::vector<uint8_t> out = decoder.decode(pseudoRandom(200, seed), claimed);
    // Two buffers of stale input at most: a few MiB even if every bit made a long match.
    EXPECT_LT(out.size(), 4u << 20) << "seed " << seed;
    EXPECT_GT(out.size(), 0u) << "seed " << seed;
  }
}

TEST(V15ExhaustedInput, ASolidFileAfterAnExhaustedOneStillDecodes) {
  V15Decoder decoder;
  decoder.decode(pseudoRandom(100, 9), 32u << 20);
  // The next file starts from its own packed data; its size bounds it as usual (a
  // last match may run past it).
  std::vector<uint8_t> out = decoder.decode(pseudoRandom(3000, 10), 5000, true);
  EXPECT_GE(out.size(), 5000u);
  EXPECT_LT(out.size(), 5000u + 268);
}

}  // namespace
