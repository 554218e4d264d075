// Deterministic sample inputs for the decoding benchmarks.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Prose-like text: words of a made-up vocabulary drawn with a skewed frequency,
// sentences and paragraphs.
std::vector<uint8_t> makeText(size_t size);
// Machine code and data: the bytes of the benchmark's own executable, repeated when it
// is shorter than size.
std::vector<uint8_t> makeBinary(size_t size);
// A 16-bit stereo PCM WAV file of mixed tones and a little noise, header included.
std::vector<uint8_t> makeWave(size_t size);
// Bytes with no structure at all (for the stored path).
std::vector<uint8_t> makeNoise(size_t size);
