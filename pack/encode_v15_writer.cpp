// Step coding for the version 1.5 compressor (see encode_v15_writer.h).
//
// The decoder reads a flag byte before the steps it governs, but its bits are
// only known once those steps are chosen: the bits of the steps after a flag
// byte are held back until the byte is complete, and then written behind its
// code.
#include "pack/encode_v15_writer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "unpack/v15_model.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "1.5 step writer: %s\n", what);
  abort();
}

// For each value a code can yield, its shortest bit pattern (bits 0: none).
struct CodeInverse {
  uint16_t pattern[257];
  uint8_t bits[257];
};

CodeInverse buildInverse(const ThresholdCode* code) {
  CodeInverse inverse;
  memset(&inverse, 0, sizeof inverse);
  for (uint32_t bits = code->startBits; bits <= 12; bits++) {
    uint32_t free = 16 - bits;
    for (uint32_t pattern = 0; pattern < (1u << bits); pattern++) {
      // A pattern codes a value only when every continuation reads it the same way.
      uint32_t low = pattern << free;
      uint32_t high = low | ((1u << free) - 1);
      uint32_t lowBits, highBits;
      uint32_t lowValue = thresholdValue(code, low, &lowBits);
      uint32_t highValue = thresholdValue(code, high, &highBits);
      if (lowBits != bits || highBits != bits || lowValue != highValue || lowValue > 256) continue;
      if (inverse.bits[lowValue] == 0) {
        inverse.bits[lowValue] = uint8_t(bits);
        inverse.pattern[lowValue] = uint16_t(pattern);
      }
    }
  }
  return inverse;
}

const CodeInverse& inverseOf(const ThresholdCode* code) {
  static const ThresholdCode* const codes[7] = {&lengthCodeA, &lengthCodeB, &placeCode0, &placeCode1,
                                                &placeCode2,  &placeCode3,  &placeCode4};
  static const CodeInverse inverses[7] = {buildInverse(codes[0]), buildInverse(codes[1]), buildInverse(codes[2]),
                                          buildInverse(codes[3]), buildInverse(codes[4]), buildInverse(codes[5]),
                                          buildInverse(codes[6])};
  int i = 0;
  while (i < 6 && codes[i] != code) i++;
  require(codes[i] == code, "not one of the seven codes");
  return inverses[i];
}

uint32_t codeBits(const ThresholdCode* code, uint32_t value) { return inverseOf(code).bits[value]; }

const double FlagBitCost = 1.0;  // a flag bit (adding its share of the flag byte's code chose worse)

}  // namespace

CodePattern thresholdPattern(const ThresholdCode* code, uint32_t value) {
  if (value > 256) return {0, 0};
  const CodeInverse& inverse = inverseOf(code);
  return {inverse.pattern[value], inverse.bits[value]};
}

V15Writer::V15Writer() {
  memset(&model, 0, sizeof model);
  memset(&history, 0, sizeof history);
  startFile(false, 0);
}

void V15Writer::startFile(bool solid, size_t size) {
  resetV15State(&model, solid);
  if (!solid) {
    initAdaptiveLists(&model);
    memset(&history, 0, sizeof history);
  }
  syncPlaces();
  out.clear();
  outUsed = 8;
  pending.clear();
  flagValue = 0;
  flagAssigned = 0;
  // The decoder reads the first flag byte before the first step of a file that
  // is not empty.
  flagOpen = size > 0;
  if (flagOpen) model.flagBitsLeft = 8;
}

std::vector<uint8_t> V15Writer::finishFile() {
  if (flagOpen) finishFlagByte();
  flagOpen = false;
  std::vector<uint8_t> bytes;
  bytes.swap(out);
  outUsed = 8;
  return bytes;
}

void V15Writer::takeFinished(std::vector<uint8_t>* to) {
  size_t whole = outUsed == 8 ? out.size() : out.size() - 1;
  if (out.empty() || whole == 0) return;
  to->insert(to->end(), out.begin(), out.begin() + whole);
  out.erase(out.begin(), out.begin() + whole);
}

