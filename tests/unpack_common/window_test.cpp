#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <vector>

#include "archive/checksum.h"
#include "archive/data_stream.h"
#include "extract/session.h"
#include "tests/support/engine_test.h"
#include "tests/support/fake_host.h"
#include "unpack/unpack.h"

namespace {

class Window : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    session.window = (unsigned char*)calloc(WindowSize, 1);
    unpackState.window = session.window;
    dataStream.dataCrc = 0xFFFFFFFF;
    dataStream.checksumMode = 2;
  }
  uint8_t* window() { return unpackState.window; }
};

// The copy as a plain byte loop, to compare the real one with.
void referenceCopy(std::vector<uint8_t>& window, uint32_t& writePos, uint32_t distance,
                   uint32_t length) {
  while (length-- > 0) {
    window[writePos] = window[(writePos - distance) & WindowMask];
    writePos = (writePos + 1) & WindowMask;
  }
}

TEST_F(Window, AShortDistanceRepeatsTheLastBytes) {
  memcpy(window(), "abc", 3);
  unpackState.writePos = 3;
  dataStream.remaining = 10;
  copyMatch(2, 7);
  EXPECT_EQ(std::string((char*)window(), 10), "abcbcbcbcb");
  EXPECT_EQ(unpackState.writePos, 10u);
  EXPECT_EQ(dataStream.remaining, 3);

  copyMatch(1, 5);
  EXPECT_EQ(std::string((char*)window(), 15), "abcbcbcbcbbbbbb");
  EXPECT_EQ(dataStream.remaining, -2) << "a match past the end is copied whole";

  copyMatch(0, 2);
  EXPECT_EQ(std::string((char*)window(), 17), std::string("abcbcbcbcbbbbbb\0\0", 17))
      << "distance 0 copies each byte onto itself";
}

TEST_F(Window, MatchesWrapAroundTheWindowEnd) {
  memcpy(window() + WindowSize - 4, "wx??", 4);
  unpackState.writePos = WindowSize - 2;
  copyMatch(2, 6);  // repeats "wx" over the end of the window and on from its start
  EXPECT_EQ(std::string((char*)window() + WindowSize - 4, 4), "wxwx");
  EXPECT_EQ(std::string((char*)window(), 4), "wxwx");
  EXPECT_EQ(unpackState.writePos, 4u);

  // Back across the end from the start of the window.
  memcpy(window() + WindowSize - 3, "abc", 3);
  copyMatch(7, 5);
  EXPECT_EQ(std::string((char*)window() + 4, 5), "abcwx");
}

TEST_F(Window, CopiesMatchTheByteLoopForAnyDistanceAndLength) {
  std::mt19937 random(3);
  std::vector<uint8_t> expected(WindowSize);
  for (uint32_t i = 0; i < WindowSize; i++) expected[i] = (uint8_t)(i * 7 + (i >> 9));
  memcpy(window(), expected.data(), WindowSize);
  uint32_t expectedPos = 0;
  for (int i = 0; i < 20000; i++) {
    uint32_t length = 2 + random() % 300;
    uint32_t distance;
    switch (random() % 4) {
      case 0: distance = random() % 8; break;
      case 1: distance = length - random() % 3; break;
      case 2: distance = WindowSize - random() % 400; break;  // source ahead of dest
      default: distance = random(); break;                    // above the window size too
    }
    if (random() % 50 == 0) expectedPos = (WindowSize - random() % 300) & WindowMask;
    unpackState.writePos = expectedPos;
    referenceCopy(expected, expectedPos, distance, length);
    copyMatch(distance, length);
    ASSERT_EQ(unpackState.writePos, expectedPos);
  }
  EXPECT_EQ(0, memcmp(window(), expected.data(), WindowSize));
}

TEST_F(Window, AFlushAcrossTheEndWritesTheTailFirstThenTheHead) {
  captureUnpackedOutput();
  memcpy(window() + WindowSize - 5, "TAIL.", 5);
  memcpy(window(), "head", 4);
  unpackState.flushedPos = WindowSize - 5;
  unpackState.writePos = 4;
  flushWindow();
  std::vector<uint8_t> bytes = capturedOutput();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "TAIL.head");
  EXPECT_EQ(unpackState.flushedPos, 4u);
  EXPECT_EQ(~dataStream.dataCrc, ~updateCrc32(0xFFFFFFFF, "TAIL.head", 9));

  // Nothing new: nothing written.
  flushWindow();
  EXPECT_EQ(capturedOutput().size(), 9u);

  memcpy(window() + 4, "-more", 5);
  unpackState.writePos = 9;
  flushWindow();
  bytes = capturedOutput();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "TAIL.head-more");
}

TEST_F(Window, AFlushInTestModeWritesNothingButChecksums) {
  captureUnpackedOutput();
  session.testMode = true;
  memcpy(window() + WindowSize - 2, "ab", 2);
  memcpy(window(), "cd", 2);
  unpackState.flushedPos = WindowSize - 2;
  unpackState.writePos = 2;
  flushWindow();
  EXPECT_TRUE(capturedOutput().empty());
  EXPECT_EQ(dataStream.dataCrc, updateCrc32(0xFFFFFFFF, "abcd", 4));
}

TEST_F(Window, ANonSolidResetClearsTheStateASolidOneKeeps) {
  memset(window(), 0x5A, WindowSize);
  unpackState.writePos = unpackState.flushedPos = 1234;
  unpackState.bits.bytePos = 99;
  unpackState.bits.bitPos = 3;
  unpackState.history.recentDistances[2] = 7;
  unpackState.history.recentIndex = 3;
  unpackState.history.lastDistance = 8;
  unpackState.history.lastLength = 9;
  unpackState.v20.previousLengths[1027] = 4;
  unpackState.v20.currentChannel = 2;
  unpackState.v20.crossDelta = -5;
  unpackState.v20.audio[3].weights[4] = 17;
  unpackState.v20.channelCount = 3;  // the table header's business, not the reset's

  resetUnpackState(true);
  EXPECT_EQ(unpackState.bits.bytePos, 0u);
  EXPECT_EQ(unpackState.bits.bitPos, 0u);
  EXPECT_EQ(unpackState.writePos, 1234u);
  EXPECT_EQ(unpackState.history.lastDistance, 8u);
  EXPECT_EQ(window()[WindowSize - 1], 0x5A);
  EXPECT_EQ(unpackState.v20.previousLengths[1027], 4);

  resetUnpackState(false);
  EXPECT_EQ(unpackState.writePos, 0u);
  EXPECT_EQ(unpackState.flushedPos, 0u);
  EXPECT_EQ(unpackState.history.recentDistances[2], 0u);
  EXPECT_EQ(unpackState.history.recentIndex, 0u);
  EXPECT_EQ(unpackState.history.lastDistance, 0u);
  EXPECT_EQ(unpackState.history.lastLength, 0u);
  EXPECT_EQ(unpackState.v20.previousLengths[1027], 0);
  EXPECT_EQ(unpackState.v20.currentChannel, 0);
  EXPECT_EQ(unpackState.v20.crossDelta, 0);
  EXPECT_EQ(unpackState.v20.audio[3].weights[4], 0);
  EXPECT_EQ(unpackState.v20.channelCount, 3);
  std::vector<uint8_t> zeros(WindowSize, 0);
  EXPECT_EQ(0, memcmp(window(), zeros.data(), WindowSize));
}

}  // namespace
