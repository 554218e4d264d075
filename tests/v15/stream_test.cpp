// Streams assembled step by step for paths the compressor rarely or never takes.
// The expected output is worked out here from what each step means, not from the
// model, so a fault shared by the step writer and the decoder still shows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <random>

#include "pack/encode_v15_writer.h"
#include "tests/support/bit_writer.h"
#include "tests/support/random_bytes.h"
#include "tests/v15/v15_harness.h"
#include "unpack/v15_model.h"

namespace {

// What a match appends: byte by byte, so a short distance repeats.
void copyBack(std::vector<uint8_t>& out, uint32_t distance, uint32_t length) {
  for (uint32_t i = 0; i < length; i++) out.push_back(out[out.size() - distance]);
}

// Literals, in whichever mode the model is in at each byte.
void putLiterals(V15Writer& w, std::vector<uint8_t>& expected, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) {
    w.literal(b);
    expected.push_back(b);
  }
}

TEST(V15Streams, EmptyFileReadsNoFlagByte) {
  V15Decoder d;
  EXPECT_TRUE(d.decode({0x12, 0x34, 0x56}, 0).empty());
  EXPECT_EQ(unpackState.bits.bytePos, 0u);
  EXPECT_EQ(unpackState.bits.bitPos, 0u);
  EXPECT_EQ(unpackState.v15.flagList[0], 0u) << "the flag list was not used";
  EXPECT_EQ(unpackState.v15.flagBitsLeft, 0);
}

TEST(V15Streams, BitsOfTheFirstSteps) {
  // Flag byte 0xFF (place 1 of the flag list: 00001), then literal places in the
  // literal code for an average of 0x3500: 'a' at 97, 'b' at 98, then 'a' again,
  // which its first use moved to the front.
  BitWriter bits;
  bits.put(0x01, 5);
  bits.put(0x7A1, 11);
  bits.put(0x7A2, 11);
  bits.put(0x00, 5);
  V15Decoder d;
  EXPECT_EQ(d.decode(bits.finish(), 3), bytesOf("aba"));
  EXPECT_EQ(unpackState.v15.literalList[0], (uint32_t('a') << 8) | 2);
  EXPECT_EQ(unpackState.v15.literalList[97], 0u) << "the old front took the used entry's place";
}

TEST(V15Streams, LiteralPlace256OutsideLiteralOnlyModeReadsAsPlace255) {
  BitWriter bits;
  bits.put(0x01, 5);   // flag byte 0xFF
  bits.put(0xFFF, 12); // place code value 256
  bits.put(0x00, 5);   // place 0: the same byte again
  V15Decoder d;
  EXPECT_EQ(d.decode(bits.finish(), 2), std::vector<uint8_t>({0xFF, 0xFF}));
  EXPECT_EQ(unpackState.v15.literalList[255], 0u);
}

TEST(V15Streams, TwoRepeatCodesSetRepeatRunAndOneBitRepeatsFollow) {
  V15Writer w;
  w.startFile(false, 1);
  std::vector<uint8_t> expected;
  putLiterals(w, expected, bytesOf("xyz"));
  w.shortMatch(3, 3);
  copyBack(expected, 3, 3);
  w.repeat();  // code 9
  copyBack(expected, 3, 3);
  putLiterals(w, expected, bytesOf("q"));  // literals do not break the run
  w.repeat();  // code 9 again: repeatRun 2
  copyBack(expected, 3, 3);
  w.repeat();  // from here a single 1 bit
  copyBack(expected, 3, 3);
  w.repeat();
  copyBack(expected, 3, 3);
  std::vector<uint8_t> withRun = w.finishFile();

  V15Decoder d;
  EXPECT_EQ(d.decode(withRun, expected.size()), expected);
  EXPECT_EQ(unpackState.v15.repeatRun, 2u);

  // A 0 bit ends the run and the short code after it is read as usual.
  V15Writer w2;
  w2.startFile(false, 1);
  std::vector<uint8_t> expected2;
  putLiterals(w2, expected2, bytesOf("xyz"));
  w2.shortMatch(3, 3);
  copyBack(expected2, 3, 3);
  w2.repeat();
  copyBack(expected2, 3, 3);
  w2.repeat();
  copyBack(expected2, 3, 3);
  w2.shortMatch(2, 2);
  copyBack(expected2, 2, 2);
  w2.repeat();  // code 9 once more: repeatRun 1
  copyBack(expected2, 2, 2);
  EXPECT_EQ(d.decode(w2.finishFile(), expected2.size()), expected2);
  EXPECT_EQ(unpackState.v15.repeatRun, 1u);
}