void V15Writer::syncPlaces() {
  for (uint32_t p = 0; p < 256; p++) {
    literalPlace[(model.literalList[p] >> 8) & 0xFF] = p;
    distancePlace[(model.distanceList[p] >> 8) & 0xFF] = p;
    flagPlace[(model.flagList[p] >> 8) & 0xFF] = p;
    shortPlace[model.shortDistanceList[p] & 0xFF] = p;
  }
}

// ---- Bits and flags ----

void V15Writer::put(uint32_t value, uint32_t count) {
  for (uint32_t i = count; i-- > 0;) {
    if (outUsed == 8) {
      out.push_back(0);
      outUsed = 0;
    }
    if ((value >> i) & 1) out.back() |= uint8_t(0x80u >> outUsed);
    outUsed++;
  }
}

void V15Writer::emitCode(const ThresholdCode* code, uint32_t value) {
  CodePattern p = thresholdPattern(code, value);
  require(p.bits != 0, "a value its code cannot express");
  emit(p.pattern, p.bits);
}

void V15Writer::takeFlag(uint32_t bit) {
  require(flagOpen, "a step in a file announced as empty");
  if (--model.flagBitsLeft < 0) {
    finishFlagByte();
    flagOpen = true;
    model.flagBitsLeft = 7;
  }
  flagValue |= bit << (7 - flagAssigned);
  flagAssigned++;
}

void V15Writer::finishFlagByte() {
  uint32_t place = flagPlace[flagValue];
  CodePattern code = thresholdPattern(&placeCode2, place);
  put(code.pattern, code.bits);
  uint32_t moved;
  useCountedList(model.flagList, model.flagPromotion, place, WrapCounterLimit, &moved);
  flagPlace[(model.flagList[place] >> 8) & 0xFF] = place;
  flagPlace[(model.flagList[moved] >> 8) & 0xFF] = moved;
  for (const auto& bits : pending) put(bits.first, bits.second);
  pending.clear();
  flagValue = 0;
  flagAssigned = 0;
  stats.flagBytes++;
}

// A single 1 bit selects the favoured one of literal and long match, 01 the
// other, 00 a short step.
void V15Writer::flagsFor(FlagKind kind) {
  require(!model.literalOnly, "a flagged step in literal-only mode");
  bool longFirst = longMatchFavoured(&model);
  if (kind == FlagShort) {
    takeFlag(0);
    takeFlag(0);
  } else if ((kind == FlagLong) == longFirst) {
    takeFlag(1);
  } else {
    takeFlag(0);
    takeFlag(1);
  }
}

double V15Writer::flagCost(FlagKind kind) const {
  if (kind == FlagShort) return 2 * FlagBitCost;
  return ((kind == FlagLong) == longMatchFavoured(&model) ? 1 : 2) * FlagBitCost;
}

uint32_t V15Writer::shortCodeBits(uint32_t index) const {
  return shortCodeLength(currentShortCodeSet(&model), index, model.shortCodeVariant);
}

void V15Writer::emitShortCode(uint32_t index) {
  uint32_t length = shortCodeBits(index);
  emit(uint32_t(currentShortCodeSet(&model)->pattern[index]) >> (8 - length), length);
}

// The common start of every short step; true when a one-bit repeat finished it.
bool V15Writer::shortPrelude(bool repeatAgain) {
  flagsFor(FlagShort);
  model.literalRun = 0;
  if (model.repeatRun == 2) {
    emit(repeatAgain ? 1 : 0, 1);
    if (repeatAgain) return true;
    model.repeatRun = 0;
  }
  return false;
}

double V15Writer::shortPrefixCost() const { return flagCost(FlagShort) + (model.repeatRun == 2 ? 1 : 0); }

// ---- Steps ----

void V15Writer::useLiteral(uint32_t place) {
  uint32_t moved;
  useCountedList(model.literalList, model.literalPromotion, place, LiteralCounterLimit, &moved);
  literalPlace[(model.literalList[place] >> 8) & 0xFF] = place;
  literalPlace[(model.literalList[moved] >> 8) & 0xFF] = moved;
}

