// The decoder's fast paths (table lookups, LZ steps run on local state, the wide match
// copy) against a plain decoder written step by step in this file: a 16-bit peek of
// three bytes, a linear search over the limits, a byte-by-byte copy, the step frame
// once per step. Random bytes as packed data reach every odd corner (over-full and
// incomplete codes, junk headers, audio blocks, refills of stale input, flushes and
// wraps of the window); encoder output covers long valid runs. Outputs must be equal.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include "pack/encode_v20.h"
#include "tests/support/unpack_harness.h"
#include "unpack/audio.h"
#include "unpack/audio_run.h"
#include "unpack/audio_sums.h"
#include "unpack/v20_tables.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct PlainTable {
  uint32_t limit[16] = {};
  uint32_t start[16] = {};
  uint32_t symbols[298] = {};
  uint32_t count = 0;

  void build(const uint8_t* lengths, uint32_t n) {
    uint32_t per[16] = {};
    for (uint32_t i = 0; i < n; i++) per[lengths[i] & 15]++;
    per[0] = 0;
    uint32_t code = 0;
    for (int l = 1; l < 16; l++) {
      code = 2 * (code + per[l]);
      limit[l] = std::min<uint32_t>(code << (15 - l), 0xFFFF);
      start[l] = start[l - 1] + per[l - 1];
    }
    memset(symbols, 0, sizeof symbols);
    uint32_t next[16];
    memcpy(next, start, sizeof next);
    for (uint32_t s = 0; s < n; s++)
      if (lengths[s] & 15) symbols[next[lengths[s] & 15]++] = s;
    count = n;
  }
};

// The whole method, written for clarity rather than speed; state persists between
// files like the engine's.
struct PlainDecoder {
  const Bytes* packed = nullptr;
  size_t packedAt = 0;
  uint8_t in[8192 + 4] = {};
  uint32_t bytePos = 0, bitPos = 0;
  int32_t validBytes = 0;
  Bytes window = Bytes(1u << 20, 0);
  uint32_t writePos = 0, flushedPos = 0;
  int32_t remaining = 0;
  uint32_t recent[4] = {}, recentIndex = 0, lastDistance = 0, lastLength = 0;
  PlainTable mainT, distT, repT, codeT, audioT[4];
  uint8_t previous[1028] = {};
  bool audioMode = false;
  int32_t channels = 1, channel = 0;
  AudioChannelState audio[4];
  int32_t crossDelta = 0;
  int emptyRefills = 0;
  Bytes out;

  PlainDecoder() { memset(audio, 0, sizeof audio); }