TEST(V15Streams, CodeTenWithLength257TogglesTheVariantAndCodeFourteenBecomesReachable) {
  V15Writer w;
  w.startFile(false, 1);
  std::vector<uint8_t> expected;
  putLiterals(w, expected, randomBytes(66000, 1));
  ASSERT_TRUE(w.model.literalOnly);
  w.leaveLiteralOnly();
  w.toggleVariant();  // nothing is written
  w.farMatch(0x8000 + 1234, 20);
  copyBack(expected, 0x8000 + 1234, 20);
  w.farMatch(0xFFFF, 260);
  copyBack(expected, 0xFFFF, 260);
  std::vector<uint8_t> packed = w.finishFile();

  V15Decoder d;
  EXPECT_EQ(d.decode(packed, expected.size()), expected);
  EXPECT_EQ(unpackState.v15.shortCodeVariant, 1u);
  EXPECT_EQ(unpackState.history.lastDistance, 0xFFFFu);
  EXPECT_EQ(unpackState.history.lastLength, 260u);
  EXPECT_EQ(unpackState.history.recentDistances[0], 0u) << "code 14 does not enter the recent distances";

  // Toggled back, the three-bit short code of length 3 is read again.
  w.startFile(false, 1);
  expected.clear();
  putLiterals(w, expected, bytesOf("0123456789abcdefghijklmnopqrstuvwxyz"));
  if (w.model.literalOnly) w.leaveLiteralOnly();
  w.toggleVariant();
  w.toggleVariant();
  w.shortMatch(10, 3);
  copyBack(expected, 10, 3);
  EXPECT_EQ(d.decode(w.finishFile(), expected.size()), expected);
  EXPECT_EQ(unpackState.v15.shortCodeVariant, 0u);
}

TEST(V15Streams, LiteralOnlyEscapes) {
  V15Writer w;
  w.startFile(false, 1);
  std::vector<uint8_t> expected;
  putLiterals(w, expected, bytesOf("ABCDEFGH"));
  w.shortMatch(8, 8);
  copyBack(expected, 8, 8);
  // Literal-only mode starts at the literal that uses up a flag byte once 16
  // literals have passed since the match: the match took two bits of the second
  // flag byte, so the 22nd literal uses up the fourth.
  int literals = 0;
  while (!w.model.literalOnly) {
    putLiterals(w, expected, {uint8_t('a' + literals)});
    literals++;
  }
  EXPECT_EQ(literals, 22);
  w.escapeMatch(5, 3);  // escape, 0 bit: a match of 3
  copyBack(expected, 5, 3);
  w.escapeMatch(8223, 4);  // the farthest one, of 4, reaching the zeros before the data
  for (int i = 0; i < 4; i++) expected.push_back(0);
  putLiterals(w, expected, bytesOf("!"));
  w.leaveLiteralOnly();  // escape, 1 bit: nothing
  w.repeat();            // repeats the short match, not the escape matches
  copyBack(expected, 8, 8);

  V15Decoder d;
  EXPECT_EQ(d.decode(w.finishFile(), expected.size()), expected);
  EXPECT_FALSE(unpackState.v15.literalOnly);
  EXPECT_EQ(unpackState.history.lastDistance, 8u);
  EXPECT_EQ(unpackState.history.lastLength, 8u);
}

TEST(V15Streams, LiteralCounterPassing161RescalesFirst) {
  V15Writer w;
  w.startFile(false, 1);
  auto literalAtPlace = [&w](uint32_t place) { w.literalAt(w.model.literalOnly ? place + 1 : place); };
  literalAtPlace('a');                             // 'a' moves to the front
  for (int i = 0; i < 161; i++) literalAtPlace(0); // its counter passes 161 on the last one
  // After the rescale place 40 ('(') has counter 6 and moves up to place 32;
  // without it, it would move to place 1.
  literalAtPlace(40);
  literalAtPlace(32);
  std::vector<uint8_t> expected(162, 'a');
  expected.push_back('(');
  expected.push_back('(');

  V15Decoder d;
  EXPECT_EQ(d.decode(w.finishFile(), expected.size()), expected);
  EXPECT_EQ(unpackState.v15.literalList[0], (uint32_t('a') << 8) | 8);
}

TEST(V15Streams, DistanceCounterPassing255RescalesFirst) {
  V15Writer w;
  w.startFile(false, 1);
  std::vector<uint8_t> expected;
  putLiterals(w, expected, bytesOf("ABCDEFG"));
  // Distance 7 is high part 0 at place 0 with counter 7; the 249th use would
  // carry into the high part (distance 135) without the rescale.
  for (int i = 0; i < 250; i++) {
    w.longMatchAt(0, 0, 7);
    copyBack(expected, 7, 11);
  }
  V15Decoder d;
  EXPECT_EQ(d.decode(w.finishFile(), expected.size()), expected);
  EXPECT_EQ(unpackState.v15.distanceList[0], 9u) << "high part 0, counter 7 after the rescale, used twice";
}

