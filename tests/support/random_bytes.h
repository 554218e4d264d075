// Reproducible random test data.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <vector>

// size bytes drawn from seed, each below alphabet (256: incompressible noise).
inline std::vector<uint8_t> randomBytes(size_t size, uint32_t seed, uint32_t alphabet = 256) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = (uint8_t)(random() % alphabet);
  return bytes;
}
