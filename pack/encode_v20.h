// The version 2.0 compressor: LZ77 over the 1 MiB window with per-block canonical
// Huffman tables, and the multimedia (audio) blocks for sampled data.
//
// Files are fed one after another, in pieces of any size. Each file's packed stream is
// final only once the next file is known: in a solid stream the tables the next file
// starts with are sent after the previous file's last symbol. Stream bytes go out as
// soon as they are final, in file order.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

enum class MultimediaMode {
  Off,   // LZ only
  Auto,  // audio blocks for files whose header says PCM WAV or 24/32-bit BMP, when smaller
  On     // also every other file is tried with audio blocks
};

enum {
  // Each thread needs up to about 26 MiB (its match finder and the blocks of two pieces
  // of noise); more threads than this would take memory past 256 MiB.
  MaxEncoderThreads = 8
};

struct V20EncoderOptions {
  MultimediaMode multimedia = MultimediaMode::Auto;
  uint32_t maxChain = 48;       // hash chain links per search: speed against ratio
  uint32_t niceLength = 128;    // a match this long ends the search
  uint32_t goodLength = 32;     // after a match this long, a quarter of the links are left
  uint32_t blockSymbols = 1u << 13;  // LZ symbols per table block
  bool chooseBlocks = false;  // join blocks where one set of tables costs less than two
  // Sound changes its statistics within a fraction of a second: it is parsed in short
  // blocks, and neighbours are joined where one set of tables costs less than two
  // (2 KiB blocks joined in runs of 128 gave 1.5% less than fixed 16 KiB blocks on
  // speech and music).
  uint32_t audioBlockBytes = 1u << 11;
  uint32_t audioJoinBlocks = 128;  // blocks looked at together for joins
  bool optimalParsing = true;  // else lazy matching: faster, a few percent larger
  uint32_t takeLength = 128;   // optimal parsing takes a match this long without weighing
  uint32_t skipLength = 0;     // optimal parsing does not search inside a match this long
  uint32_t lazyLength = 48;    // lazy matching takes a match this long without looking ahead
  uint32_t guidePasses = 0;    // earlier passes over each piece that price the last one
  // Chain links of the guide passes after the first, which is then a quick cheapest path
  // (0: maxChain, and a quick lazy first pass).
  uint32_t guideChain = 0;
  bool matchLiteralRepeat = false;  // optimal parsing weighs match, literal, same distance
  uint32_t arrivals = 1;  // optimal parsing: cheapest paths of other recent distances kept
  // The stream is cut into pieces of this many bytes, parsed each on its own over the
  // window before it; one piece per thread is parsed at a time, in parallel, while
  // the pieces parsed before are coded.
  // The stream depends on the piece size, never on the thread count.
  uint32_t pieceBytes = 1u << 20;
  int threads = 1;  // 1..MaxEncoderThreads
  // Called after every piece with the bytes of the current file coded so far.
  std::function<void(uint64_t)> onProgress;
};

// Receives the packed streams in order, while they are made: every byte of a file's
// stream, then its end, then the next file's.
struct PackedSink {
  virtual ~PackedSink() = default;
  virtual void write(const uint8_t* bytes, size_t count) = 0;
  virtual void endStream() = 0;
};

struct V20EncoderImpl;

struct V20Encoder {
  explicit V20Encoder(const V20EncoderOptions& options = V20EncoderOptions());
  ~V20Encoder();
  V20Encoder(const V20Encoder&) = delete;
  V20Encoder& operator=(const V20Encoder&) = delete;

  // Where the streams go; without a sink they queue up in `finished`.
  PackedSink* sink = nullptr;

  // Starts the next file. solid: it continues the previous file's state (the entry
  // gets the solid flag); otherwise it starts from scratch, as every first file does.
  // Returns whether the file is coded solid (a first file never is).
  bool beginFile(bool solid);
  // The next bytes of the file; the encoder keeps only the window and what it has not
  // coded yet.
  void feed(const uint8_t* data, size_t size);
  void endFile();
  // All of a file at once: beginFile, feed, endFile.
  bool addFile(const uint8_t* data, size_t size, bool solid);
  // Closes the last open stream; call after the last file.
  void finish();

  // Packed streams of finished files, in the order they were added (without a sink).
  std::deque<std::vector<uint8_t>> finished;
  // Whether each added file was coded with audio blocks (any of its pieces), in order.
  std::vector<bool> usedAudio;

 private:
  std::unique_ptr<V20EncoderImpl> impl;
};

// Packs one file on its own (non-solid) and returns its stream.
std::vector<uint8_t> encodeV20(const uint8_t* data, size_t size,
                               const V20EncoderOptions& options = V20EncoderOptions());

// The channel count of a file whose header announces sampled data (8/16-bit PCM WAV,
// 24/32-bit uncompressed BMP) as interleaved byte channels, or 0.
int detectMultimediaChannels(const uint8_t* data, size_t size);
