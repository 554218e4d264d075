// The version 1.5 method: an adaptive LZ77 decoder without transmitted tables.
// Flag bytes choose between literals, long matches and short matches; every
// choice is coded by the model in v15_model.cpp, which the compressor shares.
// All state lives in unpackState, so nothing is allocated while decoding and a
// solid archive simply carries the model over to its next file.
#include "archive/data_stream.h"
#include "unpack/unpack.h"
#include "unpack/v15_model.h"

namespace {

uint32_t decodeByThresholds(const ThresholdCode* code) {
  uint32_t bits;
  uint32_t value = thresholdLookup(code, peekBits(), &bits);
  skipBits(bits);
  return value;
}

// The place codes can yield 256, one past the lists; damaged data must not index
// past them, so such a place reads as the last one before it reaches any average
// or list.
uint32_t decodePlace(const ThresholdCode* code) {
  uint32_t place = decodeByThresholds(code);
  return place > 255 ? 255 : place;
}

uint32_t readBit() {
  uint32_t bit = peekBits() >> 15;
  skipBits(1);
  return bit;
}

void readFlags() {
  V15State* s = &unpackState.v15;
  uint32_t place = decodePlace(&placeCode2);
  s->flagByte = int32_t(useCountedList(s->flagList, s->flagPromotion, place, WrapCounterLimit, nullptr));
}

uint32_t takeFlagBit() {
  V15State* s = &unpackState.v15;
  if (--s->flagBitsLeft < 0) {
    readFlags();
    s->flagBitsLeft = 7;
  }
  uint32_t bit = (uint32_t(s->flagByte) >> 7) & 1;
  s->flagByte <<= 1;
  return bit;
}

void putByte(uint8_t byte) {
  unpackState.window[unpackState.writePos] = byte;
  unpackState.writePos = (unpackState.writePos + 1) & WindowMask;
  dataStream.remaining -= 1;
}

void adaptiveLiteral() {
  V15State* s = &unpackState.v15;
  uint32_t place = decodeByThresholds(literalPlaceCodeFor(s));
  if (s->literalOnly) {
    // Place 0 escapes from the mode; every literal place is coded one higher.
    if (place == 0) {
      if (readBit()) {
        s->literalOnly = false;
        s->literalRun = 0;
        return;
      }
      uint32_t length = readBit() ? 4 : 3;
      uint32_t distance = decodeByThresholds(&placeCode2) * 32 + (peekBits() >> 11);
      skipBits(5);
      copyMatch(distance, length);  // such a match stays out of the history
      return;
    }
    place -= 1;
  } else {
    if (place > 255) place = 255;
    countLiteralRun(s);
  }
  noteLiteralPlace(s, place);
  putByte(uint8_t(s->literalList[place] >> 8));
  useCountedList(s->literalList, s->literalPromotion, place, LiteralCounterLimit, nullptr);
}

void longMatch() {
  V15State* s = &unpackState.v15;
  beginLongMatch(s);
  uint32_t a2 = s->longLengthAvg;
  uint32_t c;
  const ThresholdCode* lengthCode = longLengthCodeFor(s);
  if (lengthCode != nullptr) {
    c = decodeByThresholds(lengthCode);
  } else {
    // Short lengths as a run of zeros ended by a one; eight zeros introduce a
    // plain 8-bit length.
    uint32_t v = peekBits();
    if (v < 0x100) {
      c = v;
      skipBits(16);
    } else {
      c = 0;
      while ((v & (0x8000u >> c)) == 0) c++;
      skipBits(c + 1);
    }
  }
  noteLongLength(s, c);
  uint32_t place = decodePlace(distancePlaceCodeFor(s));
  noteDistancePlace(s, place);
  uint32_t high = useCountedList(s->distanceList, s->distancePromotion, place, WrapCounterLimit, nullptr);
  uint32_t distance = high * 128 + (peekBits() >> 9);
  skipBits(7);
  uint32_t length = finishLongMatch(s, &unpackState.history, c, distance, a2);
  copyMatch(distance, length);
}

void shortMatch() {
  V15State* s = &unpackState.v15;
  MatchHistory* h = &unpackState.history;
  s->literalRun = 0;
  if (s->repeatRun == 2) {
    // After two repeats in a row a single bit says whether to repeat again.
    if (readBit()) {
      copyMatch(h->lastDistance, h->lastLength);
      return;
    }
    s->repeatRun = 0;
  }
  const ShortCodeSet* set = currentShortCodeSet(s);
  uint32_t index = set->lookup[(s->shortCodeVariant & 1) * 256 + (peekBits() >> 8)];
  skipBits(shortCodeLength(set, index, s->shortCodeVariant));
  if (index == ShortRepeatCode) {
    s->repeatRun += 1;
    copyMatch(h->lastDistance, h->lastLength);
    return;
  }
  s->repeatRun = 0;
  if (index == ShortFarCode) {
    uint32_t length = decodeByThresholds(&lengthCodeB) + 5;
    uint32_t distance = 0x8000 + (peekBits() >> 1);
    skipBits(15);
    h->lastLength = length;
    h->lastDistance = distance;
    copyMatch(distance, length);
    return;
  }
  if (index >= ShortRecentFirst) {
    uint32_t distance = recentDistance(h, index);
    uint32_t length = decodeByThresholds(&lengthCodeA) + 2;
    if (index == ShortRecentFirst && length == ToggleLength) {
      s->shortCodeVariant ^= 1;
      return;
    }
    length = recentMatchLength(s, length, distance);
    recordMatch(h, distance, length);
    copyMatch(distance, length);
    return;
  }
  noteShortLength(s, index);
  uint32_t distance = useShortDistance(s, decodePlace(&placeCode2));
  uint32_t length = index + 2;
  recordMatch(h, distance, length);
  copyMatch(distance, length);
}

}  // namespace

