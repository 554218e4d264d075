#include "pack/match_finder.h"

#include <string.h>

#include <algorithm>

namespace {

enum : uint32_t {
  HashBits = 18,
  HashSize = 1u << HashBits,
  Hash3Bits = 16,
  ChainMask = MatchWindow - 1,
  // A long match from this distance on is one byte longer: three bytes pay only nearer.
  ThreeByteReach = 0x2000
};

inline uint32_t hash3(const uint8_t* p) {
  uint32_t v = (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
  return (v * 2654435761u) >> (32 - Hash3Bits);
}

inline uint32_t hash4(const uint8_t* p) {
  uint32_t v = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
  return (v * 2654435761u) >> (32 - HashBits);
}

inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

inline uint32_t pairKey(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }

}  // namespace

MatchFinder::MatchFinder()
    : head(HashSize, NoPosition),
      chain(MatchWindow, NoPosition),
      head3(1u << Hash3Bits, NoPosition),
      pairHead(65536, NoPosition) {}

void MatchFinder::load(const uint8_t* bytes, size_t count, uint32_t historyFrom, uint32_t firstSearch) {
  data.assign(bytes, bytes + count);
  // Chain slots need no clearing: a slot is read only for a position already inserted,
  // and a later position that took the slot over is recognised by its order.
  std::fill(head.begin(), head.end(), NoPosition);
  std::fill(head3.begin(), head3.end(), NoPosition);
  std::fill(pairHead.begin(), pairHead.end(), NoPosition);
  historyStart = historyFrom;
  inserted = historyFrom;
  nearFrom = firstSearch > ThreeByteReach ? firstSearch - ThreeByteReach : 0;
}

void MatchFinder::insertUpTo(uint32_t pos) {
  uint32_t size = end();
  if (pos > size) pos = size;
  const uint8_t* d = data.data();
  // The history far before the first search only feeds the long chains: the pair and
  // three-byte tables are never used that far back.
  uint32_t farEnd = std::min(std::min(pos, nearFrom), size >= 3 ? size - 3 : 0);
  for (; inserted < farEnd; inserted++) {
    uint32_t h = hash4(d + inserted);
    chain[inserted & ChainMask] = head[h];
    head[h] = inserted;
  }
  for (; inserted < pos; inserted++) {
    if (inserted + 1 < size) pairHead[pairKey(d + inserted)] = inserted;
    if (inserted + 2 < size) head3[hash3(d + inserted)] = inserted;
    if (inserted + 3 >= size) break;  // inserted once the next bytes arrive
    uint32_t h = hash4(d + inserted);
    chain[inserted & ChainMask] = head[h];
    head[h] = inserted;
  }
}

int MatchFinder::findMatches(uint32_t pos, uint32_t limit, MatchCandidate* out, int maxCount) {
  insertUpTo(pos);
  // The walk waits mostly on memory: the chain heads a few positions on are fetched
  // now, and the first links of the ones nearer.
  if (pos + 20 <= end()) {
    const uint8_t* d = data.data();
    __builtin_prefetch(&head[hash4(d + pos + 16)]);
    __builtin_prefetch(&head3[hash3(d + pos + 16)]);
    uint32_t soon = head[hash4(d + pos + 8)];
    if (soon < pos) {
      __builtin_prefetch(&chain[soon & ChainMask]);
      __builtin_prefetch(d + soon);
    }
  }
  uint32_t room = end() - pos;
  if (limit > room) limit = room;
  if (limit < 3) return 0;
  const uint8_t* d = data.data();
  const uint8_t* here = d + pos;
  uint32_t best = 2;
  int found = 0;
  uint32_t near = head3[hash3(here)];
  if (near != NoPosition && near < pos && near >= historyStart && pos - near < ThreeByteReach) {
    uint32_t n = commonBytes(here, d + near, limit);
    if (n >= 3) {
      best = n;
      out[found++] = {n, pos - near};
      if (n >= limit || n >= niceLength) return found;
    }
  }
  if (limit < 4) return found;
  uint32_t probe = best >= 3 ? best - 3 : 0;
  uint32_t probeWord = load32(here + probe);
  uint32_t probeMask = best >= 3 ? 0xFFFFFFFFu : 0x00FFFFFFu;
  uint32_t candidate = head[hash4(here)];
  // Every link leads further back; one that does not is a slot a later position took
  // over, and ends the walk like the edge of the window does. Before the first link
  // that lies behind pos, links to positions of a later pass (searched again after
  // them) are followed without counting.
  uint32_t lowest = std::max(historyStart, pos > MaxMatchDistance ? pos - MaxMatchDistance : 0);
  uint32_t bound = pos, aheadBound = NoPosition, ahead = 16384;
  for (uint32_t links = maxChain; links > 0;) {
    if (candidate >= bound) {
      if (candidate >= aheadBound || ahead-- == 0) break;
      aheadBound = candidate;
      candidate = chain[candidate & ChainMask];
      continue;
    }
    if (candidate < lowest) break;
    links--;
    aheadBound = 0;
    const uint8_t* there = d + candidate;
    // Only a candidate that agrees up to byte `best` can be longer: the four bytes
    // ending there (the first three while best is 2) are compared at once.
    if (((load32(there + probe) ^ probeWord) & probeMask) == 0) {
      uint32_t n = commonBytes(here, there, limit);
      if (n > best) {
        best = n;
        out[found < maxCount ? found++ : maxCount - 1] = {n, pos - candidate};
        if (n >= limit || n >= niceLength) break;
        probe = best - 3;  // byte `best` is before the limit here
        probeWord = load32(here + probe);
        probeMask = 0xFFFFFFFFu;
        // A good match makes a long search less likely to pay off.
        if (n >= goodLength && links > maxChain / 4) links = maxChain / 4;
      }
    }
    bound = candidate;
    candidate = chain[candidate & ChainMask];
  }
  return found;
}

uint32_t MatchFinder::findPair(uint32_t pos) {
  insertUpTo(pos);
  if (pos + 2 > end()) return 0;
  uint32_t candidate = pairHead[pairKey(data.data() + pos)];
  if (candidate == NoPosition || candidate >= pos || candidate < historyStart) return 0;
  uint32_t distance = pos - candidate;
  return distance <= 256 ? distance : 0;
}
