// The compressor of the version 1.5 method: a hash-chain match finder over the
// 64 KiB the method can reach, a greedy parse with a one-step lazy look-ahead
// that prices every form a match can take with the exact code lengths of the
// current model state, and the step writer that codes the result. The model,
// the match history and the data seen so far carry over from one file to the
// next for solid archives.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "pack/encode_v15_writer.h"

enum : uint32_t { ExactLiterals = 16 };

struct V15Encoder {
  V15Writer writer;
  std::vector<uint8_t> buf;   // the bytes of the solid run from bufBase on
  size_t bufBase = 0;         // stream position of buf[0]; older bytes are out of reach
  size_t pos = 0;             // the next step starts here
  std::vector<int64_t> head;  // hash of three bytes -> latest position
  std::vector<int64_t> prev;  // position -> previous one with the same hash, by position mod 64 KiB
  size_t inserted = 0;        // positions entered into the chains
  size_t fileEnd = 0;         // the bytes fed so far end here
  bool solidFile = false;
  bool started = false;       // the writer knows the file is not empty
  double literalEstimate = 8; // running price of a literal, in bits
  uint32_t variantPenalty = 0;
  double literalPrices[ExactLiterals + 1];  // the next bytes as literals, summed
  V15Encoder();
};

// Packs one file. `solid` continues the state of the previous file given to this
// encoder; otherwise everything starts afresh, as the decoder does.
std::vector<uint8_t> encodeV15File(V15Encoder& encoder, const uint8_t* bytes, size_t size, bool solid);
// The same in pieces: the file's bytes in any number of feeds, the packed bytes that
// are final appended to `out` as they come.
void beginV15File(V15Encoder& encoder, bool solid);
void feedV15(V15Encoder& encoder, const uint8_t* bytes, size_t size, std::vector<uint8_t>* out);
void endV15File(V15Encoder& encoder, std::vector<uint8_t>* out);
