#include "pack/pack_levels.h"

namespace {

struct LevelRow {
  bool optimal;
  uint32_t maxChain;
  uint32_t niceLength;
  uint32_t goodLength;  // after a match this long a quarter of the chain is left
  uint32_t takeLength;  // cheapest path: a match this long is taken as it is
  uint32_t skipLength;  // cheapest path: no search inside a match this long
  uint32_t lazyLength;  // lazy matching: a match this long is taken without looking ahead
  uint32_t blockSymbols;  // symbols per table block before blocks are joined
  uint32_t guidePasses;   // cheapest path: earlier passes that price the last one
  uint32_t guideChain;    // chain of the guide passes after the first (0: maxChain)
  bool matchLiteralRepeat;  // cheapest path: a match, a literal, the same distance again
  uint32_t arrivals;  // cheapest path: arrivals of other recent distances kept per position
};

const LevelRow levels[MaxPackLevel] = {
    {false, 4, 32, 32, 0, 0, 16, 8192, 0, 0, false, 1},    // 1: lazy matching over short chains
    {false, 24, 64, 32, 0, 0, 32, 8192, 0, 0, false, 1},   // 2
    {true, 16, 64, 32, 64, 32, 0, 2048, 0, 0, false, 1},   // 3: cheapest path over short chains
    {true, 48, 128, 32, 128, 0, 0, 2048, 1, 0, false, 1},  // 4: priced by a quick pass first
    // 5: the longest chains in the last pass, priced by two passes before it; the
    // shortest blocks; a match, a literal and the same distance again weighed; four
    // arrivals of other recent distances kept at each position of the last pass
    {true, 768, 257, 128, 257, 0, 0, 512, 2, 48, true, 4},
};

}  // namespace

V20EncoderOptions v20LevelOptions(int level) {
  if (level < MinPackLevel) level = MinPackLevel;
  if (level > MaxPackLevel) level = MaxPackLevel;
  const LevelRow& row = levels[level - 1];
  V20EncoderOptions options;
  options.optimalParsing = row.optimal;
  options.maxChain = row.maxChain;
  options.niceLength = row.niceLength;
  options.goodLength = row.goodLength;
  if (row.optimal) options.takeLength = row.takeLength;
  options.skipLength = row.skipLength;
  options.blockSymbols = row.blockSymbols;
  if (!row.optimal) options.lazyLength = row.lazyLength;
  options.guidePasses = row.guidePasses;
  options.guideChain = row.guideChain;
  // Every level joins its table blocks by cost: fewer headers, and fewer tables for the
  // decoder to build, so the output is also quicker to unpack.
  options.chooseBlocks = true;
  options.matchLiteralRepeat = row.matchLiteralRepeat;
  options.arrivals = row.arrivals;
  return options;
}
