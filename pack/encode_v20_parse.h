// The LZ parse of the version 2.0 compressor, one piece of the input at a time.
//
// A piece is a stretch of the stream, small files and parts of large ones alike, parsed
// from a clean start: its match history begins empty and its symbol costs are estimated
// from its own bytes, so its blocks depend only on its bytes and the window before it.
// Pieces can therefore be parsed in any order, on any thread, and the stream comes out
// the same. The history symbols a piece uses refer only to matches of the piece itself,
// which the decoder has seen last as well. Blocks end at every file boundary.
#pragma once

#include <stdint.h>

#include <vector>

#include "pack/encode_v20_block.h"
#include "pack/match_finder.h"

struct LzParseOptions {
  bool optimal = true;        // cheapest path; else lazy matching with one step ahead
  uint32_t maxChain = 48;     // hash chain links per search
  uint32_t niceLength = 128;  // a match this long ends the search
  uint32_t goodLength = 32;   // after a match this long, a quarter of the links are left
  uint32_t takeLength = 128;  // the cheapest path takes a match this long without weighing
  uint32_t lazyLength = 48;   // lazy matching takes a match this long without looking ahead
  // The cheapest path does not search again inside a match this long (but near its
  // end); 0: it searches at every position.
  uint32_t skipLength = 0;
  uint32_t blockSymbols = 1u << 13;  // symbols per table block
  // Blocks of blockSymbols are joined with their neighbours where one set of tables
  // costs less than two.
  bool chooseBlocks = false;
  // Passes over each piece before the one that counts, each pricing its blocks with the
  // tables the pass before found at the same place (the first is a quick lazy parse).
  uint32_t guidePasses = 0;
  // Chain links of the guide passes after the quick first one, which is then a
  // cheapest path too (0: maxChain, and the first is a lazy parse): their tables need
  // no match the longest chains find.
  uint32_t guideChain = 0;
  // The cheapest path also weighs a long match followed by a literal and the same
  // distance again.
  bool matchLiteralRepeat = false;
  // Arrivals the cheapest path keeps at each position (1 to 4): the cheapest, and the
  // cheapest that leave other recent distances, whose history matches may pay later.
  uint32_t arrivals = 1;
};

struct Arrival;

// One parser's memory, reused from piece to piece (one per thread).
struct PieceParser {
  MatchFinder finder;
  std::vector<Arrival> arrivals;  // the cheapest path's, position by position
  PieceParser();
  ~PieceParser();
};

// Parses bytes[start, stop) into blocks; bytes[historyFrom, start) are the window
// before the piece; fileStarts (ascending, within the piece) are where files begin,
// historyRestarts (some of them) where the match history starts empty again.
// Positions are indexes into bytes.
void parseLzPiece(PieceParser& parser, const uint8_t* bytes, uint32_t historyFrom, uint32_t start,
                  uint32_t stop, const std::vector<uint32_t>& fileStarts,
                  const std::vector<uint32_t>& historyRestarts, const LzParseOptions& options,
                  std::vector<Block>* blocks);