void V15Writer::literalAt(uint32_t codeValue) {
  if (!model.literalOnly) flagsFor(FlagLiteral);
  emitCode(literalPlaceCodeFor(&model), codeValue);
  uint32_t place;
  if (model.literalOnly) {
    require(codeValue > 0, "place code 0 is the escape in literal-only mode");
    place = codeValue - 1;
    stats.literalOnlyLiterals++;
  } else {
    place = codeValue > 255 ? 255 : codeValue;  // as the decoder reads it
    countLiteralRun(&model);
    stats.literals++;
  }
  noteLiteralPlace(&model, place);
  useLiteral(place);
}

void V15Writer::literal(uint8_t byte) {
  literalAt(model.literalOnly ? literalPlace[byte] + 1 : literalPlace[byte]);
}

void V15Writer::leaveLiteralOnly() {
  require(model.literalOnly, "leaving literal-only mode outside it");
  emitCode(literalPlaceCodeFor(&model), 0);
  emit(1, 1);
  model.literalOnly = false;
  model.literalRun = 0;
  stats.escapes++;
}

void V15Writer::escapeMatch(uint32_t distance, uint32_t length) {
  require(model.literalOnly && (length == 3 || length == 4) && distance <= EscapeReach,
          "an escape match takes 3 or 4 bytes up to 8223 back, in literal-only mode");
  emitCode(literalPlaceCodeFor(&model), 0);
  emit(0, 1);
  emit(length == 4 ? 1 : 0, 1);
  emitCode(&placeCode2, distance >> 5);
  emit(distance & 31, 5);
  stats.escapeMatches++;
}

int V15Writer::longLengthCode(uint32_t distance, uint32_t length) const {
  int c = int(length) - 3;
  if (distance >= model.farDistanceLimit) c -= 1;
  if (distance <= 256) c -= 8;
  return c >= 0 && c <= 255 ? c : -1;
}

void V15Writer::longMatch(uint32_t distance, uint32_t length) {
  int code = longLengthCode(distance, length);
  require(code >= 0 && distance <= LongReach, "a long match out of its length or distance range");
  longMatchAt(uint32_t(code), distancePlace[distance >> 7], distance & 127);
  require(history.lastLength == length && history.lastDistance == distance, "a long match read back otherwise");
}

void V15Writer::longMatchAt(uint32_t c, uint32_t place, uint32_t low7) {
  flagsFor(FlagLong);
  beginLongMatch(&model);
  uint32_t a2 = model.longLengthAvg;
  const ThresholdCode* lengthCode = longLengthCodeFor(&model);
  if (lengthCode != nullptr)
    emitCode(lengthCode, c);
  else if (c < 8)
    emit(1, c + 1);  // c zeros and a one
  else
    emit(c, 16);     // eight zeros and the length
  noteLongLength(&model, c);
  emitCode(distancePlaceCodeFor(&model), place);
  if (place > 255) place = 255;  // as the decoder reads it
  noteDistancePlace(&model, place);
  uint32_t moved;
  uint32_t high = useCountedList(model.distanceList, model.distancePromotion, place, WrapCounterLimit, &moved);
  distancePlace[(model.distanceList[place] >> 8) & 0xFF] = place;
  distancePlace[(model.distanceList[moved] >> 8) & 0xFF] = moved;
  emit(low7, 7);
  finishLongMatch(&model, &history, c, high * 128 + low7, a2);
  stats.longMatches++;
}

void V15Writer::repeat() {
  stats.repeats++;
  if (shortPrelude(true)) return;
  emitShortCode(ShortRepeatCode);
  model.repeatRun += 1;
}

void V15Writer::toggleVariant() {
  shortPrelude(false);
  emitShortCode(ShortRecentFirst);
  model.repeatRun = 0;
  emitCode(&lengthCodeA, ToggleLength - 2);
  model.shortCodeVariant ^= 1;
  stats.toggles++;
}

void V15Writer::farMatch(uint32_t distance, uint32_t length) {
  require(model.shortCodeVariant == 1 && distance >= FarFirst && distance <= FarReach,
          "code 14 needs variant 1 and a distance from 0x8000 to 0xFFFF");
  require(length >= 5 && length <= 260, "code 14 takes 5 to 260 bytes");
  shortPrelude(false);
  emitShortCode(ShortFarCode);
  model.repeatRun = 0;
  emitCode(&lengthCodeB, length - 5);
  emit(distance - FarFirst, 15);
  history.lastLength = length;
  history.lastDistance = distance;
  stats.farMatches++;
}

