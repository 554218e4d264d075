// The adaptive model of the version 1.5 method (see v15_model.h).
#include "unpack/v15_model.h"

#include <string.h>

static uint16_t thresholdLookups[7][4096];
static uint8_t shortCodeLookups[2][2 * 256];
static bool lookupsBuilt;

// Unused threshold slots hold 0xFFFF: a peek is masked to 0xFFF0, so the walk
// always stops at the first of them.
const ThresholdCode lengthCodeA = {
    2,
    {0x8000, 0xA000, 0xC000, 0xD000, 0xE000, 0xEA00, 0xEE00, 0xF000, 0xF200, 0xF200, 0xFFFF},
    {0, 0, 0, 2, 3, 5, 7, 11, 16, 20, 24, 32, 32},
    thresholdLookups[0]};
const ThresholdCode lengthCodeB = {
    3,
    {0xA000, 0xC000, 0xD000, 0xE000, 0xEA00, 0xEE00, 0xF000, 0xF200, 0xF240, 0xFFFF, 0xFFFF},
    {0, 0, 0, 0, 5, 7, 9, 13, 18, 22, 26, 34, 36},
    thresholdLookups[1]};
const ThresholdCode placeCode0 = {
    4,
    {0x8000, 0xC000, 0xE000, 0xF200, 0xF200, 0xF200, 0xF200, 0xF200, 0xFFFF, 0xFFFF, 0xFFFF},
    {0, 0, 0, 0, 0, 8, 16, 24, 33, 33, 33, 33, 33},
    thresholdLookups[2]};
