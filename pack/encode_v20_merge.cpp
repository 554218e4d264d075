#include "pack/encode_v20_merge.h"

#include <string.h>

#include <algorithm>

#include "pack/encode_v20_header.h"
#include "pack/huffman_encoder.h"

namespace {

// The symbol that announces a header, coded with the tables in force before it.
const uint64_t SwitchBits = 8;

// Bits of a block's symbols under its own tables, the table header they need included.
// The header is priced without the lengths before it: a header that adds to them is
// usually a little cheaper, which favours neither side of a join.
uint64_t ownBits(const Block& b) {
  static const uint8_t noLengths[PreviousLengthsSize] = {0};
  uint8_t lengths[PreviousLengthsSize];
  blockCodeLengths(b, lengths);
  uint64_t bits = codedBits(b.mainCount, lengths, MainSymbols) +
                  codedBits(b.distanceCount, lengths + MainSymbols, DistanceSymbols) +
                  codedBits(b.repeatCount, lengths + MainSymbols + DistanceSymbols, RepeatLengthSymbols);
  return bits + planTableHeader(lengths, LzTableSize, noLengths, 0).bits + SwitchBits;
}

void addCounts(Block& to, const Block& from) {
  for (int s = 0; s < MainSymbols; s++) to.mainCount[s] += from.mainCount[s];
  for (int s = 0; s < DistanceSymbols; s++) to.distanceCount[s] += from.distanceCount[s];
  for (int s = 0; s < RepeatLengthSymbols; s++) to.repeatCount[s] += from.repeatCount[s];
}

// A run of joined blocks: their summed counts (without tokens) and what they cost.
struct Group {
  Block counts;
  uint64_t bits = 0;
  size_t next = 0;         // the group after this one; `last` when none
  int64_t joinSaving = 0;  // bits saved by joining the next group to this one
  uint64_t joinedBits = 0;
};

void priceJoin(std::vector<Group>& groups, size_t i, size_t end) {
  Group& g = groups[i];
  g.joinSaving = 0;
  if (g.next == end) return;
  Block joined = g.counts;
  addCounts(joined, groups[g.next].counts);
  g.joinedBits = ownBits(joined);
  g.joinSaving = (int64_t)(g.bits + groups[g.next].bits) - (int64_t)g.joinedBits;
}

}  // namespace

void mergeBlocksByCost(std::vector<Block>& blocks, size_t first, size_t last,
                       const std::vector<uint32_t>& fileStarts) {
  size_t n = last - first;
  if (n < 2) return;
  std::vector<Group> groups(n);
  for (size_t i = 0; i < n; i++) {
    Block& c = groups[i].counts;
    const Block& b = blocks[first + i];
    memcpy(c.mainCount, b.mainCount, sizeof c.mainCount);
    memcpy(c.distanceCount, b.distanceCount, sizeof c.distanceCount);
    memcpy(c.repeatCount, b.repeatCount, sizeof c.repeatCount);
    groups[i].bits = ownBits(c);
    groups[i].next = i + 1;
  }
  std::vector<size_t> previous(n + 1);
  for (size_t i = 0; i < n; i++) {
    previous[i + 1] = i;
    priceJoin(groups, i, n);
  }
  for (;;) {
    size_t best = n;
    for (size_t i = 0; i < n; i = groups[i].next)
      if (groups[i].joinSaving > 0 && (best == n || groups[i].joinSaving > groups[best].joinSaving)) best = i;
    if (best == n) break;
    Group& g = groups[best];
    size_t gone = g.next;
    addCounts(g.counts, groups[gone].counts);
    g.bits = g.joinedBits;
    g.next = groups[gone].next;
    previous[g.next] = best;
    priceJoin(groups, best, n);
    if (best > 0) priceJoin(groups, previous[best], n);
  }
  // Rebuild the blocks: each group's tokens in order, one block per file it touches;
  // the group's first block carries the counts of all.
  size_t out = first;
  for (size_t i = 0; i < n; i = groups[i].next) {
    size_t head = out;
    Block* current = nullptr;
    for (size_t j = i; j < groups[i].next; j++) {
      Block& from = blocks[first + j];
      bool newFile = j > i && std::binary_search(fileStarts.begin(), fileStarts.end(), from.start);
      if (j == i || newFile) {
        if (out != first + j) blocks[out] = std::move(from);
        blocks[out].sharesTables = newFile;
        current = &blocks[out++];
      } else {
        current->tokens.insert(current->tokens.end(), from.tokens.begin(), from.tokens.end());
        current->stop = from.stop;
        addCounts(*current, from);
      }
    }
    Block& to = blocks[head];
    memcpy(to.mainCount, groups[i].counts.mainCount, sizeof to.mainCount);
    memcpy(to.distanceCount, groups[i].counts.distanceCount, sizeof to.distanceCount);
    memcpy(to.repeatCount, groups[i].counts.repeatCount, sizeof to.repeatCount);
  }
  blocks.erase(blocks.begin() + (ptrdiff_t)out, blocks.begin() + (ptrdiff_t)last);
}