uint32_t V15Writer::recentBonus(uint32_t distance) const { return recentMatchLength(&model, 0, distance); }

void V15Writer::recent(uint32_t index, uint32_t length) {
  require(index >= ShortRecentFirst && index <= ShortRecentLast, "recent distances are codes 10 to 13");
  uint32_t distance = recentDistance(&history, index);
  uint32_t base = length - recentBonus(distance);
  require(base >= 2 && base <= (index == ShortRecentFirst ? 256u : 257u), "a recent-distance length out of range");
  shortPrelude(false);
  emitShortCode(index);
  model.repeatRun = 0;
  emitCode(&lengthCodeA, base - 2);
  recordMatch(&history, distance, length);
  stats.recentMatches++;
}

void V15Writer::shortMatch(uint32_t distance, uint32_t length) {
  require(distance >= 1 && distance <= 256 && length >= 2 && length <= 10,
          "a short match takes 2 to 10 bytes up to 256 back");
  shortPrelude(false);
  uint32_t index = length - 2;
  emitShortCode(index);
  model.repeatRun = 0;
  noteShortLength(&model, index);
  uint32_t place = shortPlace[distance - 1];
  emitCode(&placeCode2, place);
  useShortDistance(&model, place);
  shortPlace[model.shortDistanceList[place] & 0xFF] = place;
  if (place > 0) shortPlace[model.shortDistanceList[place - 1] & 0xFF] = place - 1;
  recordMatch(&history, distance, length);
  stats.shortMatches++;
}

// ---- Prices ----

double V15Writer::literalCost(uint8_t byte) const {
  const ThresholdCode* code = literalPlaceCodeFor(&model);
  uint32_t place = literalPlace[byte];
  if (model.literalOnly) return codeBits(code, place + 1);
  return flagCost(FlagLiteral) + codeBits(code, place);
}

double V15Writer::longCost(uint32_t distance, uint32_t length) const {
  uint32_t c = uint32_t(longLengthCode(distance, length));
  const ThresholdCode* lengthCode = longLengthCodeFor(&model);
  double cost = flagCost(FlagLong) + 7;
  if (lengthCode != nullptr)
    cost += codeBits(lengthCode, c);
  else
    cost += c < 8 ? c + 1 : 16;
  return cost + codeBits(distancePlaceCodeFor(&model), distancePlace[distance >> 7]);
}

double V15Writer::shortCost(uint32_t distance, uint32_t length) const {
  return shortPrefixCost() + shortCodeBits(length - 2) + codeBits(&placeCode2, shortPlace[distance - 1]);
}

double V15Writer::repeatCost() const {
  return model.repeatRun == 2 ? flagCost(FlagShort) + 1 : flagCost(FlagShort) + shortCodeBits(ShortRepeatCode);
}

double V15Writer::recentCost(uint32_t index, uint32_t length) const {
  uint32_t base = length - recentBonus(recentDistance(&history, index));
  return shortPrefixCost() + shortCodeBits(index) + codeBits(&lengthCodeA, base - 2);
}

double V15Writer::toggleCost() const {
  return shortPrefixCost() + shortCodeBits(ShortRecentFirst) + codeBits(&lengthCodeA, ToggleLength - 2);
}

double V15Writer::farCost(uint32_t length) const {
  double cost = codeBits(&lengthCodeB, length - 5) + 15;
  // After a toggle the repeat bit is gone and code 14 takes four bits.
  if (model.shortCodeVariant == 0) return cost + toggleCost() + flagCost(FlagShort) + 4;
  return cost + shortPrefixCost() + shortCodeBits(ShortFarCode);
}

double V15Writer::leaveCost() const { return codeBits(literalPlaceCodeFor(&model), 0) + 1; }

double V15Writer::escapeMatchCost(uint32_t distance) const {
  return codeBits(literalPlaceCodeFor(&model), 0) + 2 + codeBits(&placeCode2, distance >> 5) + 5;
}