const ThresholdCode placeCode1 = {
    5,
    {0x2000, 0xC000, 0xE000, 0xF000, 0xF200, 0xF200, 0xF7E0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    {0, 0, 0, 0, 0, 0, 4, 44, 60, 76, 80, 80, 127},
    thresholdLookups[3]};
const ThresholdCode placeCode2 = {
    5,
    {0x1000, 0x2400, 0x8000, 0xC000, 0xFA00, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    {0, 0, 0, 0, 0, 0, 2, 7, 53, 117, 233, 0, 0},
    thresholdLookups[4]};
const ThresholdCode placeCode3 = {
    6,
    {0x0800, 0x2400, 0xEE00, 0xFE80, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    {0, 0, 0, 0, 0, 0, 0, 2, 16, 218, 251, 0, 0},
    thresholdLookups[5]};
const ThresholdCode placeCode4 = {
    8,
    {0xFF00, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0},
    thresholdLookups[6]};

uint32_t thresholdValue(const ThresholdCode* code, uint32_t peek, uint32_t* bits) {
  uint32_t n = peek & 0xFFF0;
  uint32_t i = 0;
  uint32_t count = code->startBits;
  while (code->thresholds[i] <= n) {
    i++;
    count++;
  }
  uint32_t base = i > 0 ? code->thresholds[i - 1] : 0;
  *bits = count;
  return ((n - base) >> (16 - count)) + code->offsets[count];
}

const ShortCodeSet shortCodeSetA = {
    {1, 0, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 4},
    {0x00, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF, 0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0},
    shortCodeLookups[0]};
const ShortCodeSet shortCodeSetB = {
    {2, 3, 3, 0, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 4},
    {0x00, 0x40, 0x60, 0xA0, 0xD0, 0xE0, 0xF0, 0xF8, 0xFC, 0xC0, 0x80, 0x90, 0x98, 0x9C, 0xB0},
    shortCodeLookups[1]};

uint32_t findShortCode(const ShortCodeSet* set, uint32_t byte8, uint32_t variant) {
  for (uint32_t i = 0; i < 15; i++) {
    uint32_t mask = (0xFF00u >> shortCodeLength(set, i, variant)) & 0xFF;
    if ((byte8 & mask) == set->pattern[i]) return i;
  }
  return 0;  // not reached: both sets cover every byte
}

void buildV15Lookups() {
  if (lookupsBuilt) return;
  const ThresholdCode* codes[] = {&lengthCodeA, &lengthCodeB, &placeCode0, &placeCode1,
                                  &placeCode2,  &placeCode3,  &placeCode4};
  for (const ThresholdCode* code : codes) {
    for (uint32_t top = 0; top < 4096; top++) {
      uint32_t bits;
      uint32_t value = thresholdValue(code, top << 4, &bits);
      code->lookup[top] = (uint16_t)(value << 4 | bits);
    }
  }
  const ShortCodeSet* sets[] = {&shortCodeSetA, &shortCodeSetB};
  for (const ShortCodeSet* set : sets)
    for (uint32_t variant = 0; variant < 2; variant++)
      for (uint32_t byte8 = 0; byte8 < 256; byte8++)
        set->lookup[variant * 256 + byte8] = (uint8_t)findShortCode(set, byte8, variant);
  lookupsBuilt = true;
}

void rescaleList(uint32_t* list, uint32_t* promotion) {
  for (uint32_t p = 0; p < 256; p++) list[p] = (list[p] & ~0xFFu) | (7 - p / 32);
  memset(promotion, 0, 256 * sizeof promotion[0]);
  for (uint32_t c = 0; c < 7; c++) promotion[c] = (7 - c) * 32;
}

void initAdaptiveLists(V15State* s) {
  for (uint32_t i = 0; i < 256; i++) {
    s->literalList[i] = i << 8;
    s->distanceList[i] = i << 8;
    s->shortDistanceList[i] = i;
    s->flagList[i] = ((256 - i) & 0xFF) << 8;
  }
  memset(s->literalPromotion, 0, sizeof s->literalPromotion);
  memset(s->distancePromotion, 0, sizeof s->distancePromotion);
  memset(s->flagPromotion, 0, sizeof s->flagPromotion);
  rescaleList(s->distanceList, s->distancePromotion);
}

void resetV15State(V15State* s, bool solid) {
  s->flagBitsLeft = 0;
  s->flagByte = 0;
  s->literalOnly = false;
  s->repeatRun = 0;
  if (solid) return;
  s->literalPlaceAvg = 0x3500;
  s->distancePlaceAvg = 0;
  s->shortLengthAvg = 0;
  s->longLengthAvg = 0;
  s->nearMatchAvg = 0;
  s->farDistanceLimit = 0x2001;
  s->literalScore = 0x80;
  s->matchScore = 0x80;
  s->literalRun = 0;
  s->shortCodeVariant = 0;
}

const ThresholdCode* longLengthCodeFor(const V15State* s) {
  if (s->longLengthAvg >= 122) return &lengthCodeB;
  if (s->longLengthAvg >= 64) return &lengthCodeA;
  return nullptr;
}

uint32_t finishLongMatch(V15State* s, MatchHistory* h, uint32_t c, uint32_t distance, uint32_t a2) {
  uint32_t a3 = s->nearMatchAvg;
  if (c != 1 && c != 4) {
    if (c == 0 && distance <= s->farDistanceLimit) {
      s->nearMatchAvg += 1;
      s->nearMatchAvg -= s->nearMatchAvg >> 8;
    } else if (s->nearMatchAvg > 0) {
      s->nearMatchAvg -= 1;
    }
  }
  uint32_t length = c + 3;
  if (distance >= s->farDistanceLimit) length += 1;
  if (distance <= 256) length += 8;
  if (a3 > 0xB0 || (s->literalPlaceAvg >= 0x2A00 && a2 < 0x40))
    s->farDistanceLimit = 0x7F00;
  else
    s->farDistanceLimit = 0x2001;
  recordMatch(h, distance, length);
  return length;
}

void noteShortLength(V15State* s, uint32_t index) {
  s->shortLengthAvg += index;
  s->shortLengthAvg -= s->shortLengthAvg >> 4;
}

uint32_t useShortDistance(V15State* s, uint32_t place) {
  uint32_t d = s->shortDistanceList[place];
  if (place > 0) {
    s->shortDistanceList[place] = s->shortDistanceList[place - 1];
    s->shortDistanceList[place - 1] = d;
  }
  return d + 1;
}

uint32_t recentMatchLength(const V15State* s, uint32_t base, uint32_t distance) {
  uint32_t length = base;
  if (distance > 256) length += 1;
  if (distance >= s->farDistanceLimit) length += 1;
  return length;
}

uint32_t recentDistance(const MatchHistory* h, uint32_t index) {
  return h->recentDistances[(h->recentIndex - (index - 9)) & 3];
}

void recordMatch(MatchHistory* h, uint32_t distance, uint32_t length) {
  h->recentDistances[h->recentIndex & 3] = distance;
  h->recentIndex = (h->recentIndex + 1) & 3;
  h->lastLength = length;
  h->lastDistance = distance;
}
