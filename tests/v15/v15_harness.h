// The shared decoding harness, set to the version 1.5 method.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive/data_stream.h"
#include "tests/support/unpack_harness.h"
#include "unpack/unpack_state.h"

struct V15Decoder : UnpackHarness {
  // Decodes one file of `size` bytes; `solid` continues the previous file.
  std::vector<uint8_t> decode(const std::vector<uint8_t>& packed, size_t size, bool solid = false) {
    return UnpackHarness::decode(packed, uint32_t(size), 15, solid);
  }
};

inline std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

