// Hash-chain match finder over one piece of the compressor's input and the history
// before it: as much of the earlier bytes of the stream as the 1 MiB window reaches.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

enum : uint32_t {
  MatchWindow = 1u << 20,
  // The farthest distance a match may use: every byte up to here is still in the
  // decoder's window.
  MaxMatchDistance = MatchWindow - 1,
  MaxMatchLength = 257,
  NoPosition = 0xFFFFFFFFu
};

struct MatchCandidate {
  uint32_t length;
  uint32_t distance;
};

// How many of the first `limit` bytes at a and b agree, eight at a time.
inline uint32_t commonBytes(const uint8_t* a, const uint8_t* b, uint32_t limit) {
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

struct MatchFinder {
  std::vector<uint8_t> data;       // history and the piece; data[0] is position 0
  std::vector<uint32_t> head;      // 4-byte hash -> latest position
  std::vector<uint32_t> chain;     // position (mod window) -> previous one with its hash
  std::vector<uint32_t> head3;     // 3-byte hash -> latest position
  std::vector<uint32_t> pairHead;  // 2-byte value -> latest position
  uint32_t inserted = 0;           // positions below this are in the chains
  uint32_t historyStart = 0;       // matches never reach before this position
  uint32_t nearFrom = 0;           // positions below this are kept out of the near tables
  uint32_t maxChain = 96;          // chain links followed per search
  uint32_t goodLength = 32;        // from this length on, a quarter of them
  uint32_t niceLength = 128;       // a match this long ends the search

  MatchFinder();
  // Takes bytes as positions 0..count-1 and forgets everything before; positions below
  // historyFrom are never matched (the start of a non-solid file). Searches start at
  // firstSearch or later: the short-distance tables skip what lies out of their reach.
  void load(const uint8_t* bytes, size_t count, uint32_t historyFrom, uint32_t firstSearch = 0);
  uint32_t end() const { return (uint32_t)data.size(); }
  // Puts the positions below pos (where 3 bytes are available) into the chains.
  void insertUpTo(uint32_t pos);
  // Matches at pos of length >= 3, each longer than the one before and nearest first,
  // at most maxCount of them; lengths are capped at limit. Returns how many were found.
  int findMatches(uint32_t pos, uint32_t limit, MatchCandidate* out, int maxCount);
  // Nearest earlier position of the 2 bytes at pos within distance 256, or 0.
  uint32_t findPair(uint32_t pos);
  // How many bytes at pos equal those `distance` back, up to limit (0 when the distance
  // reaches before the history, or when fewer than 2 bytes agree).
  uint32_t matchLength(uint32_t pos, uint32_t distance, uint32_t limit) const {
    if (distance == 0 || distance > pos || pos - distance < historyStart || distance > MaxMatchDistance)
      return 0;
    return reachableMatchLength(pos, distance, limit);
  }
  // The same for a distance known to lie within the history, such as one of an earlier
  // match of the same pass; limit must not pass the end.
  uint32_t reachableMatchLength(uint32_t pos, uint32_t distance, uint32_t limit) const {
    const uint8_t* a = data.data() + pos;
    if (limit < 2 || a[0] != a[-(ptrdiff_t)distance] || a[1] != a[1 - (ptrdiff_t)distance]) return 0;
    return commonBytes(a, a - distance, limit);
  }
};
