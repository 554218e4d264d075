// The wide match copy against the plain byte loop: every short distance (where the
// pattern repeats), distances around the eight-byte step, the window size and beyond,
// zero, lengths up to past the longest match, and write positions at both ends of the
// window so that source, destination or both wrap. Bytes just outside the copied span
// must stay untouched: they are history later matches still read.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "unpack/window_copy.h"

namespace {

uint32_t byteLoopCopy(uint8_t* window, uint32_t dest, uint32_t distance, uint32_t length) {
  while (length-- > 0) {
    window[dest] = window[(dest - distance) & WindowMask];
    dest = (dest + 1) & WindowMask;
  }
  return dest;
}

TEST(WindowCopy, EqualsTheByteLoopAtEveryEdge) {
  std::mt19937 random(31);
  std::vector<uint8_t> original(WindowSize);
  for (auto& b : original) b = (uint8_t)random();
  std::vector<uint8_t> fast = original, plain = original;

  std::vector<uint32_t> positions = {0, 1, 3, 7, 8, 9, 15, 16, 100, 4096, 500000};
  for (uint32_t back = 1; back <= 300; back += (back < 20 ? 1 : 37)) positions.push_back(WindowSize - back);
  std::vector<uint32_t> distances;
  for (uint32_t d = 0; d <= 18; d++) distances.push_back(d);
  for (uint32_t d : {23u, 31u, 32u, 33u, 64u, 255u, 256u, 257u, 299u, 4095u, 65536u, 500000u}) distances.push_back(d);
  // A source just ahead of the destination, one to seventeen bytes (the whole window back).
  for (uint32_t back = 0; back <= 17; back++) distances.push_back(WindowSize - back);
  for (uint32_t d : {WindowSize + 1, WindowSize + 8, 2 * WindowSize, 0xFFFFFFFFu}) distances.push_back(d);
  std::vector<uint32_t> lengths;
  for (uint32_t l = 0; l <= 40; l++) lengths.push_back(l);
  for (uint32_t l : {63u, 64u, 65u, 100u, 257u, 262u, 300u}) lengths.push_back(l);

  const uint32_t guard = 40;
  for (uint32_t dest : positions)
    for (uint32_t distance : distances)
      for (uint32_t length : lengths) {
        uint32_t got = copyWithinWindow(fast.data(), dest, distance, length);
        uint32_t expected = byteLoopCopy(plain.data(), dest, distance, length);
        ASSERT_EQ(got, expected) << dest << " " << distance << " " << length;
        for (uint32_t i = 0; i < length + 2 * guard; i++) {
          uint32_t at = (dest - guard + i) & WindowMask;
          ASSERT_EQ(fast[at], plain[at]) << "position " << at << " after copy at " << dest
                                         << " distance " << distance << " length " << length;
          fast[at] = plain[at] = original[at];
        }
      }
}

}  // namespace