// Steps that produce nothing (a variant toggle, leaving literal-only mode) never
// come more than a few in a row from a compressor; this many means damaged data
// that could otherwise cycle through the stale input buffer for ever.
enum : uint32_t { MaxIdleSteps = 1u << 16 };

void unpackV15File(uint8_t* window, bool solid) {
  V15State* s = &unpackState.v15;
  unpackState.window = window;
  buildV15Lookups();
  // A solid file whose archive began with an entry of another kind (a stored
  // one) finds no model yet: it starts one rather than decode with empty lists.
  bool freshModel = !solid || !s->modelReady;
  resetUnpackState(solid);
  resetV15State(s, !freshModel);
  refillInput(true);
  if (freshModel) {
    initAdaptiveLists(s);
    s->modelReady = true;
  }
  if (!solid)
    unpackState.writePos = 0;
  else
    unpackState.writePos = unpackState.flushedPos;
  dataStream.remaining -= 1;
  if (dataStream.remaining >= 0) {
    readFlags();
    s->flagBitsLeft = 8;
  }
  uint32_t idleSteps = 0;
  uint32_t emptyRefills = 0;
  while (dataStream.remaining >= 0) {
    unpackState.writePos &= WindowMask;
    if (unpackState.bits.bytePos > 8162) {
      refillInput(false);
      // A refill that brought nothing leaves only the 32 carried-over bytes. A second
      // one in a row means a whole buffer of stale bytes was decoded: no real stream
      // gets there, and an unpacked size far beyond the packed data would otherwise
      // turn a few damaged bytes into up to 2 GiB of output.
      emptyRefills = unpackState.bits.validBytes > 32 ? 0 : emptyRefills + 1;
      if (emptyRefills >= 2) break;  // the file then fails its checksum
    }
    // A step produces at most 267 bytes, so this keeps unflushed bytes intact.
    if (((unpackState.flushedPos - unpackState.writePos) & WindowMask) < 270 &&
        unpackState.flushedPos != unpackState.writePos)
      flushWindow();
    int64_t before = dataStream.remaining;
    if (s->literalOnly) {
      adaptiveLiteral();
    } else if (takeFlagBit()) {
      if (longMatchFavoured(s))
        longMatch();
      else
        adaptiveLiteral();
    } else if (takeFlagBit()) {
      if (longMatchFavoured(s))
        adaptiveLiteral();
      else
        longMatch();
    } else {
      shortMatch();
    }
    idleSteps = dataStream.remaining == before ? idleSteps + 1 : 0;
    if (idleSteps > MaxIdleSteps) break;  // the file then fails its checksum
  }
  flushWindow();
}