TEST(V15Streams, LongMatchLengthBonuses) {
  // Literal places spread over the list: the first long match sets the far
  // distance limit to 0x7F00.
  V15Writer w;
  w.startFile(false, 1);
  std::vector<uint8_t> expected;
  putLiterals(w, expected, randomBytes(33000, 2));
  w.leaveLiteralOnly();
  w.longMatchAt(0, w.placeOfDistanceHigh(2), 0);  // distance 256: +8
  copyBack(expected, 256, 11);
  ASSERT_EQ(w.model.farDistanceLimit, 0x7F00u);
  w.longMatchAt(0, w.placeOfDistanceHigh(2), 1);  // 257: none
  copyBack(expected, 257, 3);
  w.longMatchAt(0, w.placeOfDistanceHigh(0x7F00 >> 7), 0);  // at the limit: +1
  copyBack(expected, 0x7F00, 4);
  w.longMatchAt(2, w.placeOfDistanceHigh(0x7EFF >> 7), 0x7F);  // just below it
  copyBack(expected, 0x7EFF, 5);
  V15Decoder d;
  EXPECT_EQ(d.decode(w.finishFile(), expected.size()), expected);
  EXPECT_EQ(unpackState.v15.farDistanceLimit, 0x7F00u);

  // Literals from the front of the list keep the limit at 0x2001.
  w.startFile(false, 1);
  expected.clear();
  putLiterals(w, expected, randomBytes(9000, 3, 4));
  w.leaveLiteralOnly();
  w.longMatchAt(0, w.placeOfDistanceHigh(0x2001 >> 7), 1);
  copyBack(expected, 0x2001, 4);
  ASSERT_EQ(w.model.farDistanceLimit, 0x2001u);
  w.longMatchAt(0, w.placeOfDistanceHigh(0x2000 >> 7), 0);
  copyBack(expected, 0x2000, 3);
  EXPECT_EQ(d.decode(w.finishFile(), expected.size()), expected);
}

TEST(V15Streams, RecentDistancesCarryTheirOwnBonuses) {
  V15Writer w;
  w.startFile(false, 1);
  std::vector<uint8_t> expected;
  putLiterals(w, expected, randomBytes(600, 4));
  if (w.model.literalOnly) w.leaveLiteralOnly();
  w.shortMatch(200, 5);
  copyBack(expected, 200, 5);
  w.longMatch(300, 10);
  copyBack(expected, 300, 10);
  w.shortMatch(100, 4);
  copyBack(expected, 100, 4);
  // Code 10 is the most recent distance (100), 11 the one before (300), 12 the
  // first (200); 13 is still empty. Every use pushes its distance again.
  w.recent(12, 7);
  copyBack(expected, 200, 7);
  w.recent(11, 4);  // 100
  copyBack(expected, 100, 4);
  w.recent(13, 5);  // 300: one more than coded
  copyBack(expected, 300, 5);
  w.recent(10, 3);  // 300 again
  copyBack(expected, 300, 3);
  V15Decoder d;
  std::vector<uint8_t> packed = w.finishFile();
  EXPECT_EQ(d.decode(packed, expected.size()), expected);
}

TEST(V15Streams, ASolidFileWithoutAnEarlierModelStartsOne) {
  // A solid archive whose first entry is stored hands the first compressed file
  // over as solid; the model must not be left empty (every literal would read 0).
  V15Writer w;
  w.startFile(false, 1);
  std::vector<uint8_t> expected;
  putLiterals(w, expected, bytesOf("first compressed file"));
  V15Decoder d;
  EXPECT_EQ(d.decode(w.finishFile(), expected.size(), true), expected);
  // From then on a solid file continues the model.
  w.startFile(true, 1);
  expected.clear();
  putLiterals(w, expected, bytesOf("second"));
  EXPECT_EQ(d.decode(w.finishFile(), expected.size(), true), expected);
}

TEST(V15Streams, EndlessStepsWithoutOutputEndTheFile) {
  // Repeats of the empty last match (length 0 at the start of a file): flag byte
  // 0 (00000, four short steps), code 9 twice (1100 1100), then one-bit repeats.
  // After the first group every group is 16 bits: a 0 bit and code 9, code 9, and
  // two 1 bits, so the stale input buffer, once the packed data is used up, holds
  // the same steps for ever.
  BitWriter bits;
  bits.put(0x00, 5);
  bits.put(0xCC, 8);
  bits.put(0x3, 2);
  while (bits.bytes.size() < 20000) bits.put(0x0333, 16);
  std::vector<uint8_t> packed = bits.finish();
  EXPECT_EXIT(
      {
        alarm(20);
        V15Decoder d;
        std::vector<uint8_t> out = d.decode(packed, 10);
        exit(out.size() < 10 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(V15Streams, DamagedStreamsStayInsideTheirBuffers) {
  // Random bytes reach every code, the places 256 included; with a sanitizer this
  // shows any read or write outside the lists, the window or the input buffer.
  std::mt19937 random(11);
  V15Decoder d;
  for (int i = 0; i < 300; i++) {
    std::vector<uint8_t> packed = randomBytes(random() % 3000, random());
    size_t size = random() % 20000;
    std::vector<uint8_t> out = d.decode(packed, size, i % 3 != 0);
    // Whole steps are written, so the last one may run past the size.
    EXPECT_LE(out.size(), size + 267);
  }
}

}  // namespace
