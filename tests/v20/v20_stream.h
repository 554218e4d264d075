// Assembles version 2.0 packed streams by hand for the decoder's tests. The writer
// keeps its own mirror of what the decoder must hold (stored code lengths, tables,
// channel rotation, predictor states), so a test says "this literal, that match" and
// the writer picks the bits; tests that need odd bits write them raw.
#pragma once

#include <stdint.h>
#include <string.h>

#include <vector>

#include "tests/support/bit_writer.h"
#include "unpack/audio.h"
#include "unpack/v20_tables.h"

struct CodeSet {
  std::vector<uint8_t> lengths;
  std::vector<uint32_t> codes;
  void set(const std::vector<uint8_t>& l) {
    lengths = l;
    codes = canonicalCodes(l);
  }
};

// A code-length symbol with its extra bits, as written in a table header.
struct LengthOp {
  uint32_t symbol;
  uint32_t extra;
};

struct V20Stream {
  BitWriter bits;
  uint8_t previous[1028] = {};
  CodeSet codeLength, main, distance, repeatLength, audioCodes[4];
  bool audioMode = false;
  int channels = 1;
  int current = 0;
  AudioChannelState audio[4];
  int32_t crossDelta = 0;

  V20Stream() {
    memset(audio, 0, sizeof audio);
    // All 19 code-length symbols 5 bits long: the code of a symbol is its own value.
    codeLength.set(std::vector<uint8_t>(19, 5));
  }

  // Every symbol of the alphabet the same length: the code is the symbol itself.
  static std::vector<uint8_t> flat(size_t count, uint8_t length) {
    return std::vector<uint8_t>(count, length);
  }

  void raw(uint32_t value, uint32_t count) { bits.put(value, count); }

  // --- table headers ---

  void headerStart(bool audioBlock, bool keep, int channelCount = 1) {
    raw(audioBlock ? 1 : 0, 1);
    raw(keep ? 1 : 0, 1);
    if (!keep) memset(previous, 0, sizeof previous);
    if (audioBlock) raw((uint32_t)(channelCount - 1), 2);
    for (int i = 0; i < 19; i++) raw(codeLength.lengths[i], 4);
  }

  void lengthOp(uint32_t symbol, uint32_t extra = 0) {
    raw(codeLength.codes[symbol], codeLength.lengths[symbol]);
    if (symbol == 16) raw(extra, 2);
    if (symbol == 17) raw(extra, 3);
    if (symbol == 18) raw(extra, 7);
  }

  // Lengths sent as plain differences to the stored ones.
  void lengthsAsDeltas(const std::vector<uint8_t>& lengths) {
    for (size_t i = 0; i < lengths.size(); i++) lengthOp((lengths[i] - previous[i]) & 15u);
  }

  // The decoder now holds `lengths` (the header's whole table); adopt them.
  void adoptLz(const std::vector<uint8_t>& lengths) {
    audioMode = false;
    main.set(std::vector<uint8_t>(lengths.begin(), lengths.begin() + 298));
    distance.set(std::vector<uint8_t>(lengths.begin() + 298, lengths.begin() + 346));
    repeatLength.set(std::vector<uint8_t>(lengths.begin() + 346, lengths.begin() + 374));
    memcpy(previous, lengths.data(), lengths.size());
  }

  void adoptAudio(int channelCount, const std::vector<uint8_t>& lengths) {
    audioMode = true;
    channels = channelCount;
    if (current >= channels) current = 0;
    for (int k = 0; k < channelCount; k++)
      audioCodes[k].set(std::vector<uint8_t>(lengths.begin() + 257 * k, lengths.begin() + 257 * (k + 1)));
    memcpy(previous, lengths.data(), lengths.size());
  }

  static std::vector<uint8_t> joinLz(const std::vector<uint8_t>& m, const std::vector<uint8_t>& d,
                                     const std::vector<uint8_t>& r) {
    std::vector<uint8_t> all = m;
    all.insert(all.end(), d.begin(), d.end());
    all.insert(all.end(), r.begin(), r.end());
    return all;
  }

