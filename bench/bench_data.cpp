#include "bench/bench_data.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <random>
#include <string>

std::vector<uint8_t> makeText(size_t size) {
  std::mt19937 random(1234);
  static const char* syllables[] = {"ka", "lo", "mer", "vin", "to", "sa", "re", "dun", "pi", "an",
                                    "el", "or", "th", "is", "ne", "qu", "st", "ra", "ul", "be"};
  std::vector<std::string> words;
  for (int i = 0; i < 2000; i++) {
    std::string w;
    int parts = 1 + (int)(random() % 3);
    for (int p = 0; p < parts; p++) w += syllables[random() % 20];
    words.push_back(w);
  }
  std::vector<uint8_t> out;
  out.reserve(size + 64);
  bool sentenceStart = true;
  int wordsInSentence = 0, sentencesInParagraph = 0;
  while (out.size() < size) {
    // Squared uniform: low indices (the common words) come up far more often.
    double u = std::uniform_real_distribution<double>(0, 1)(random);
    std::string w = words[(size_t)(u * u * u * (double)words.size())];
    if (sentenceStart) w[0] = (char)(w[0] - 'a' + 'A');
    out.insert(out.end(), w.begin(), w.end());
    sentenceStart = false;
    wordsInSentence++;
    if (wordsInSentence > 6 && random() % 8 == 0) {
      out.push_back('.');
      sentenceStart = true;
      wordsInSentence = 0;
      if (++sentencesInParagraph > 4 && random() % 4 == 0) {
        out.push_back('\n');
        out.push_back('\n');
        sentencesInParagraph = 0;
        continue;
      }
    } else if (random() % 12 == 0) {
      out.push_back(',');
    }
    out.push_back(' ');
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> makeBinary(size_t size) {
  std::vector<uint8_t> self;
  FILE* f = fopen("/proc/self/exe", "rb");
  if (f != nullptr) {
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) self.insert(self.end(), buffer, buffer + n);
    fclose(f);
  }
  if (self.empty()) self = makeText(65536);
  std::vector<uint8_t> out;
  out.reserve(size);
  while (out.size() < size) {
    size_t n = self.size() < size - out.size() ? self.size() : size - out.size();
    out.insert(out.end(), self.begin(), self.begin() + (long)n);
  }
  return out;
}

static void putLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) out.push_back((uint8_t)(value >> (8 * i)));
}

std::vector<uint8_t> makeWave(size_t size) {
  uint32_t dataBytes = (uint32_t)((size - 44) & ~3u);
  std::vector<uint8_t> out;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  putLe(out, 36 + dataBytes, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  putLe(out, 16, 4);
  putLe(out, 1, 2);          // PCM
  putLe(out, 2, 2);          // stereo
  putLe(out, 44100, 4);
  putLe(out, 44100 * 4, 4);
  putLe(out, 4, 2);
  putLe(out, 16, 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  putLe(out, dataBytes, 4);
  std::mt19937 random(99);
  std::normal_distribution<double> noise(0.0, 60.0);
  for (uint32_t i = 0; i < dataBytes / 4; i++) {
    double t = i / 44100.0;
    double left = 9000 * sin(2 * M_PI * 220 * t) + 4000 * sin(2 * M_PI * 331 * t + 1) + noise(random);
    double right = 8000 * sin(2 * M_PI * 277 * t) + 3000 * sin(2 * M_PI * 440 * t) + noise(random);
    putLe(out, (uint32_t)(int16_t)left, 2);
    putLe(out, (uint32_t)(int16_t)right, 2);
  }
  return out;
}

std::vector<uint8_t> makeNoise(size_t size) {
  std::mt19937 random(7);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = (uint8_t)random();
  return out;
}