  int32_t readPacked(uint8_t* dest, uint32_t count) {
    size_t n = std::min<size_t>(count, packed->size() - packedAt);
    if (n > 0) memcpy(dest, packed->data() + packedAt, n);  // an empty vector has no data pointer
    packedAt += n;
    return (int32_t)n;
  }
  void refill(bool first) {
    if (first) {
      validBytes = readPacked(in, 8192);
      bytePos = 0;
      return;
    }
    memcpy(in, in + 8160, 32);
    bytePos %= 32;
    int32_t got = readPacked(in + 32, 8160);
    validBytes = got > 0 ? got + 32 : (int32_t)bytePos;
    if (validBytes > 32) emptyRefills = 0; else emptyRefills++;
  }
  uint32_t peek() const {
    uint32_t wide = ((uint32_t)in[bytePos] << 16) | ((uint32_t)in[bytePos + 1] << 8) | in[bytePos + 2];
    return (wide >> (8 - bitPos)) & 0xFFFF;
  }
  void skip(uint32_t n) {
    bitPos += n;
    bytePos += bitPos / 8;
    bitPos %= 8;
  }
  uint32_t bits(uint32_t n) {
    if (n == 0) return 0;
    uint32_t v = peek() >> (16 - n);
    skip(n);
    return v;
  }
  uint32_t decode(const PlainTable& t) {
    uint32_t v = peek() & 0xFFFE;
    uint32_t l = 1;
    while (l < 15 && v >= t.limit[l]) l++;
    skip(l);
    uint32_t i = ((v - t.limit[l - 1]) >> (16 - l)) + t.start[l];
    return t.symbols[i >= t.count ? 0 : i];
  }
  void flush() {
    if (writePos < flushedPos) {
      out.insert(out.end(), window.begin() + flushedPos, window.end());
      out.insert(out.end(), window.begin(), window.begin() + writePos);
    } else {
      out.insert(out.end(), window.begin() + flushedPos, window.begin() + writePos);
    }
    flushedPos = writePos;
  }
  void emitMatch(uint32_t distance, uint32_t length) {
    recent[recentIndex & 3] = distance;
    lastDistance = distance;
    recentIndex++;
    lastLength = length;
    remaining -= (int32_t)length;
    while (length-- > 0) {
      window[writePos] = window[(writePos - distance) & 0xFFFFF];
      writePos = (writePos + 1) & 0xFFFFF;
    }
  }
  void readTables() {
    if (bytePos > 8167) refill(false);
    uint32_t header = peek();
    audioMode = (header & 0x8000) != 0;
    if ((header & 0x4000) == 0) memset(previous, 0, sizeof previous);
    skip(2);
    uint32_t size = 374;
    if (audioMode) {
      channels = (int32_t)((header >> 12) & 3) + 1;
      if (channel >= channels) channel = 0;
      skip(2);
      size = (uint32_t)channels * 257;
    }
    uint8_t code19[19];
    for (auto& c : code19) c = (uint8_t)bits(4);
    codeT.build(code19, 19);
    uint8_t lengths[1028];
    uint32_t i = 0;
    while (i < size) {
      if (bytePos > 8187) refill(false);
      uint32_t c = decode(codeT);
      if (c <= 15) {
        lengths[i] = (uint8_t)((c + previous[i]) & 15);
        i++;
      } else {
        uint32_t n = c == 16 ? bits(2) + 3 : c == 17 ? bits(3) + 3 : bits(7) + 11;
        uint8_t fill = c == 16 && i > 0 ? lengths[i - 1] : 0;
        for (; n > 0 && i < size; n--) lengths[i++] = fill;
      }
    }
    if (audioMode) {
      for (int k = 0; k < channels; k++) audioT[k].build(lengths + 257 * k, 257);
    } else {
      mainT.build(lengths, 298);
      distT.build(lengths + 298, 48);
      repT.build(lengths + 346, 28);
    }
    memcpy(previous, lengths, size);
  }
  void step() {
    if (audioMode) {
      uint32_t s = decode(audioT[channel]);
      if (s == 256) return readTables();
      AudioChannelState* st = &audio[channel];
      audioStartByte(st);
      int predicted = audioPredict(st, crossDelta);
      window[writePos] = audioUpdate(st, &crossDelta, predicted, s);
      writePos = (writePos + 1) & 0xFFFFF;
      if (++channel == channels) channel = 0;
      remaining--;
      return;
    }
    uint32_t s = decode(mainT);
    if (s < 256) {
      window[writePos] = (uint8_t)s;
      writePos = (writePos + 1) & 0xFFFFF;
      remaining--;
    } else if (s >= 270) {
      uint32_t length = lengthBase[s - 270] + 3 + bits(lengthExtraBits[s - 270]);
      uint32_t d = decode(distT);
      uint32_t distance = distanceBase[d] + 1 + bits(distanceExtraBits[d]);
      length += (distance >= 0x40000) + (distance >= 0x2000);
      emitMatch(distance, length);
    } else if (s == 269) {
      readTables();
    } else if (s == 256) {
      emitMatch(lastDistance, lastLength);
    } else if (s <= 260) {
      uint32_t distance = recent[(recentIndex - (s - 256)) & 3];
      uint32_t slot = decode(repT);
      uint32_t length = lengthBase[slot] + 2 + bits(lengthExtraBits[slot]);
      length += (distance >= 0x40000) + (distance >= 0x2000) + (distance >= 0x101);
      emitMatch(distance, length);
    } else {
      uint32_t slot = s - 261;
      emitMatch(shortDistanceBase[slot] + 1 + bits(shortDistanceExtraBits[slot]), 2);
    }
  }
  Bytes decodeFile(const Bytes& data, uint32_t size, bool solid) {
    packed = &data;
    packedAt = 0;
    out.clear();
    bytePos = bitPos = 0;
    if (!solid) {
      channel = 0;
      crossDelta = 0;
      memset(audio, 0, sizeof audio);
      memset(recent, 0, sizeof recent);
      recentIndex = lastLength = lastDistance = 0;
      std::fill(window.begin(), window.end(), 0);
      memset(previous, 0, sizeof previous);
      flushedPos = writePos = 0;
    }
    emptyRefills = 0;
    refill(true);
    if (!solid) readTables();
    remaining = (int32_t)size - 1;
    while (remaining >= 0) {
      writePos &= 0xFFFFF;
      if (bytePos > 8162) {
        refill(false);
        if (emptyRefills >= 2) break;
      }
      if (((flushedPos - writePos) & 0xFFFFF) < 270 && flushedPos != writePos) flush();
      step();
    }
    if ((uint32_t)validBytes >= bytePos + 5) {
      if (audioMode) {
        if (decode(audioT[channel]) == 256) readTables();
      } else {
        if (decode(mainT) == 269) readTables();
      }
    }
    flush();
    return out;
  }
};

Bytes randomBytes(size_t n, std::mt19937& random) {
  Bytes b(n);
  for (auto& x : b) x = (uint8_t)random();
  return b;
}

