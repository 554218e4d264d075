// Codes single steps of the version 1.5 method: it runs the decoder's adaptive
// model (unpack/v15_model.h) on its own state, so each step is written the way
// the decoder will read it back, and prices steps with the same model. The
// compressor's parser drives it; tests use it to assemble streams step by step.
// A step that the model cannot code at that point (a flagged step in literal-only
// mode, a length or distance out of its form's range) ends the program: it would
// otherwise write a stream that decodes to something else.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <utility>
#include <vector>

#include "unpack/unpack_state.h"

struct ThresholdCode;

struct V15Stats {
  uint64_t literals = 0;
  uint64_t literalOnlyLiterals = 0;
  uint64_t shortMatches = 0;   // codes 0..8
  uint64_t repeats = 0;        // code 9 and the one-bit repeats
  uint64_t recentMatches = 0;  // codes 10..13
  uint64_t farMatches = 0;     // code 14
  uint64_t longMatches = 0;
  uint64_t escapeMatches = 0;  // 3- and 4-byte matches inside literal-only mode
  uint64_t escapes = 0;        // leaving literal-only mode
  uint64_t toggles = 0;
  uint64_t flagBytes = 0;
};

// The shortest bit pattern of a value of a threshold code; bits 0 when the code
// cannot express it.
struct CodePattern {
  uint32_t pattern;
  uint32_t bits;
};
CodePattern thresholdPattern(const ThresholdCode* code, uint32_t value);

enum : uint32_t {
  LongReach = 32767,     // long matches: a high part below 256 and 7 low bits
  FarFirst = 0x8000,     // code 14: 0x8000 + 15 bits
  FarReach = 0xFFFF,
  EscapeReach = 256 * 32 + 31
};

struct V15Writer {
  V15State model;
  MatchHistory history;
  V15Stats stats;

  V15Writer();
  // Starts a file; a non-solid one also starts the model afresh. `size` 0 means
  // an empty file: the decoder then reads nothing at all.
  void startFile(bool solid, size_t size);
  // The packed bytes of the file not taken yet, the open flag byte written out.
  std::vector<uint8_t> finishFile();
  // Moves the bytes that are final (all but a partly filled last one) to `to`.
  void takeFinished(std::vector<uint8_t>* to);

  // A literal, in literal-only mode or not.
  void literal(uint8_t byte);
  // Steps outside literal-only mode.
  void longMatch(uint32_t distance, uint32_t length);
  void shortMatch(uint32_t distance, uint32_t length);  // 2..10 bytes, distance 1..256
  void repeat();                                         // the last match once more
  void recent(uint32_t index, uint32_t length);          // codes 10..13
  void toggleVariant();                                  // code 10 with length 257
  void farMatch(uint32_t distance, uint32_t length);     // code 14; needs variant 1
  // Steps inside literal-only mode.
  void leaveLiteralOnly();
  void escapeMatch(uint32_t distance, uint32_t length);  // 3 or 4 bytes

  // The same steps by their coded values, for streams assembled by hand: the
  // literal place code value (in literal-only mode one above the place; 0 is not
  // a literal there), and the long-match length code, distance place and low
  // seven bits.
  void literalAt(uint32_t codeValue);
  void longMatchAt(uint32_t lengthCode, uint32_t distancePlace, uint32_t low7);
  uint32_t placeOfDistanceHigh(uint32_t high) const { return distancePlace[high]; }

  // Form checks and prices in bits (flag bits weighted with their share of the
  // flag byte's code).
  int longLengthCode(uint32_t distance, uint32_t length) const;  // -1: not expressible
  uint32_t recentBonus(uint32_t distance) const;
  double literalCost(uint8_t byte) const;
  double longCost(uint32_t distance, uint32_t length) const;
  double shortCost(uint32_t distance, uint32_t length) const;
  double repeatCost() const;
  double recentCost(uint32_t index, uint32_t length) const;
  double toggleCost() const;
  double farCost(uint32_t length) const;  // with the toggle when the variant is 0
  double leaveCost() const;
  double escapeMatchCost(uint32_t distance) const;

 private:
  enum FlagKind { FlagLiteral, FlagLong, FlagShort };
  uint32_t literalPlace[256];
  uint32_t distancePlace[256];
  uint32_t flagPlace[256];
  uint32_t shortPlace[256];
  std::vector<uint8_t> out;
  uint32_t outUsed = 8;                                // bits used of out's last byte
  std::vector<std::pair<uint32_t, uint32_t>> pending;  // steps' bits behind the open flag byte
  uint32_t flagValue = 0;
  uint32_t flagAssigned = 0;
  bool flagOpen = false;

  void put(uint32_t value, uint32_t count);
  void emit(uint32_t value, uint32_t count) { pending.emplace_back(value, count); }
  void emitCode(const ThresholdCode* code, uint32_t value);
  void takeFlag(uint32_t bit);
  void finishFlagByte();
  void flagsFor(FlagKind kind);
  double flagCost(FlagKind kind) const;
  void emitShortCode(uint32_t index);
  uint32_t shortCodeBits(uint32_t index) const;
  bool shortPrelude(bool repeatAgain);
  double shortPrefixCost() const;
  void useLiteral(uint32_t place);
  void syncPlaces();
};
