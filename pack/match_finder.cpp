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

inline uint32_t pairKey(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }

// How many of the first `limit` bytes at a and b agree, eight at a time.
inline uint32_t commonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  while (n + 8 <= limit) {
    uint64_t x, y;
    memcpy(&x, a + n, 8);
    memcpy(&y, b + n, 8);
    if (x != y) return n + (uint32_t)(__builtin_ctzll(x ^ y) >> 3);
    n += 8;
  }
#endif
  while (n < limit && a[n] == b[n]) n++;
  return n;
}

}  // namespace

MatchFinder::MatchFinder()
    : head(HashSize, NoPosition),
      chain(MatchWindow, NoPosition),
      head3(1u << Hash3Bits, NoPosition),
      pairHead(65536, NoPosition) {}

void MatchFinder::load(const uint8_t* bytes, size_t count, uint32_t historyFrom) {
  data.assign(bytes, bytes + count);
  // Chain slots need no clearing: a slot is read only for a position already inserted,
  // and a later position that took the slot over is recognised by its order.
  std::fill(head.begin(), head.end(), NoPosition);
  std::fill(head3.begin(), head3.end(), NoPosition);
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
    if (inserted + 2 < size) head3[hash3(d + inserted)] = inserted;
    if (inserted + 3 >= size) break;  // inserted once the next bytes arrive
    uint32_t h = hash4(d + inserted);
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
  return commonLength(a, a - distance, limit);
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
  uint32_t near = head3[hash3(here)];
  if (near != NoPosition && near < pos && near >= historyStart && pos - near < ThreeByteReach) {
    uint32_t n = commonLength(here, d + near, limit);
    if (n >= 3) {
      best = n;
      out[found++] = {n, pos - near};
      if (n >= limit || n >= niceLength) return found;
    }
  }
  if (limit < 4) return found;
  uint32_t candidate = head[hash4(here)];
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
      uint32_t n = commonLength(here, there, limit);
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