TEST(V20Reference, RandomPackedDataDecodesAsThePlainDecoderSays) {
  std::mt19937 random(4242);
  for (int round = 0; round < 60; round++) {
    UnpackHarness harness;
    PlainDecoder plain;
    // A few files in a row, solid after the first now and then, so state carries.
    for (int file = 0; file < 3; file++) {
      bool solid = file > 0 && random() % 2;
      Bytes packed = randomBytes(random() % 3 == 0 ? random() % 64 : random() % 30000, random);
      // Biased towards LZ headers with the keep flag clear (most junk is audio otherwise).
      if (!packed.empty() && round % 3 != 0) packed[0] &= 0x3F;
      uint32_t size = round % 10 == 0 ? (1u << 20) + 300000 : random() % 70000;
      Bytes expected = plain.decodeFile(packed, size, solid);
      Bytes got = harness.decode(packed, size, 20, solid);
      ASSERT_EQ(got.size(), expected.size()) << "round " << round << " file " << file;
      ASSERT_TRUE(got == expected) << "round " << round << " file " << file;
    }
  }
}

TEST(V20Reference, EncodedFilesLargerThanTheWindowDecodeAlike) {
  std::mt19937 random(8);
  // Text-like runs with repeats near and far (beyond 8 KiB and 256 KiB, for the length
  // bonuses), then a solid second file that reaches back into the first.
  Bytes data;
  Bytes phrase = randomBytes(40, random);
  while (data.size() < (1u << 20) + 200000) {
    int kind = random() % 4;
    if (kind == 0) data.insert(data.end(), phrase.begin(), phrase.end());
    if (kind == 1 && data.size() > 300000) {
      size_t from = data.size() - 270000 - random() % 20000, n = 5 + random() % 60;
      for (size_t i = 0; i < n; i++) data.push_back(data[from + i]);
    }
    if (kind == 2) data.push_back((uint8_t)('a' + random() % 3));
    if (kind == 3) {
      Bytes r = randomBytes(1 + random() % 5, random);
      data.insert(data.end(), r.begin(), r.end());
    }
  }
  Bytes second(data.begin() + 1000, data.begin() + 90000);
  V20Encoder encoder;
  encoder.addFile(data.data(), data.size(), false);
  encoder.addFile(second.data(), second.size(), true);
  encoder.finish();
  ASSERT_EQ(encoder.finished.size(), 2u);

  UnpackHarness harness;
  PlainDecoder plain;
  Bytes expected1 = plain.decodeFile(encoder.finished[0], (uint32_t)data.size(), false);
  Bytes expected2 = plain.decodeFile(encoder.finished[1], (uint32_t)second.size(), true);
  ASSERT_TRUE(expected1 == data) << "the plain decoder itself must read the encoder right";
  ASSERT_TRUE(expected2 == second);
  EXPECT_TRUE(harness.decode(encoder.finished[0], (uint32_t)data.size(), 20, false) == data);
  EXPECT_TRUE(harness.decode(encoder.finished[1], (uint32_t)second.size(), 20, true) == second);
}

TEST(V20Reference, EncodedSoundDecodesAlike) {
  // Sampled sound in frames of one to four bytes (each channel count the decoder's turn
  // takes), long enough for several audio blocks, a table switch between them and many
  // weight adjustments on every channel.
  struct Case {
    const char* what;
    int frameBytes;
    double step;
  } cases[] = {{"8-bit mono", 1, 0.01},
               {"16-bit mono", 2, 0.03},
               {"24-bit pixels", 3, 0.005},
               {"16-bit stereo", 4, 0.002}};
  std::mt19937 random(15);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes data;
    for (int i = 0; data.size() < 600000; i++) {
      double wave = sin(i * c.step) * 9000 + sin(i * c.step * 7.3) * 2000 + (int)(random() % 200);
      for (int b = 0; b < c.frameBytes; b++) data.push_back((uint8_t)((int)wave >> (8 * (b % 2))));
    }
    V20EncoderOptions options;
    options.multimedia = MultimediaMode::On;
    V20Encoder encoder(options);
    encoder.addFile(data.data(), data.size(), false);
    encoder.finish();
    ASSERT_TRUE(encoder.usedAudio[0]);
    UnpackHarness harness;
    PlainDecoder plain;
    ASSERT_TRUE(plain.decodeFile(encoder.finished[0], (uint32_t)data.size(), false) == data);
    // The loop written out for the channel count and the one the installer keeps; the
    // cycle's sums in vector code where the processor has it, and in plain loops.
    for (int perCount : {1, 0}) {
      for (int vectors : {1, 0}) {
        audioLoopPerCount = perCount;
        audioSumsInVectors = vectors;
        EXPECT_TRUE(harness.decode(encoder.finished[0], (uint32_t)data.size(), 20, false) == data)
            << "loop per count: " << perCount << ", sums in vectors: " << vectors;
      }
    }
    audioLoopPerCount = 1;
    audioSumsInVectors = 1;
  }
}

}  // namespace