  // A whole LZ header; the default tables give every symbol a code of fixed width.
  void lzHeader(bool keep = false, std::vector<uint8_t> m = flat(298, 9),
                std::vector<uint8_t> d = flat(48, 6), std::vector<uint8_t> r = flat(28, 5)) {
    headerStart(false, keep);
    std::vector<uint8_t> all = joinLz(m, d, r);
    lengthsAsDeltas(all);
    adoptLz(all);
  }

  // A whole audio header; by default channel k's table differs from the others (its
  // symbol k is one bit shorter), so a wrong channel decodes the wrong symbols.
  void audioHeader(int channelCount, bool keep = false, std::vector<uint8_t> lengths = {}) {
    if (lengths.empty()) {
      for (int k = 0; k < channelCount; k++) {
        std::vector<uint8_t> t = flat(257, 9);
        t[k] = 8;
        lengths.insert(lengths.end(), t.begin(), t.end());
      }
    }
    // The decoder moves the rotation back to channel 0 as soon as it reads the count.
    headerStart(true, keep, channelCount);
    lengthsAsDeltas(lengths);
    adoptAudio(channelCount, lengths);
  }

  // --- LZ symbols ---

  void mainSymbol(uint32_t s) { raw(main.codes.at(s), main.lengths.at(s)); }
  void distanceSymbol(uint32_t s) { raw(distance.codes.at(s), distance.lengths.at(s)); }
  void repeatLengthSymbol(uint32_t s) { raw(repeatLength.codes.at(s), repeatLength.lengths.at(s)); }

  void literal(uint8_t b) { mainSymbol(b); }
  void literals(const char* text) {
    for (const char* p = text; *p; p++) literal((uint8_t)*p);
  }

  static uint32_t slotOf(const uint32_t* base, int count, uint32_t value) {
    int slot = 0;
    while (slot + 1 < count && base[slot + 1] <= value) slot++;
    return (uint32_t)slot;
  }
  static uint32_t lengthSlotOf(uint32_t value) {
    uint32_t base[LengthSlots];
    for (int i = 0; i < LengthSlots; i++) base[i] = lengthBase[i];
    return slotOf(base, LengthSlots, value);
  }

  // A main-table match; `length` is what the decoder copies, bonuses included.
  void match(uint32_t length, uint32_t dist) {
    uint32_t bonus = (dist >= 0x40000) + (dist >= 0x2000);
    uint32_t l = length - 3 - bonus;
    uint32_t ls = lengthSlotOf(l);
    mainSymbol(270 + ls);
    raw(l - lengthBase[ls], lengthExtraBits[ls]);
    uint32_t ds = slotOf(distanceBase, DistanceSlots, dist - 1);
    distanceSymbol(ds);
    raw(dist - 1 - distanceBase[ds], distanceExtraBits[ds]);
  }

  // History symbol 257..260 (k = 1..4) with a repeat-length slot value (before bonuses).
  void historyMatch(uint32_t k, uint32_t lengthValue) {
    mainSymbol(256 + k);
    uint32_t ls = lengthSlotOf(lengthValue);
    repeatLengthSymbol(ls);
    raw(lengthValue - lengthBase[ls], lengthExtraBits[ls]);
  }

  void shortMatch(uint32_t dist) {
    uint32_t base[ShortDistanceSlots];
    for (int i = 0; i < ShortDistanceSlots; i++) base[i] = shortDistanceBase[i];
    uint32_t slot = slotOf(base, ShortDistanceSlots, dist - 1);
    mainSymbol(261 + slot);
    raw(dist - 1 - shortDistanceBase[slot], shortDistanceExtraBits[slot]);
  }

  void repeatLast() { mainSymbol(256); }
  void newTables() { mainSymbol(269); }

  // --- audio symbols ---

  void audioSymbol(uint32_t s) { raw(audioCodes[current].codes.at(s), audioCodes[current].lengths.at(s)); }

  // Sends the symbol that makes the decoder produce `b` on the current channel.
  void audioByte(uint8_t b) {
    audioSymbol(audioEncodeByte(&audio[current], &crossDelta, b));
    if (++current == channels) current = 0;
  }
  void audioTableSwitch() { audioSymbol(256); }

  std::vector<uint8_t> finish() const { return bits.finish(8); }
};
