// Drives the decompressor in-process over hand-made packed data: each call decodes
// one entry through unpackFile, reading the packed bytes from a temporary archive file
// and collecting what writeUnpacked writes. The engine state carries over between
// calls, as across the entries of a solid archive.
#pragma once

#include <stdint.h>

#include <vector>

#include "tests/support/temp_dir.h"

struct UnpackHarness {
  TempDir dir;
  int calls = 0;

  UnpackHarness();   // resets the engine and the fake host, allocates the window
  ~UnpackHarness();  // releases the window and any open file

  // The bytes written for one entry of the given unpacked size.
  std::vector<uint8_t> decode(const std::vector<uint8_t>& packed, uint32_t unpackedSize,
                              int unpVer, bool solid);
};
