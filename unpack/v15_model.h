// The adaptive model of the version 1.5 method: its fixed prefix codes, the
// self-organising lists and the running statistics that choose among the codes.
// The decoder and the compressor both drive this one model, each on its own
// V15State and MatchHistory, so that they cannot drift apart.
#pragma once

#include <stdint.h>

#include "unpack/unpack_state.h"

// A fixed prefix code: the value at the front of a 16-bit peek is found by
// walking the thresholds; each step past one costs one more bit.
struct ThresholdCode {
  uint32_t startBits;
  uint16_t thresholds[11];  // non-decreasing; unused tail entries are 0xFFFF
  uint16_t offsets[13];     // indexed by the final bit count
};

extern const ThresholdCode lengthCodeA;
extern const ThresholdCode lengthCodeB;
extern const ThresholdCode placeCode0;
extern const ThresholdCode placeCode1;
extern const ThresholdCode placeCode2;
extern const ThresholdCode placeCode3;
extern const ThresholdCode placeCode4;

// The value coded at the front of `peek` (16 bits, first bit highest) and, in
// *bits, how many bits it takes.
uint32_t thresholdValue(const ThresholdCode* code, uint32_t peek, uint32_t* bits);

// The short-match code sets: 15 codes, each the top bits of an 8-bit pattern.
// One length is 3 + shortCodeVariant; it is stored as 0.
struct ShortCodeSet {
  uint8_t length[15];
  uint8_t pattern[15];
};

extern const ShortCodeSet shortCodeSetA;
extern const ShortCodeSet shortCodeSetB;

enum : uint32_t {
  ShortRepeatCode = 9,     // repeat the last match
  ShortRecentFirst = 10,   // 10..13: one of the four recent distances
  ShortRecentLast = 13,
  ShortFarCode = 14,       // distance 0x8000 and above
  ToggleLength = 257,      // code 10 with this length toggles shortCodeVariant
  ShortSetBThreshold = 37  // shortLengthAvg from which set B is used
};

uint32_t shortCodeLength(const ShortCodeSet* set, uint32_t index, uint32_t variant);
// The first index whose code matches the top bits of `byte8`.
uint32_t findShortCode(const ShortCodeSet* set, uint32_t byte8, uint32_t variant);
const ShortCodeSet* currentShortCodeSet(const V15State* s);

// Counted lists: list entries are value * 256 + use counter.
void rescaleList(uint32_t* list, uint32_t* promotion);
// Uses the entry at `place` and moves it towards the front; returns its value
// and, when newPlace is given, where the entry went. The list is rescaled first
// whenever the counter would wrap, or pass `counterLimit`.
uint32_t useCountedList(uint32_t* list, uint32_t* promotion, uint32_t place, uint32_t counterLimit,
                        uint32_t* newPlace);
enum : uint32_t { LiteralCounterLimit = 161, WrapCounterLimit = 255 };

void initAdaptiveLists(V15State* s);
// Per-file reset; a non-solid file also starts every statistic afresh.
void resetV15State(V15State* s, bool solid);

// Code choices driven by the statistics.
const ThresholdCode* literalPlaceCodeFor(const V15State* s);
const ThresholdCode* distancePlaceCodeFor(const V15State* s);
// The long-match length code; null for the unary / 16-bit form.
const ThresholdCode* longLengthCodeFor(const V15State* s);
// A single 1 flag bit selects a long match when this holds, else a literal.
inline bool longMatchFavoured(const V15State* s) { return s->matchScore > s->literalScore; }

// Statistic updates, in the order the steps make them.
// Counts a literal outside literal-only mode; may switch that mode on.
void countLiteralRun(V15State* s);
void noteLiteralPlace(V15State* s, uint32_t place);
void beginLongMatch(V15State* s);
void noteLongLength(V15State* s, uint32_t c);
void noteDistancePlace(V15State* s, uint32_t place);
// Finishes a long match of length code c at `distance`; `a2` is longLengthAvg
// as it was before the match. Records the match and returns its length.
uint32_t finishLongMatch(V15State* s, MatchHistory* h, uint32_t c, uint32_t distance, uint32_t a2);
void noteShortLength(V15State* s, uint32_t index);
// Short distance at `place` (0..255), moving it one place towards the front.
uint32_t useShortDistance(V15State* s, uint32_t place);
// Length of a match at a recent distance whose coded length is `base`.
uint32_t recentMatchLength(const V15State* s, uint32_t base, uint32_t distance);
uint32_t recentDistance(const MatchHistory* h, uint32_t index);
void recordMatch(MatchHistory* h, uint32_t distance, uint32_t length);
