// Deterministic test inputs for the compressor: text, structured binary, noise, PCM
// sound and a 24-bit picture.
#pragma once

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace pack20test {

typedef std::vector<uint8_t> Bytes;

// xorshift32: no short periods in the low bits, so noise really is incompressible.
inline uint32_t nextRandom(uint32_t& state) {
  if (state == 0) state = 0x9E3779B9u;
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

inline Bytes noise(size_t size, uint32_t seed) {
  Bytes out(size);
  for (uint8_t& b : out) b = (uint8_t)nextRandom(seed);
  return out;
}

// Sentences drawn from a small vocabulary: compressible like prose.
inline Bytes text(size_t size, uint32_t seed) {
  static const char* const words[] = {"the",     "archive", "window",  "installer", "folder", "of",
                                      "packed",  "and",     "bytes",   "table",     "a",      "match",
                                      "lumvard", "setup",   "entry",   "solid",     "with",   "is"};
  Bytes out;
  while (out.size() < size) {
    const char* w = words[nextRandom(seed) % (sizeof words / sizeof words[0])];
    out.insert(out.end(), w, w + strlen(w));
    uint32_t r = nextRandom(seed) % 16;
    out.push_back(r == 0 ? '\n' : r == 1 ? '.' : ' ');
  }
  out.resize(size);
  return out;
}

// Records with counters, small integers and repeated tags: like an executable's data.
inline Bytes structured(size_t size, uint32_t seed) {
  Bytes out;
  uint32_t counter = 0;
  while (out.size() < size) {
    uint32_t kind = nextRandom(seed) % 4;
    uint32_t value = kind == 0 ? counter++ : kind == 1 ? nextRandom(seed) % 64 : 0x00401000u + (nextRandom(seed) % 32) * 16;
    for (int i = 0; i < 4; i++) out.push_back((uint8_t)(value >> (8 * i)));
    if (kind == 3) out.insert(out.end(), {0x8B, 0x45, 0xFC, 0x89, 0x45, 0xF8});
  }
  out.resize(size);
  return out;
}

inline void putLe(Bytes& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back((uint8_t)(value >> (8 * i)));
}

// A PCM WAV file of two mixed tones and a little noise per channel.
inline Bytes wav(int bits, int channels, int frames, uint32_t seed = 7) {
  Bytes samples;
  for (int i = 0; i < frames; i++) {
    for (int c = 0; c < channels; c++) {
      double v = 0.55 * sin(i * (0.061 + 0.013 * c)) + 0.25 * sin(i * 0.0071) +
                 ((int)(nextRandom(seed) % 201) - 100) / 6000.0;
      if (bits == 16)
        putLe(samples, (uint32_t)(int32_t)(v * 32000) & 0xFFFF, 2);
      else
        samples.push_back((uint8_t)(128 + (int)(v * 120)));
    }
  }
  Bytes out = {'R', 'I', 'F', 'F'};
  putLe(out, (uint32_t)(36 + samples.size()), 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  putLe(out, 16, 4);
  putLe(out, 1, 2);
  putLe(out, channels, 2);
  putLe(out, 22050, 4);
  putLe(out, 22050 * channels * bits / 8, 4);
  putLe(out, channels * bits / 8, 2);
  putLe(out, bits, 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  putLe(out, (uint32_t)samples.size(), 4);
  out.insert(out.end(), samples.begin(), samples.end());
  return out;
}

// A 24-bit bottom-up BMP with smooth gradients, rows padded to 4 bytes.
inline Bytes bmp24(int width, int height, uint32_t seed = 3) {
  int row = (width * 3 + 3) / 4 * 4;
  Bytes out = {'B', 'M'};
  putLe(out, 54 + row * height, 4);
  putLe(out, 0, 4);
  putLe(out, 54, 4);
  putLe(out, 40, 4);
  putLe(out, width, 4);
  putLe(out, height, 4);
  putLe(out, 1, 2);
  putLe(out, 24, 2);
  putLe(out, 0, 4);
  putLe(out, row * height, 4);
  putLe(out, 2835, 4);
  putLe(out, 2835, 4);
  putLe(out, 0, 4);
  putLe(out, 0, 4);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      out.push_back((uint8_t)(x * 255 / width + nextRandom(seed) % 4));
      out.push_back((uint8_t)(y * 255 / height));
      out.push_back((uint8_t)((x + y) * 127 / (width + height) + (int)(20 * sin(x / 9.0))));
    }
    for (int p = width * 3; p < row; p++) out.push_back(0);
  }
  return out;
}

}  // namespace pack20test
