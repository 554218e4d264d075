#include "pack/encode_v20_merge.h"

#include "pack/encode_v20_header.h"

namespace {

// The symbol that announces a header, coded with the tables in force before it.
const uint64_t SwitchBits = 8;

// What joining needs of a kind of block: its counts, how to add them, and the bits of
// its symbols under their own tables, the table header they need included. The header
// is priced without the lengths before it: a header that adds to them is usually a
// little cheaper, which favours neither side of a join.
struct LzKind {
  typedef LzCounts Counts;
  static Counts& of(Block& b) { return b.counts; }
  static void add(Counts& to, const Counts& from) { addLzCounts(to, from); }
  static uint64_t ownBits(const Counts& c, int) {
    static const uint8_t noLengths[PreviousLengthsSize] = {0};
    uint8_t lengths[PreviousLengthsSize];
    lzCodeLengths(c, lengths);
    return lzCodedBits(c, lengths) + planTableHeader(lengths, LzTableSize, noLengths, 0).bits + SwitchBits;
  }
};

struct AudioKind {
  typedef std::vector<uint32_t> Counts;  // channel * AudioSymbols + symbol
  static Counts& of(Block& b) { return b.audioCount; }
  static void add(Counts& to, const Counts& from) {
    for (size_t i = 0; i < to.size(); i++) to[i] += from[i];
  }
  static uint64_t ownBits(const Counts& c, int channels) {
    static const uint8_t noLengths[PreviousLengthsSize] = {0};
    uint8_t lengths[PreviousLengthsSize];
    audioCodeLengths(c.data(), channels, lengths);
    return audioCodedBits(c.data(), channels, lengths) +
           planTableHeader(lengths, channels * AudioSymbols, noLengths, channels).bits + SwitchBits;
  }
};

// A run of joined blocks: their summed counts and what they cost.
template <class Kind>
struct Group {
  typename Kind::Counts counts;
  uint64_t bits = 0;
  size_t next = 0;         // the group after this one; `last` when none
  int64_t joinSaving = 0;  // bits saved by joining the next group to this one
  uint64_t joinedBits = 0;
};

template <class Kind>
void priceJoin(std::vector<Group<Kind>>& groups, size_t i, size_t end, int channels) {
  Group<Kind>& g = groups[i];
  g.joinSaving = 0;
  if (g.next == end) return;
  typename Kind::Counts joined = g.counts;
  Kind::add(joined, groups[g.next].counts);
  g.joinedBits = Kind::ownBits(joined, channels);
  g.joinSaving = (int64_t)(g.bits + groups[g.next].bits) - (int64_t)g.joinedBits;
}

template <class Kind>
void mergeByCost(std::vector<Block>& blocks, size_t first, size_t last) {
  size_t n = last - first;
  if (n < 2) return;
  int channels = blocks[first].channels;
  std::vector<Group<Kind>> groups(n);
  for (size_t i = 0; i < n; i++) {
    groups[i].counts = Kind::of(blocks[first + i]);
    groups[i].bits = Kind::ownBits(groups[i].counts, channels);
    groups[i].next = i + 1;
  }
  std::vector<size_t> previous(n + 1);
  for (size_t i = 0; i < n; i++) {
    previous[i + 1] = i;
    priceJoin(groups, i, n, channels);
  }
  for (;;) {
    size_t best = n;
    for (size_t i = 0; i < n; i = groups[i].next)
      if (groups[i].joinSaving > 0 && (best == n || groups[i].joinSaving > groups[best].joinSaving)) best = i;
    if (best == n) break;
    Group<Kind>& g = groups[best];
    size_t gone = g.next;
    Kind::add(g.counts, groups[gone].counts);
    g.bits = g.joinedBits;
    g.next = groups[gone].next;
    previous[g.next] = best;
    priceJoin(groups, best, n, channels);
    if (best > 0) priceJoin(groups, previous[best], n, channels);
  }
  // The first block of each run carries the counts of all; the others share its tables.
  for (size_t i = 0; i < n; i = groups[i].next) {
    for (size_t j = i + 1; j < groups[i].next; j++) blocks[first + j].sharesTables = true;
    Kind::of(blocks[first + i]) = groups[i].counts;
  }
}

}  // namespace

void mergeBlocksByCost(std::vector<Block>& blocks, size_t first, size_t last) {
  mergeByCost<LzKind>(blocks, first, last);
}

void mergeAudioBlocksByCost(std::vector<Block>& blocks, size_t first, size_t last) {
  mergeByCost<AudioKind>(blocks, first, last);
}
