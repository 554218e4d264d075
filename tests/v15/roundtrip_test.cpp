// The compressor's output decodes to its input: in-process round trips through
// the decoder, single files and solid runs, on data of many kinds.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pack/encode_v15.h"
#include "tests/support/random_bytes.h"
#include "tests/v15/v15_harness.h"

namespace {

std::vector<uint8_t> textOf(size_t size, uint32_t seed) {
  static const char* const words[] = {"the", "installer", "copies", "files", "into", "a", "folder", "and",
                                      "starts", "setup", "when", "it", "is", "done", "with", "every",
                                      "archive", "entry", "of", "Lumvard", "window", "password", "checksum"};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) {
    text += words[random() % (sizeof words / sizeof words[0])];
    text += random() % 9 == 0 ? ".\r\n" : " ";
  }
  text.resize(size);
  return bytesOf(text);
}

// Records of little-endian fields with slowly changing values, like tables in a
// program image.
std::vector<uint8_t> binaryOf(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  uint32_t counter = 0x401000;
  while (bytes.size() < size) {
    counter += random() % 64;
    uint32_t fields[4] = {counter, uint32_t(random() % 16), 0, uint32_t(0xFFFFFFFFu - random() % 3)};
    for (uint32_t f : fields)
      for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(f >> (8 * i)));
  }
  bytes.resize(size);
  return bytes;
}

// Blocks that come back after 32 to 64 KiB, which only code 14 reaches.
std::vector<uint8_t> farRepeatsOf(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes = randomBytes(66000, seed);
  while (bytes.size() < size) {
    if (random() % 3 == 0) {
      uint32_t distance = 0x8000 + random() % 0x7F00;
      uint32_t length = 5 + random() % 300;
      for (uint32_t i = 0; i < length; i++) bytes.push_back(bytes[bytes.size() - distance]);
    } else {
      for (int i = 0; i < 50; i++) bytes.push_back(uint8_t(random()));
    }
  }
  bytes.resize(size);
  return bytes;
}

// Mixes of runs, near copies, text and noise in random proportions.
std::vector<uint8_t> mixedOf(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  while (bytes.size() < size) {
    switch (random() % 6) {
      case 0: bytes.insert(bytes.end(), 1 + random() % 600, uint8_t(random())); break;
      case 1: {
        std::vector<uint8_t> t = textOf(1 + random() % 2000, random());
        bytes.insert(bytes.end(), t.begin(), t.end());
        break;
      }
      case 2: {
        std::vector<uint8_t> n = randomBytes(1 + random() % 300, random());
        bytes.insert(bytes.end(), n.begin(), n.end());
        break;
      }
      case 3:
        if (!bytes.empty()) {
          uint32_t distance = 1 + random() % std::min<size_t>(bytes.size(), 70000);
          uint32_t length = 2 + random() % 400;
          for (uint32_t i = 0; i < length; i++) bytes.push_back(bytes[bytes.size() - distance]);
        }
        break;
      case 4: {
        std::vector<uint8_t> b = binaryOf(1 + random() % 3000, random());
        bytes.insert(bytes.end(), b.begin(), b.end());
        break;
      }
      default: {
        uint32_t period = 1 + random() % 12;
        uint32_t count = random() % 500;
        for (uint32_t i = 0; i < count; i++) bytes.push_back(uint8_t('A' + i % period));
        break;
      }
    }
  }
  bytes.resize(size);
  return bytes;
}

void expectRoundTrip(const std::vector<uint8_t>& input, const char* what, size_t* packedSize = nullptr) {
  V15Encoder encoder;
  std::vector<uint8_t> packed = encodeV15File(encoder, input.data(), input.size(), false);
  V15Decoder d;
  EXPECT_TRUE(d.decode(packed, input.size()) == input) << what << ", " << input.size() << " bytes";
  EXPECT_EQ(dataStream.remaining, -1) << what << ": no match ran past the end";
  if (packedSize != nullptr) *packedSize = packed.size();
}

TEST(V15RoundTrip, KindsOfData) {
  size_t packed;
  expectRoundTrip(textOf(200000, 1), "text", &packed);
  EXPECT_LT(packed, 200000u * 35 / 100) << "text compresses";
  expectRoundTrip(binaryOf(150000, 2), "binary", &packed);
  EXPECT_LT(packed, 150000u * 60 / 100);
  expectRoundTrip(randomBytes(100000, 3), "noise", &packed);
  EXPECT_LT(packed, 100000u * 102 / 100) << "incompressible data grows little";
  expectRoundTrip(farRepeatsOf(200000, 4), "far repeats");
  expectRoundTrip(std::vector<uint8_t>(70000, 0x41), "one byte repeated", &packed);
  EXPECT_LT(packed, 1000u);
  expectRoundTrip({}, "empty", &packed);
  EXPECT_EQ(packed, 0u);
  for (size_t size = 1; size < 40; size++) expectRoundTrip(mixedOf(size, uint32_t(size)), "tiny");
}

