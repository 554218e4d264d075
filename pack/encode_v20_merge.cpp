#include "pack/encode_v20_merge.h"

#include "pack/encode_v20_header.h"

namespace {

// The symbol that announces a header, coded with the tables in force before it.
const uint64_t SwitchBits = 8;

// Bits of the symbols under their own tables, the table header they need included.
// The header is priced without the lengths before it: a header that adds to them is
// usually a little cheaper, which favours neither side of a join.
uint64_t ownBits(const LzCounts& c) {
  static const uint8_t noLengths[PreviousLengthsSize] = {0};
  uint8_t lengths[PreviousLengthsSize];
  lzCodeLengths(c, lengths);
  return lzCodedBits(c, lengths) + planTableHeader(lengths, LzTableSize, noLengths, 0).bits + SwitchBits;
}

// A run of joined blocks: their summed counts and what they cost.
struct Group {
  LzCounts counts;
  uint64_t bits = 0;
  size_t next = 0;         // the group after this one; `last` when none
  int64_t joinSaving = 0;  // bits saved by joining the next group to this one
  uint64_t joinedBits = 0;
};

void priceJoin(std::vector<Group>& groups, size_t i, size_t end) {
  Group& g = groups[i];
  g.joinSaving = 0;
  if (g.next == end) return;
  LzCounts joined = g.counts;
  addLzCounts(joined, groups[g.next].counts);
  g.joinedBits = ownBits(joined);
  g.joinSaving = (int64_t)(g.bits + groups[g.next].bits) - (int64_t)g.joinedBits;
}

}  // namespace

void mergeBlocksByCost(std::vector<Block>& blocks, size_t first, size_t last) {
  size_t n = last - first;
  if (n < 2) return;
  std::vector<Group> groups(n);
  for (size_t i = 0; i < n; i++) {
    groups[i].counts = blocks[first + i].counts;
    groups[i].bits = ownBits(groups[i].counts);
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
    addLzCounts(g.counts, groups[gone].counts);
    g.bits = g.joinedBits;
    g.next = groups[gone].next;
    previous[g.next] = best;
    priceJoin(groups, best, n);
    if (best > 0) priceJoin(groups, previous[best], n);
  }
  // The first block of each run carries the counts of all; the others share its tables.
  for (size_t i = 0; i < n; i = groups[i].next) {
    for (size_t j = i + 1; j < groups[i].next; j++) blocks[first + j].sharesTables = true;
    blocks[first + i].counts = groups[i].counts;
  }
}
