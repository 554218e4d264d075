#include "pack/match_finder.h"

#include <string.h>

#include <algorithm>

namespace {

enum : uint32_t { HashBits = 17, HashSize = 1u << HashBits, ChainMask = MatchWindow - 1 };

inline uint32_t hash3(const uint8_t* p) {
  uint32_t v = (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
  return (v * 2654435761u) >> (32 - HashBits);
}

inline uint32_t pairKey(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }

}  // namespace

MatchFinder::MatchFinder()
    : head(HashSize, NoPosition), chain(MatchWindow, NoPosition), pairHead(65536, NoPosition) {}

void MatchFinder::load(const uint8_t* bytes, size_t count, uint32_t historyFrom) {
  data.assign(bytes, bytes + count);
  // Chain slots need no clearing: a slot is read only for a position already inserted,
  // and a later position that took the slot over is recognised by its order.
  std::fill(head.begin(), head.end(), NoPosition);
  std::fill(pairHead.begin(), pairHead.end(), NoPosition);
  historyStart = historyFrom;
  inserted = historyFrom;
}

void MatchFinder::insertUpTo(uint32_t pos) {
  uint32_t size = end();
  if (pos > size) pos = size;
  const uint8_t* d = data.data();
  for (; inserted < pos; inserted++) {
    if (inserted + 1 < size) pairHead[pairKey(d + inserted)] = inserted;
    if (inserted + 2 >= size) break;  // inserted once the next bytes arrive
    uint32_t h = hash3(d + inserted);
    chain[inserted & ChainMask] = head[h];
    head[h] = inserted;
  }
}

uint32_t MatchFinder::matchLength(uint32_t pos, uint32_t distance, uint32_t limit) const {
  if (distance == 0 || distance > pos || pos - distance < historyStart || distance > MaxMatchDistance)
    return 0;
  uint32_t room = end() - pos;
  if (limit > room) limit = room;
  const uint8_t* a = data.data() + pos;
  const uint8_t* b = a - distance;
  uint32_t n = 0;
  while (n < limit && a[n] == b[n]) n++;
  return n;
}

int MatchFinder::findMatches(uint32_t pos, uint32_t limit, MatchCandidate* out, int maxCount) {
  insertUpTo(pos);
  uint32_t room = end() - pos;
  if (limit > room) limit = room;
  if (limit < 3) return 0;
  const uint8_t* d = data.data();
  const uint8_t* here = d + pos;
  uint32_t best = 2;
  int found = 0;
  uint32_t candidate = head[hash3(here)];
  uint32_t links = maxChain;
  uint32_t ahead = 16384;  // links to positions of a later pass, not counted above
  uint32_t previous = NoPosition;
  while (candidate != NoPosition && links > 0) {
    if (candidate >= pos) {
      // Left behind by an earlier pass over the same bytes: not history yet.
      if ((previous != NoPosition && candidate >= previous) || ahead-- == 0) break;
      previous = candidate;
      candidate = chain[candidate & ChainMask];
      continue;
    }
    links--;
    if (previous != NoPosition && candidate >= previous) break;  // stale slot
    uint32_t distance = pos - candidate;
    if (distance > MaxMatchDistance || candidate < historyStart) break;
    const uint8_t* there = d + candidate;
    if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
      uint32_t n = 0;
      while (n < limit && there[n] == here[n]) n++;
      if (n > best) {
        best = n;
        out[found < maxCount ? found++ : maxCount - 1] = {n, distance};
        if (n >= limit || n >= niceLength) break;
        // A good match makes a long search less likely to pay off.
        if (n >= goodLength && links > maxChain / 4) links = maxChain / 4;
      }
    }
    previous = candidate;
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
