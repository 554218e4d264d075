// The adaptive model of the version 1.5 method: its fixed prefix codes, the
// self-organising lists and the running statistics that choose among the codes.
// The decoder and the compressor both drive this one model, each on its own
// V15State and MatchHistory, so that they cannot drift apart.
#pragma once

#include <stdint.h>

#include "unpack/always_inline.h"
#include "unpack/unpack_state.h"

// A fixed prefix code: the value at the front of a 16-bit peek is found by
// walking the thresholds; each step past one costs one more bit.
struct ThresholdCode {
  uint32_t startBits;
  uint16_t thresholds[11];  // non-decreasing; unused tail entries are 0xFFFF
  uint16_t offsets[13];     // indexed by the final bit count
  uint16_t* lookup;         // by the peek's top 12 bits: value << 4 | bits (buildV15Lookups)
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

// The same in one load, once buildV15Lookups has run: only the top 12 bits of a peek
// decide a value, so every answer is computed beforehand.
ALWAYS_INLINE uint32_t thresholdLookup(const ThresholdCode* code, uint32_t peek, uint32_t* bits) {
  uint32_t entry = code->lookup[peek >> 4];
  *bits = entry & 15;
  return entry >> 4;
}

// The short-match code sets: 15 codes, each the top bits of an 8-bit pattern.
// One length is 3 + shortCodeVariant; it is stored as 0.
struct ShortCodeSet {
  uint8_t length[15];
  uint8_t pattern[15];
  uint8_t* lookup;  // findShortCode by variant * 256 + byte8 (buildV15Lookups)
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

inline uint32_t shortCodeLength(const ShortCodeSet* set, uint32_t index, uint32_t variant) {
  uint32_t length = set->length[index];
  return length != 0 ? length : 3 + variant;
}
// The first index whose code matches the top bits of `byte8`.
uint32_t findShortCode(const ShortCodeSet* set, uint32_t byte8, uint32_t variant);
inline const ShortCodeSet* currentShortCodeSet(const V15State* s) {
  return s->shortLengthAvg < ShortSetBThreshold ? &shortCodeSetA : &shortCodeSetB;
}

// Fills the lookup tables of the threshold codes and short-code sets (once; later
// calls return at once).
void buildV15Lookups();

// Counted lists: list entries are value * 256 + use counter.
void rescaleList(uint32_t* list, uint32_t* promotion);
// Uses the entry at `place` and moves it towards the front; returns its value
// and, when newPlace is given, where the entry went. The list is rescaled first
// whenever the counter would wrap, or pass `counterLimit`.
inline uint32_t useCountedList(uint32_t* list, uint32_t* promotion, uint32_t place,
                               uint32_t counterLimit, uint32_t* newPlace) {
  for (;;) {
    uint32_t v = list[place];
    uint32_t counter = v & 0xFF;
    uint32_t next = (counter + 1) & 0xFF;
    if (next == 0 || next > counterLimit) {
      // Rescaling keeps every entry in place, so the same place is used again.
      rescaleList(list, promotion);
      continue;
    }
    // The promotion places stay below 256 while the list is ordered by counter;
    // the mask keeps a write inside the list even if that ever failed.
    uint32_t q = promotion[counter] & 0xFF;
    promotion[counter] += 1;
    v += 1;
    list[place] = list[q];
    list[q] = v;
    if (newPlace != nullptr) *newPlace = q;
    return v >> 8;
  }
}
enum : uint32_t { LiteralCounterLimit = 161, WrapCounterLimit = 255 };

void initAdaptiveLists(V15State* s);
// Per-file reset; a non-solid file also starts every statistic afresh.
void resetV15State(V15State* s, bool solid);

// Code choices driven by the statistics.
inline const ThresholdCode* literalPlaceCodeFor(const V15State* s) {
  uint32_t avg = s->literalPlaceAvg;
  if (avg > 0x75FF) return &placeCode4;
  if (avg > 0x5DFF) return &placeCode3;
  if (avg > 0x35FF) return &placeCode2;
  if (avg > 0x0DFF) return &placeCode1;
  return &placeCode0;
}
inline const ThresholdCode* distancePlaceCodeFor(const V15State* s) {
  if (s->distancePlaceAvg > 0x28FF) return &placeCode2;
  if (s->distancePlaceAvg > 0x06FF) return &placeCode1;
  return &placeCode0;
}
// The long-match length code; null for the unary / 16-bit form.
const ThresholdCode* longLengthCodeFor(const V15State* s);
// A single 1 flag bit selects a long match when this holds, else a literal.
inline bool longMatchFavoured(const V15State* s) { return s->matchScore > s->literalScore; }

// Statistic updates, in the order the steps make them.
// Counts a literal outside literal-only mode; may switch that mode on.
inline void countLiteralRun(V15State* s) {
  // Only when the current flag byte is used up, so that no flag bits are lost.
  if (s->literalRun >= 16 && s->flagBitsLeft == 0) s->literalOnly = true;
  s->literalRun++;
}
inline void noteLiteralPlace(V15State* s, uint32_t place) {
  s->literalPlaceAvg += place;
  s->literalPlaceAvg -= s->literalPlaceAvg >> 8;
  s->literalScore += 16;
  if (s->literalScore > 0xFF) {
    s->literalScore = 0x90;
    s->matchScore >>= 1;
  }
}
inline void beginLongMatch(V15State* s) {
  s->literalRun = 0;
  s->matchScore += 16;
  if (s->matchScore > 0xFF) {
    s->matchScore = 0x90;
    s->literalScore >>= 1;
  }
}
inline void noteLongLength(V15State* s, uint32_t c) {
  s->longLengthAvg += c;
  s->longLengthAvg -= s->longLengthAvg >> 5;
}
inline void noteDistancePlace(V15State* s, uint32_t place) {
  s->distancePlaceAvg += place;
  s->distancePlaceAvg -= s->distancePlaceAvg >> 8;
}
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