TEST(V15RoundTrip, EveryFormOfStepIsUsed) {
  V15Encoder encoder;
  std::vector<uint8_t> input = mixedOf(400000, 5);
  std::vector<uint8_t> far = farRepeatsOf(100000, 6);
  input.insert(input.end(), far.begin(), far.end());
  std::vector<uint8_t> packed = encodeV15File(encoder, input.data(), input.size(), false);
  V15Decoder d;
  EXPECT_TRUE(d.decode(packed, input.size()) == input);
  const V15Stats& s = encoder.writer.stats;
  EXPECT_GT(s.literals, 0u);
  EXPECT_GT(s.literalOnlyLiterals, 0u);
  EXPECT_GT(s.shortMatches, 0u);
  EXPECT_GT(s.repeats, 0u);
  EXPECT_GT(s.recentMatches, 0u);
  EXPECT_GT(s.farMatches, 0u);
  EXPECT_GT(s.longMatches, 0u);
  EXPECT_GT(s.escapeMatches, 0u);
  EXPECT_GT(s.escapes, 0u);
  EXPECT_GT(s.toggles, 0u);
}

TEST(V15RoundTrip, LargerThanTheWindow) {
  std::vector<uint8_t> input = mixedOf(1300000, 7);
  expectRoundTrip(input, "1.3 MB");
}

TEST(V15RoundTrip, RandomSolidAndNonSolidRuns) {
  std::mt19937 random(8);
  V15Decoder d;
  for (int run = 0; run < 6; run++) {
    V15Encoder encoder;
    bool solid = false;
    for (int file = 0; file < 8; file++) {
      size_t size = random() % 4 == 0 ? random() % 10 : random() % 60000;
      std::vector<uint8_t> input;
      switch (random() % 4) {
        case 0: input = textOf(size, random()); break;
        case 1: input = randomBytes(size, random()); break;
        case 2: input = binaryOf(size, random()); break;
        default: input = mixedOf(size, random()); break;
      }
      std::vector<uint8_t> packed = encodeV15File(encoder, input.data(), input.size(), solid);
      ASSERT_TRUE(d.decode(packed, input.size(), solid) == input)
          << "run " << run << " file " << file << (solid ? " solid" : "") << ", " << size << " bytes";
      // Later files of a run mostly continue the one before.
      solid = random() % 4 != 0;
    }
  }
}

TEST(V15RoundTrip, SolidFilesReferToEarlierOnes) {
  std::vector<uint8_t> first = textOf(30000, 9);
  V15Encoder encoder;
  std::vector<uint8_t> packedFirst = encodeV15File(encoder, first.data(), first.size(), false);
  std::vector<uint8_t> packedAgain = encodeV15File(encoder, first.data(), first.size(), true);
  EXPECT_LT(packedAgain.size(), 200u) << "the second copy is all matches into the first";
  V15Decoder d;
  EXPECT_TRUE(d.decode(packedFirst, first.size()) == first);
  EXPECT_TRUE(d.decode(packedAgain, first.size(), true) == first);
}

TEST(V15RoundTrip, FedInPiecesTheBytesAreTheSameAsWhole) {
  // A solid run longer than the bytes the encoder keeps, fed in pieces of many sizes,
  // the empty file and a one-byte piece included.
  std::vector<std::vector<uint8_t>> files = {farRepeatsOf(1150000, 21), {}, binaryOf(5000, 23),
                                             textOf(60000, 24)};
  const size_t pieceSizes[] = {1, 777, 65536, 300001};
  V15Encoder whole, pieces;
  V15Decoder d;
  for (size_t i = 0; i < files.size(); i++) {
    const std::vector<uint8_t>& input = files[i];
    bool solid = i > 0;
    std::vector<uint8_t> expected = encodeV15File(whole, input.data(), input.size(), solid);
    std::vector<uint8_t> packed;
    beginV15File(pieces, solid);
    for (size_t at = 0, k = i; at < input.size(); k++) {
      size_t n = std::min(pieceSizes[k % 4], input.size() - at);
      feedV15(pieces, input.data() + at, n, &packed);
      at += n;
    }
    endV15File(pieces, &packed);
    ASSERT_TRUE(packed == expected) << "file " << i;
    ASSERT_TRUE(d.decode(packed, input.size(), solid) == input) << "file " << i;
  }
  EXPECT_LT(pieces.buf.size(), 1100000u) << "old bytes are let go";
}

}  // namespace
