// The packing methods lumvard-pack offers, as a table: each names the unpack version
// and method byte its entries carry and how to make its encoder. Adding a method means
// adding a row (and its encoder).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "pack/encode_v15.h"
#include "pack/encode_v20.h"
#include "pack/pack_levels.h"

// Packs the files of one archive, in order, handing the packed streams to `sink` in
// the same order. A file's stream may end only when the next file starts (a solid
// stream sends the next file's tables after it).
struct StreamEncoder {
  virtual ~StreamEncoder() = default;
  PackedSink* sink = nullptr;
  // solid: the file continues the previous one's state. Returns whether it is coded
  // that way (a first file never is); the entry's solid flag must match.
  virtual bool beginFile(bool solid) = 0;
  virtual void feed(const uint8_t* data, size_t size) = 0;
  virtual void endFile() = 0;
  // Closes the last stream.
  virtual void finish() = 0;
};

struct PackSettings {
  MultimediaMode multimedia = MultimediaMode::Auto;
  int level = DefaultPackLevel;  // 1 fastest .. 5 smallest
  int threads = 1;
  // Bytes of the current file packed so far, for a progress display; may be empty.
  std::function<void(uint64_t)> onProgress;
};

struct PackMethod {
  const char* name;        // value of --method
  uint8_t unpVer;          // unpack version of its entries (also selects the cipher)
  uint8_t methodByte;      // 0x30: stored
  bool solidCapable;       // whether --solid means anything for it
  std::unique_ptr<StreamEncoder> (*makeEncoder)(const PackSettings&);  // null: stored
  // In a solid archive every file entry must go through the encoder, empty ones
  // too: the decoder counts any earlier entry, stored ones included, as the start
  // of the solid run (the version 1.5 method).
  bool solidTakesEveryFile;
  bool oldFormat;          // whether old-format archives can carry it
};

extern const PackMethod packMethods[];
extern const size_t packMethodCount;

// The method called name, or null.
const PackMethod* findPackMethod(const char* name);
