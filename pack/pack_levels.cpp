#include "pack/pack_levels.h"

namespace {

struct LevelRow {
  bool optimal;
  uint32_t maxChain;
  uint32_t niceLength;
  uint32_t takeLength;  // cheapest path: a match this long is taken as it is
  uint32_t skipLength;  // cheapest path: no search inside a match this long
  uint32_t lazyLength;  // lazy matching: a match this long is taken without looking ahead
  uint32_t blockSymbols;  // symbols per table block
  uint32_t guidePasses;   // cheapest path: earlier passes that price the last one
};

const LevelRow levels[MaxPackLevel] = {
    {false, 4, 32, 0, 0, 16, 8192, 0},       // 1: lazy matching over short chains
    {false, 24, 64, 0, 0, 32, 8192, 0},      // 2
    {true, 16, 64, 64, 32, 0, 4096, 0},      // 3: cheapest path over short chains
    {true, 48, 128, 128, 0, 0, 4096, 1},     // 4: priced by a quick pass first
    {true, 256, 257, 257, 0, 0, 4096, 2},    // 5: long chains, priced by two passes
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
  if (row.optimal) options.takeLength = row.takeLength;
  options.skipLength = row.skipLength;
  options.blockSymbols = row.blockSymbols;
  if (!row.optimal) options.lazyLength = row.lazyLength;
  options.guidePasses = row.guidePasses;
  return options;
}
