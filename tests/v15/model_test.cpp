// The fixed codes and the self-organising lists of the version 1.5 model.
#include <gtest/gtest.h>

#include <set>

#include "unpack/v15_model.h"

namespace {

struct NamedCode {
  const char* name;
  const ThresholdCode* code;
  uint32_t largest;
};

const NamedCode allCodes[] = {{"lengthCodeA", &lengthCodeA, 255}, {"lengthCodeB", &lengthCodeB, 255},
                              {"placeCode0", &placeCode0, 256},   {"placeCode1", &placeCode1, 256},
                              {"placeCode2", &placeCode2, 256},   {"placeCode3", &placeCode3, 256},
                              {"placeCode4", &placeCode4, 256}};

TEST(ThresholdCodes, EveryValueOfTheRangeIsReachableAndNothingBeyondIt) {
  for (const NamedCode& named : allCodes) {
    std::set<uint32_t> seen;
    uint32_t previous = 0;
    for (uint32_t peek = 0; peek < 0x10000; peek += 16) {
      uint32_t bits;
      uint32_t value = thresholdValue(named.code, peek, &bits);
      ASSERT_LE(value, named.largest) << named.name << " peek " << peek;
      ASSERT_GE(bits, named.code->startBits) << named.name;
      ASSERT_LE(bits, 12u) << named.name;
      // Longer codes carry larger values: the code is ordered.
      ASSERT_GE(value, previous) << named.name << " peek " << peek;
      previous = value;
      seen.insert(value);
    }
    EXPECT_EQ(seen.size(), named.largest + 1) << named.name;
  }
}

TEST(ThresholdCodes, TheLookupTablesAnswerAsTheWalkForEveryPeek) {
  buildV15Lookups();
  for (const NamedCode& named : allCodes) {
    for (uint32_t peek = 0; peek < 0x10000; peek++) {
      uint32_t bits, lookedUpBits;
      uint32_t value = thresholdValue(named.code, peek, &bits);
      ASSERT_EQ(thresholdLookup(named.code, peek, &lookedUpBits), value) << named.name << " " << peek;
      ASSERT_EQ(lookedUpBits, bits) << named.name << " " << peek;
    }
  }
  for (const ShortCodeSet* set : {&shortCodeSetA, &shortCodeSetB})
    for (uint32_t variant = 0; variant < 2; variant++)
      for (uint32_t byte8 = 0; byte8 < 256; byte8++)
        ASSERT_EQ(set->lookup[variant * 256 + byte8], findShortCode(set, byte8, variant)) << byte8;
}

TEST(ThresholdCodes, ValuesAndLengthsAtTheBoundaries) {
  struct Case {
    const ThresholdCode* code;
    uint32_t peek, value, bits;
  } cases[] = {
      {&lengthCodeA, 0x0000, 0, 2},    {&lengthCodeA, 0x4000, 1, 2},   {&lengthCodeA, 0x8000, 2, 3},
      {&lengthCodeA, 0xF000, 24, 10},  {&lengthCodeA, 0xF200, 32, 12}, {&lengthCodeA, 0xFFFF, 255, 12},
      {&lengthCodeB, 0x8000, 4, 3},    {&lengthCodeB, 0xA000, 5, 4},   {&lengthCodeB, 0xF200, 34, 11},
      {&lengthCodeB, 0xF240, 36, 12},  {&placeCode0, 0x0000, 0, 4},    {&placeCode0, 0xF200, 33, 12},
      {&placeCode1, 0x2000, 4, 6},     {&placeCode1, 0xF7E0, 127, 12}, {&placeCode2, 0x0800, 1, 5},
      {&placeCode2, 0xFA00, 233, 10},  {&placeCode2, 0xFFC0, 256, 10}, {&placeCode3, 0xFE80, 251, 10},
      {&placeCode4, 0xFEFF, 254, 8},   {&placeCode4, 0xFF00, 255, 9},  {&placeCode4, 0xFF80, 256, 9},
  };
  for (const Case& c : cases) {
    uint32_t bits;
    EXPECT_EQ(thresholdValue(c.code, c.peek, &bits), c.value) << std::hex << c.peek;
    EXPECT_EQ(bits, c.bits) << std::hex << c.peek;
  }
}

// Sum of 2^-length over the codes the decoder can pick, in 1/256 units.
uint32_t codeSpace(const ShortCodeSet* set, uint32_t variant) {
  std::set<uint32_t> reachable;
  for (uint32_t byte = 0; byte < 256; byte++) reachable.insert(findShortCode(set, byte, variant));
  uint32_t space = 0;
  for (uint32_t index : reachable) space += 256 >> shortCodeLength(set, index, variant);
  return space;
}

TEST(ShortCodeSets, EachCodeReadsBackAndTheSetsAreComplete) {
  for (const ShortCodeSet* set : {&shortCodeSetA, &shortCodeSetB}) {
    for (uint32_t variant = 0; variant < 2; variant++) {
      EXPECT_EQ(codeSpace(set, variant), 256u);
      for (uint32_t index = 0; index < 15; index++) {
        if (variant == 0 && index == ShortFarCode) continue;
        uint32_t length = shortCodeLength(set, index, variant);
        uint32_t pattern = set->pattern[index];
        uint32_t tail = (1u << (8 - length)) - 1;
        EXPECT_EQ(findShortCode(set, pattern, variant), index) << "variant " << variant;
        EXPECT_EQ(findShortCode(set, pattern | tail, variant), index) << "variant " << variant;
      }
    }
  }
}

TEST(ShortCodeSets, CodesOfBothSetsAsListed) {
  // Index by index: length with the variant 0 and the 8-bit pattern.
  const uint8_t lengthsA[15] = {1, 3, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 4};
  const uint8_t patternsA[15] = {0x00, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF, 0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0};
  const uint8_t lengthsB[15] = {2, 3, 3, 3, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 4};
  const uint8_t patternsB[15] = {0x00, 0x40, 0x60, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFC, 0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0};
  for (uint32_t i = 0; i < 14; i++) {
    EXPECT_EQ(shortCodeLength(&shortCodeSetA, i, 0), lengthsA[i]) << i;
    EXPECT_EQ(findShortCode(&shortCodeSetA, patternsA[i], 0), i);
    EXPECT_EQ(shortCodeLength(&shortCodeSetB, i, 0), lengthsB[i]) << i;
    EXPECT_EQ(findShortCode(&shortCodeSetB, patternsB[i], 0), i);
  }
}

TEST(ShortCodeSets, VariantDecidesWhetherCodeFourteenIsReachable) {
  // 1011xxxx: the three-bit code 101 while the variant is 0, code 14 after it.
  EXPECT_EQ(findShortCode(&shortCodeSetA, 0xB7, 0), 1u);
  EXPECT_EQ(findShortCode(&shortCodeSetA, 0xB7, 1), 14u);
  EXPECT_EQ(findShortCode(&shortCodeSetA, 0xA7, 1), 1u);
  EXPECT_EQ(findShortCode(&shortCodeSetB, 0xB7, 0), 3u);
  EXPECT_EQ(findShortCode(&shortCodeSetB, 0xB7, 1), 14u);
  EXPECT_EQ(shortCodeLength(&shortCodeSetA, 1, 0), 3u);
  EXPECT_EQ(shortCodeLength(&shortCodeSetB, 3, 1), 4u);
}

TEST(AdaptiveLists, StartContents) {
  V15State s = {};
  initAdaptiveLists(&s);
  EXPECT_EQ(s.flagList[0] >> 8, 0u);
  EXPECT_EQ(s.flagList[1] >> 8, 255u);
  EXPECT_EQ(s.flagList[255] >> 8, 1u);
  EXPECT_EQ(s.literalList[97], 97u << 8);
  EXPECT_EQ(s.shortDistanceList[200], 200u);
  // The distance list starts rescaled: counters 7 down to 0 in groups of 32.
  EXPECT_EQ(s.distanceList[31], (31u << 8) | 7);
  EXPECT_EQ(s.distanceList[32], (32u << 8) | 6);
  EXPECT_EQ(s.distanceList[255], (255u << 8) | 0);
  EXPECT_EQ(s.distancePromotion[0], 224u);
  EXPECT_EQ(s.distancePromotion[6], 32u);
  EXPECT_EQ(s.distancePromotion[7], 0u);
}

TEST(AdaptiveLists, UsedEntriesMoveToTheFrontOfTheirCounterGroup) {
  V15State s = {};
  initAdaptiveLists(&s);
  uint32_t moved;
  EXPECT_EQ(useCountedList(s.literalList, s.literalPromotion, 200, LiteralCounterLimit, &moved), 200u);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(s.literalList[0], (200u << 8) | 1);
  EXPECT_EQ(s.literalList[200], 0u << 8) << "swapped with the old front";
  EXPECT_EQ(useCountedList(s.literalList, s.literalPromotion, 100, LiteralCounterLimit, &moved), 100u);
  EXPECT_EQ(moved, 1u) << "behind the entry with the higher counter";
  // Distance list: place 40 (counter 6) moves to the start of the counter-6 group.
  EXPECT_EQ(useCountedList(s.distanceList, s.distancePromotion, 40, WrapCounterLimit, &moved), 40u);
  EXPECT_EQ(moved, 32u);
  EXPECT_EQ(s.distanceList[32], (40u << 8) | 7);
  EXPECT_EQ(s.distanceList[40], (32u << 8) | 6);
}

TEST(AdaptiveLists, CounterOverflowRescalesBeforeTheEntryIsUsed) {
  V15State s = {};
  initAdaptiveLists(&s);
  s.literalList[10] = (10u << 8) | 161;
  s.literalList[100] = (100u << 8) | 160;
  uint32_t moved;
  EXPECT_EQ(useCountedList(s.literalList, s.literalPromotion, 10, LiteralCounterLimit, &moved), 10u);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(s.literalList[0], (10u << 8) | 8) << "counter 7 after the rescale, then used";
  EXPECT_EQ(s.literalList[100], (100u << 8) | 4);
  EXPECT_EQ(s.literalPromotion[7], 1u);

  // A counter of 160 may still grow to 161.
  s.literalList[5] = (5u << 8) | 160;
  s.literalPromotion[160] = 5;
  useCountedList(s.literalList, s.literalPromotion, 5, LiteralCounterLimit, &moved);
  EXPECT_EQ(s.literalList[5], (5u << 8) | 161);

  // Distance and flag entries wrap at 255: rescaled rather than carried into the value.
  s.flagList[3] = (77u << 8) | 255;
  EXPECT_EQ(useCountedList(s.flagList, s.flagPromotion, 3, WrapCounterLimit, &moved), 77u);
  EXPECT_EQ(s.flagList[0], (77u << 8) | 8);
}

TEST(Statistics, LiteralOnlyModeStartsAfterSixteenLiteralsWithTheFlagByteUsedUp) {
  V15State s = {};
  resetV15State(&s, false);
  s.literalRun = 16;
  s.flagBitsLeft = 1;
  countLiteralRun(&s);
  EXPECT_FALSE(s.literalOnly);
  s.flagBitsLeft = 0;
  countLiteralRun(&s);
  EXPECT_TRUE(s.literalOnly);
  EXPECT_EQ(s.literalRun, 18);
}

TEST(Statistics, ScoresHalveTheOtherSideWhenTheyOverflow) {
  V15State s = {};
  resetV15State(&s, false);
  for (int i = 0; i < 8; i++) noteLiteralPlace(&s, 0);
  EXPECT_EQ(s.literalScore, 0x90u);  // 0x80 + 8 * 16 passed 0xFF
  EXPECT_EQ(s.matchScore, 0x40u);
  EXPECT_FALSE(longMatchFavoured(&s));
  for (int i = 0; i < 5; i++) beginLongMatch(&s);
  EXPECT_FALSE(longMatchFavoured(&s)) << "0x90 against 0x90: literals win a tie";
  beginLongMatch(&s);
  EXPECT_TRUE(longMatchFavoured(&s));
}

TEST(Statistics, SolidResetKeepsTheModelButNotTheFlags) {
  V15State s = {};
  resetV15State(&s, false);
  s.literalPlaceAvg = 1234;
  s.shortCodeVariant = 1;
  s.repeatRun = 2;
  s.literalOnly = true;
  s.flagBitsLeft = 3;
  resetV15State(&s, true);
  EXPECT_EQ(s.literalPlaceAvg, 1234u);
  EXPECT_EQ(s.shortCodeVariant, 1u);
  EXPECT_EQ(s.repeatRun, 0u);
  EXPECT_FALSE(s.literalOnly);
  EXPECT_EQ(s.flagBitsLeft, 0);
  resetV15State(&s, false);
  EXPECT_EQ(s.literalPlaceAvg, 0x3500u);
  EXPECT_EQ(s.farDistanceLimit, 0x2001u);
  EXPECT_EQ(s.shortCodeVariant, 0u);
}

}  // namespace
