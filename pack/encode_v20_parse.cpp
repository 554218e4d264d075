#include "pack/encode_v20_parse.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include "pack/encode_v20_merge.h"
#include "pack/huffman_encoder.h"

namespace {

enum : uint32_t { CostScale = 8 };  // prices are kept in eighths of a bit

// Estimated price of each symbol with its extra bits, learnt from the last block.
struct Costs {
  uint32_t main[MainSymbols];  // the symbol alone
  uint32_t distance[DistanceSymbols];
  uint32_t repeatLength[RepeatLengthSymbols];
  uint32_t matchLength[LengthSlots];       // match symbol of the slot
  uint32_t shortMatch[ShortDistanceSlots];  // short match symbol of the slot
};

struct History {
  uint32_t recent[4];
  uint32_t recentIndex, lastDistance, lastLength;
};

struct ParseState {
  History h;
  Costs costs;
};

struct Choice {
  uint32_t length = 0;  // 0: a literal
  uint32_t distance = 0;
  int kind = 0;  // 1 repeat last, 2 history, 3 short, 4 long
  int param = 0;
  int32_t score = 0;  // bits saved against literals
};

struct SlotTables {
  uint8_t lengthSlotOf[256];
  SlotTables() {
    for (uint32_t v = 0; v < 256; v++) {
      int slot = 0;
      while (slot + 1 < LengthSlots && lengthBase[slot + 1] <= v) slot++;
      lengthSlotOf[v] = (uint8_t)slot;
    }
  }
};
const SlotTables slotTables;

inline int lengthSlotOf(uint32_t v) { return slotTables.lengthSlotOf[v]; }

// Below 2^18 two slots per power of two, above one per 65536.
inline int distanceSlotOf(uint32_t d1) {
  if (d1 < 4) return (int)d1;
  if (d1 >= 0x40000) return 36 + (int)((d1 - 0x40000) >> 16);
  int top = 31 - __builtin_clz(d1);
  return 2 * top + (int)((d1 >> (top - 1)) & 1);
}

inline int shortSlotOf(uint32_t d1) {
  int slot = 0;
  while (slot + 1 < ShortDistanceSlots && shortDistanceBase[slot + 1] <= d1) slot++;
  return slot;
}

inline uint32_t longBonus(uint32_t d) { return (d >= 0x2000) + (d >= 0x40000); }
inline uint32_t historyBonus(uint32_t d) { return longBonus(d) + (d >= 0x101); }

// Adds the extra bits to the slot symbols' prices.
void finishCosts(Costs& c) {
  for (int s = 0; s < DistanceSymbols; s++) c.distance[s] += distanceExtraBits[s] * CostScale;
  for (int s = 0; s < RepeatLengthSymbols; s++) c.repeatLength[s] += lengthExtraBits[s] * CostScale;
  for (int s = 0; s < LengthSlots; s++) c.matchLength[s] = c.main[SymMatch + s] + lengthExtraBits[s] * CostScale;
  for (int s = 0; s < ShortDistanceSlots; s++)
    c.shortMatch[s] = c.main[SymShort + s] + shortDistanceExtraBits[s] * CostScale;
}

void defaultCosts(Costs& c) {
  for (int s = 0; s < MainSymbols; s++) c.main[s] = (s < 256 ? 8 : 7) * CostScale;
  c.main[SymRepeatLast] = 5 * CostScale;
  c.main[SymHistory] = 5 * CostScale;
  c.main[SymTables] = 14 * CostScale;
  for (int s = 0; s < DistanceSymbols; s++) c.distance[s] = 5 * CostScale;
  for (int s = 0; s < RepeatLengthSymbols; s++) c.repeatLength[s] = (3 + s / 6) * CostScale;
}

void costsFromLengths(Costs& c, const uint8_t* lz) {
  for (int s = 0; s < MainSymbols; s++) c.main[s] = (lz[s] ? lz[s] : 12) * CostScale;
  for (int s = 0; s < DistanceSymbols; s++) c.distance[s] = (lz[MainSymbols + s] ? lz[MainSymbols + s] : 9) * CostScale;
  for (int s = 0; s < RepeatLengthSymbols; s++) {
    uint8_t l = lz[MainSymbols + DistanceSymbols + s];
    c.repeatLength[s] = (l ? l : 9) * CostScale;
  }
  finishCosts(c);
}

// Literal costs from the byte frequencies of a sample, for a first block that has no
// tables before it to learn from.
void seedLiteralCosts(Costs& c, const uint8_t* data, size_t size) {
  uint32_t counts[256] = {0};
  for (size_t i = 0; i < size; i++) counts[data[i]]++;
  for (int b = 0; b < 256; b++) {
    double bits = counts[b] ? -log2((double)counts[b] / (double)size) : 12;
    c.main[b] = (uint32_t)std::min(15.0, std::max(1.0, bits + 0.5)) * CostScale;
  }
  finishCosts(c);
}

void pushDistance(History& h, uint32_t distance, uint32_t length) {
  h.recent[h.recentIndex & 3] = distance;
  h.recentIndex++;
  h.lastDistance = distance;
  h.lastLength = length;
}

// Whether the k-th most recent distance (1..4) is worth trying: set, and not already
// tried as a more recent one.
bool freshHistoryDistance(const History& h, int k) {
  uint32_t d = h.recent[(h.recentIndex - k) & 3];
  if (d == 0) return false;
  for (int j = 1; j < k; j++)
    if (h.recent[(h.recentIndex - j) & 3] == d) return false;
  return true;
}

// The last match once more at pos: its length, or 0 when the bytes differ.
uint32_t repeatMatch(const MatchFinder& finder, const History& h, uint32_t pos, uint32_t limit) {
  if (h.lastLength < 2 || h.lastLength > limit || h.lastDistance == 0 ||
      finder.reachableMatchLength(pos, h.lastDistance, h.lastLength) != h.lastLength)
    return 0;
  return h.lastLength;
}

// The match at pos with the k-th recent distance (and that distance and its length
// bonus), or 0 when it is not worth a history symbol.
uint32_t historyMatch(const MatchFinder& finder, const History& h, int k, uint32_t pos, uint32_t limit,
                      uint32_t* distance, uint32_t* bonus) {
  if (!freshHistoryDistance(h, k)) return 0;
  *distance = h.recent[(h.recentIndex - k) & 3];
  *bonus = historyBonus(*distance);
  uint32_t n = finder.reachableMatchLength(pos, *distance, std::min(limit, 257 + *bonus));
  return n < 2 + *bonus ? 0 : n;
}

void addLiteral(Block& b, uint8_t byte) {
  b.tokens.push_back(Token{byte, 0, 0, 0});
  b.counts.main[byte]++;
}

void addMatch(History& h, Block& b, const Choice& c) {
  Token t = {0, 0, 0, 0};
  uint32_t d = c.distance, n = c.length;
  switch (c.kind) {
    case 1:
      t.symbol = SymRepeatLast;
      break;
    case 2: {
      uint32_t v = n - 2 - historyBonus(d);
      int slot = lengthSlotOf(v);
      t.symbol = (uint16_t)(SymHistory + c.param - 1);
      t.slot = (uint8_t)slot;
      t.extra1 = (uint8_t)(v - lengthBase[slot]);
      b.counts.repeat[slot]++;
      break;
    }
    case 3:
      t.symbol = (uint16_t)(SymShort + c.param);
      t.extra1 = (uint8_t)(d - 1 - shortDistanceBase[c.param]);
      break;
    default: {
      uint32_t v = n - 3 - longBonus(d);
      int lslot = lengthSlotOf(v);
      int dslot = distanceSlotOf(d - 1);
      t.symbol = (uint16_t)(SymMatch + lslot);
      t.extra1 = (uint8_t)(v - lengthBase[lslot]);
      t.slot = (uint8_t)dslot;
      t.extra2 = d - 1 - distanceBase[dslot];
      b.counts.distance[dslot]++;
      break;
    }
  }
  b.counts.main[t.symbol]++;
  b.tokens.push_back(t);
  pushDistance(h, d, n);
}

// The cheapest single step at pos, for lazy matching.
Choice bestChoice(MatchFinder& finder, const ParseState& s, uint32_t pos, uint32_t stop,
                  uint32_t takeLength) {
  Choice best;
  uint32_t limit = std::min<uint32_t>(MaxMatchLength, stop - pos);
  if (limit < 2) return best;
  const uint8_t* here = finder.data.data() + pos;
  int32_t literalSum[MaxMatchLength + 1];
  uint32_t summed = 0;
  literalSum[0] = 0;
  auto consider = [&](uint32_t length, uint32_t cost, int kind, uint32_t distance, int param) {
    while (summed < length) {
      literalSum[summed + 1] = literalSum[summed] + (int32_t)s.costs.main[here[summed]];
      summed++;
    }
    int32_t score = literalSum[length] - (int32_t)cost;
    if (score > best.score || (score == best.score && score > 0 && length > best.length)) {
      best.length = length;
      best.distance = distance;
      best.kind = kind;
      best.param = param;
      best.score = score;
    }
  };
  const History& h = s.h;
  if (uint32_t n = repeatMatch(finder, h, pos, limit)) consider(n, s.costs.main[SymRepeatLast], 1, h.lastDistance, 0);
  for (int k = 1; k <= 4; k++) {
    uint32_t d, bonus;
    uint32_t n = historyMatch(finder, h, k, pos, limit, &d, &bonus);
    if (n == 0) continue;
    int slot = lengthSlotOf(n - 2 - bonus);
    consider(n, s.costs.main[SymHistory + k - 1] + s.costs.repeatLength[slot], 2, d, k);
    if (n >= takeLength) return best;
  }
  MatchCandidate found[8];
  int count = finder.findMatches(pos, limit, found, 8);
  for (int i = 0; i < count; i++) {
    uint32_t d = found[i].distance, n = found[i].length;
    uint32_t bonus = longBonus(d);
    if (n < 3 + bonus) continue;
    int lslot = lengthSlotOf(n - 3 - bonus);
    int dslot = distanceSlotOf(d - 1);
    consider(n, s.costs.matchLength[lslot] + s.costs.distance[dslot], 4, d, 0);
  }
  uint32_t pair = finder.findPair(pos);
  if (pair != 0) {
    int slot = shortSlotOf(pair - 1);
    consider(2, s.costs.shortMatch[slot], 3, pair, slot);
  }
  return best;
}

// Lazy matching: a match is taken unless the next position offers a better one.
void parseLazyBlock(MatchFinder& finder, ParseState& s, Block& b, uint32_t& pos, uint32_t stop,
                    const LzParseOptions& o) {
  const uint8_t* data = finder.data.data();
  Choice cur = bestChoice(finder, s, pos, stop, o.lazyLength);
  // A short tail joins this block rather than paying for tables of its own.
  uint32_t tail = o.blockSymbols / 2;
  while (pos < stop && (b.tokens.size() < o.blockSymbols || stop - pos < tail)) {
    if (cur.length == 0) {
      addLiteral(b, data[pos]);
      pos++;
      if (pos < stop) cur = bestChoice(finder, s, pos, stop, o.lazyLength);
      continue;
    }
    if (cur.length < o.lazyLength && pos + 1 < stop) {
      Choice next = bestChoice(finder, s, pos + 1, stop, o.lazyLength);
      if (next.score > cur.score) {
        addLiteral(b, data[pos]);
        pos++;
        cur = next;
        continue;
      }
    }
    addMatch(s.h, b, cur);
    pos += cur.length;
    if (pos < stop) cur = bestChoice(finder, s, pos, stop, o.lazyLength);
  }
}

}  // namespace

// A step of kind 5 is three symbols: a match of `first` bytes (param 0: a long one,
// else with the param-th recent distance), a literal, and the same distance again as
// the most recent one for the rest.
enum { KindMatchLiteralRepeat = 5, MaxArrivals = 4 };

// One way the path arrives at a position.
struct Arrival {
  uint32_t price;
  uint32_t length;  // of the step that arrives here; 1: a literal
  uint32_t distance;
  uint8_t kind, param;
  uint8_t from;    // the arrival at the step's start it continues
  uint16_t first;  // kind 5: the length of its first match
  // The two most recent distances it leaves (kept only with more than one arrival):
  // arrivals that leave the same are one, the older distances are seldom used.
  uint32_t recent1, recent2;
  History h;  // match history it leaves, set when the parse reaches its position
};

PieceParser::PieceParser() = default;
PieceParser::~PieceParser() = default;

namespace {

// The history an arrival leaves, from that of the arrival its step starts from.
History historyAfter(History h, const Arrival& a) {
  if (a.kind == KindMatchLiteralRepeat) {
    pushDistance(h, a.distance, a.first);
    pushDistance(h, a.distance, a.length - a.first - 1);
  } else if (a.kind != 0) {
    pushDistance(h, a.distance, a.length);
  }
  return h;
}

// Whether a cheaper arrival at the node than the ar-th takes the same history step (k:
// the k-th recent distance, 0: the last match again) to the same recent distances:
// from the ar-th it could never win.
bool takenBefore(const Arrival* node, int ar, int k) {
  const History& h = node[ar].h;
  for (int j = 0; j < ar; j++) {
    const History& g = node[j].h;
    if (g.lastDistance != h.lastDistance) continue;
    if (k == 0 ? g.lastLength == h.lastLength
               : freshHistoryDistance(g, k) && g.recent[(g.recentIndex - k) & 3] == h.recent[(h.recentIndex - k) & 3])
      return true;
  }
  return false;
}

// Cheapest path through chunks of positions under the current symbol costs: every
// literal, repeat, history, short and long match is weighed at every position, with
// the match history the path so far leaves (so history matches are priced right). A
// match of takeLength or more is taken as it stands and ends the chunk. A chunk ends
// where the matches that start before its nominal end reach, so no match is cut there.
// With more than one arrival per position, dearer ones that leave other recent
// distances are carried on as well: their history matches may pay for the difference
// later, and the path is traced back through the arrival each step came from.
// Kept: the arrivals room is made for at each position, 1 or MaxArrivals; with one the
// loops over them fold away.
template <int Kept>
void parseOptimalBlock(PieceParser& parser, ParseState& s, Block& b, uint32_t& pos, uint32_t stop,
                       const LzParseOptions& o) {
  MatchFinder& finder = parser.finder;
  const uint8_t* data = finder.data.data();
  const uint32_t chunk = 4096;
  const uint32_t infinite = 0xFFFFFFFFu;
  const int kept = Kept == 1 ? 1 : (int)std::max(1u, std::min<uint32_t>(Kept, o.arrivals));
  uint32_t tail = o.blockSymbols / 2;
  // The arrivals at position i, cheapest first.
  parser.arrivals.resize((chunk + MaxMatchLength + 1) * Kept);  // a step never passes room
  Arrival* const arrivals = parser.arrivals.data();
  auto nodeAt = [arrivals](uint32_t i) { return arrivals + (size_t)i * Kept; };
  std::vector<std::pair<uint32_t, int>> steps;
  while (pos < stop && (b.tokens.size() < o.blockSymbols || stop - pos < tail)) {
    uint32_t n = std::min(stop - pos, chunk);
    // Matches from before n may run on to room; from n on the chunk ends at horizon,
    // the farthest node reached by then.
    uint32_t room = std::min(stop - pos, chunk + MaxMatchLength);
    uint32_t horizon = room, reached = 0;
    // Nodes are cleared as the steps first reach them: a long match often ends the
    // chunk early.
    uint32_t cleared = 0;
    nodeAt(0)[0].price = 0;
    nodeAt(0)[0].h = s.h;
    nodeAt(0)[0].recent1 = s.h.recent[(s.h.recentIndex - 1) & 3];
    nodeAt(0)[0].recent2 = s.h.recent[(s.h.recentIndex - 2) & 3];
    for (int ar = 1; ar < kept; ar++) nodeAt(0)[ar].price = infinite;
    uint32_t end = 0;
    int endArrival = 0;
    Choice forced;
    uint32_t searchFrom = 0;  // positions inside a long match found earlier are not searched
    for (uint32_t i = 0;; i++) {
      if (i == n) horizon = reached;
      if (i >= horizon) {
        end = horizon;
        break;
      }
      Arrival* at = nodeAt(i);
      // The history an arrival leaves is worked out once the arrivals here are final.
      if (i > 0)
        for (int ar = 0; ar < kept && at[ar].price != infinite; ar++) at[ar].h = historyAfter(nodeAt(i - at[ar].length)[at[ar].from].h, at[ar]);
      uint32_t p = pos + i;
      for (uint32_t reach = std::min(horizon, i + 2 * MaxMatchLength + 1); cleared < reach;) {
        cleared++;
        for (int ar = 0; ar < kept; ar++) nodeAt(cleared)[ar].price = infinite;
      }
      int ar = 0;  // the arrival whose steps are relaxed
      auto relax = [&](uint32_t length, uint32_t cost, int kind, uint32_t distance, int param, uint32_t first = 0) {
        Arrival* to = nodeAt(i + length);
        uint32_t price = at[ar].price + cost;
        if (price >= to[kept - 1].price) return false;
        Arrival c;
        c.price = price;
        c.length = length;
        c.distance = distance;
        c.kind = (uint8_t)kind;
        c.param = (uint8_t)param;
        c.from = (uint8_t)ar;
        c.first = (uint16_t)first;
        if (kept == 1) {
          to[0] = c;
        } else {
          const Arrival& start = at[ar];
          c.recent1 = kind == 0 ? start.recent1 : distance;
          c.recent2 = kind == 0 ? start.recent2 : kind == KindMatchLiteralRepeat ? distance : start.recent1;
          int slot = 0, gone = kept - 1;
          while (to[slot].price <= price) slot++;
          for (int j = 0; j < kept && to[j].price != infinite; j++) {
            if (to[j].recent1 != c.recent1 || to[j].recent2 != c.recent2) continue;
            if (j < slot) return false;
            gone = j;
            break;
          }
          for (int j = gone; j > slot; j--) to[j] = to[j - 1];
          to[slot] = c;
        }
        reached = std::max(reached, i + length);
        return true;
      };
      uint32_t limit = std::min<uint32_t>(MaxMatchLength, horizon - i);
      Choice longest;
      int longestArrival = 0;
      auto note = [&](uint32_t length, int kind, uint32_t distance, int param) {
        if (length > longest.length) {
          longest = Choice{length, distance, kind, param, 0};
          longestArrival = ar;
        }
      };
      // A match (param 0: long, else history k), the byte that ends it, and the same
      // distance on: often cheaper than the arrival that wins at the byte after it.
      auto repeatAfter = [&](uint32_t first, uint32_t firstCost, uint32_t d, int param) {
        uint32_t after = i + first + 1;
        if (!o.matchLiteralRepeat || first == limit || after + 2 > horizon) return;
        uint32_t bonus = historyBonus(d);
        uint32_t rest = finder.reachableMatchLength(pos + after, d, std::min(257 + bonus, horizon - after));
        if (rest < 2 + bonus) return;
        uint32_t cost = firstCost + s.costs.main[data[p + first]] + s.costs.main[SymHistory] +
                        s.costs.repeatLength[lengthSlotOf(rest - 2 - bonus)];
        relax(first + 1 + rest, cost, KindMatchLiteralRepeat, d, param, first);
      };
      // Steps that depend on the arrival's history.
      for (ar = 0; ar < kept && at[ar].price != infinite; ar++) {
        relax(1, s.costs.main[data[p]], 0, 0, 0);
        if (limit < 2) continue;
        const History h = at[ar].h;
        if (uint32_t n = Kept > 1 && takenBefore(at, ar, 0) ? 0 : repeatMatch(finder, h, p, limit)) {
          relax(n, s.costs.main[SymRepeatLast], 1, h.lastDistance, 0);
          note(n, 1, h.lastDistance, 0);
        }
        for (int k = 1; k <= 4; k++) {
          uint32_t d, bonus;
          uint32_t most = Kept > 1 && takenBefore(at, ar, k) ? 0 : historyMatch(finder, h, k, p, limit, &d, &bonus);
          if (most == 0) continue;
          note(most, 2, d, k);
          uint32_t symbolCost = s.costs.main[SymHistory + k - 1];
          for (uint32_t len = 2 + bonus; len <= most; len++) {
            int slot = lengthSlotOf(len - 2 - bonus);
            relax(len, symbolCost + s.costs.repeatLength[slot], 2, d, k);
          }
          repeatAfter(most, symbolCost + s.costs.repeatLength[lengthSlotOf(most - 2 - bonus)], d, k);
        }
      }
      if (limit < 2) continue;
      if (longest.length < o.takeLength && i >= searchFrom) {
        // From a dearer arrival these arrive dearer with the same most recent distance,
        // and next to never pay: only the cheapest takes them.
        ar = 0;
        MatchCandidate found[8];
        int count = finder.findMatches(p, limit, found, 8);
        uint32_t covered = 2;
        for (int c = 0; c < count; c++) {
          uint32_t d = found[c].distance, most = found[c].length;
          uint32_t bonus = longBonus(d);
          int dslot = distanceSlotOf(d - 1);
          uint32_t distanceCost = s.costs.distance[dslot];
          for (uint32_t len = std::max(covered + 1, 3 + bonus); len <= most; len++) {
            int lslot = lengthSlotOf(len - 3 - bonus);
            relax(len, s.costs.matchLength[lslot] + distanceCost, 4, d, 0);
          }
          if (most >= 3 + bonus) note(most, 4, d, 0);
          covered = std::max(covered, most);
          if (most >= 3 + bonus)
            repeatAfter(most, s.costs.matchLength[lengthSlotOf(most - 3 - bonus)] + distanceCost, d, 0);
        }
        if (o.skipLength && covered >= o.skipLength) searchFrom = i + covered - o.skipLength / 2;
        uint32_t pair = finder.findPair(p);
        if (pair != 0) {
          int slot = shortSlotOf(pair - 1);
          relax(2, s.costs.shortMatch[slot], 3, pair, slot);
        }
      }
      if (longest.length >= o.takeLength) {
        end = i;
        endArrival = longestArrival;
        forced = longest;
        break;
      }
    }
    // Walk back from the end, then replay the steps forward.
    steps.clear();
    for (uint32_t j = end; j > 0;) {
      const Arrival& step = nodeAt(j)[endArrival];
      steps.emplace_back(j, endArrival);
      endArrival = step.from;
      j -= step.length;
    }
    for (size_t k = steps.size(); k-- > 0;) {
      const Arrival& step = nodeAt(steps[k].first)[steps[k].second];
      uint32_t from = steps[k].first - step.length;
      if (step.kind == 0) {
        addLiteral(b, data[pos + from]);
      } else if (step.kind == KindMatchLiteralRepeat) {
        addMatch(s.h, b, Choice{step.first, step.distance, step.param ? 2 : 4, step.param, 0});
        addLiteral(b, data[pos + from + step.first]);
        addMatch(s.h, b, Choice{step.length - step.first - 1, step.distance, 2, 1, 0});
      } else {
        Choice c;
        c.length = step.length;
        c.distance = step.distance;
        c.kind = step.kind;
        c.param = step.param;
        addMatch(s.h, b, c);
      }
    }
    pos += end;
    if (forced.length > 0) {
      addMatch(s.h, b, forced);
      pos += forced.length;
    }
  }
}

}  // namespace

namespace {

// Where a block of an earlier pass ended and the code lengths its symbols gave.
struct GuideBlock {
  uint32_t stop;
  uint8_t lengths[LzTableSize];
};

void appendGuide(std::vector<GuideBlock>* guide, uint32_t stop, const uint8_t* lengths) {
  guide->emplace_back();
  guide->back().stop = stop;
  memcpy(guide->back().lengths, lengths, LzTableSize);
}

// One pass over the piece, into blocks or, for a later pass, into what its blocks
// learnt. Without a guide each block is priced with the tables of the block before;
// with one, with those the earlier pass found at the same place.
void parsePass(PieceParser& parser, const uint8_t* bytes, uint32_t from, uint32_t start, uint32_t stop,
               const std::vector<uint32_t>& fileStarts, const std::vector<uint32_t>& historyRestarts,
               const LzParseOptions& o, const std::vector<GuideBlock>& guide, std::vector<Block>* blocks,
               std::vector<GuideBlock>* learnt) {
  MatchFinder& finder = parser.finder;
  finder.maxChain = o.maxChain;
  finder.niceLength = o.niceLength;
  finder.goodLength = o.goodLength;
  finder.load(bytes + from, stop - from, 0, start - from);
  ParseState s;
  memset(&s.h, 0, sizeof s.h);
  defaultCosts(s.costs);
  seedLiteralCosts(s.costs, bytes + start, std::min<uint32_t>(stop - start, 65536));
  size_t nextFile = 0, nextRestart = 0, nextGuide = 0;
  uint32_t pos = start;
  // A pass that only learns keeps its blocks while it may still join them.
  std::vector<Block> own;
  std::vector<Block>& out = blocks ? *blocks : own;
  size_t firstNew = out.size();
  Block scratch;
  while (pos < stop) {
    while (nextFile < fileStarts.size() && fileStarts[nextFile] <= pos) nextFile++;
    // The file before may be coded with audio blocks instead of the matches parsed in
    // it, and then the decoder's history is not theirs: the file starts with none of
    // its own, as a piece does.
    bool restart = false;
    for (; nextRestart < historyRestarts.size() && historyRestarts[nextRestart] <= pos; nextRestart++)
      restart = restart || historyRestarts[nextRestart] == pos;
    if (restart) memset(&s.h, 0, sizeof s.h);
    uint32_t end = nextFile < fileStarts.size() ? fileStarts[nextFile] : stop;
    if (!guide.empty()) {
      while (nextGuide + 1 < guide.size() && guide[nextGuide].stop <= pos) nextGuide++;
      costsFromLengths(s.costs, guide[nextGuide].lengths);
    }
    bool keep = blocks || o.chooseBlocks;
    if (keep) {
      out.emplace_back();
    } else {
      scratch = Block();
    }
    Block& b = keep ? out.back() : scratch;
    b.start = pos;
    uint32_t at = pos - from;
    if (o.optimal)
      (o.arrivals > 1 ? parseOptimalBlock<MaxArrivals> : parseOptimalBlock<1>)(parser, s, b, at, end - from, o);
    else
      parseLazyBlock(finder, s, b, at, end - from, o);
    pos = at + from;
    b.stop = pos;
    uint8_t lengths[PreviousLengthsSize];
    blockCodeLengths(b, lengths);
    costsFromLengths(s.costs, lengths);
    if (learnt && !o.chooseBlocks) appendGuide(learnt, b.stop, lengths);
    // A pass that only learns joins blocks by their counts: their symbols can go.
    if (!blocks) std::vector<Token>().swap(b.tokens);
  }
  if (!o.chooseBlocks) return;
  mergeBlocksByCost(out, firstNew, out.size());
  if (!learnt) return;
  uint8_t lengths[PreviousLengthsSize];
  for (size_t i = firstNew; i < out.size(); i++) {
    if (!out[i].sharesTables) blockCodeLengths(out[i], lengths);
    appendGuide(learnt, out[i].stop, lengths);
  }
}

}  // namespace

void parseLzPiece(PieceParser& parser, const uint8_t* bytes, uint32_t historyFrom, uint32_t start,
                  uint32_t stop, const std::vector<uint32_t>& fileStarts,
                  const std::vector<uint32_t>& historyRestarts, const LzParseOptions& o,
                  std::vector<Block>* blocks) {
  uint32_t from = start - std::min(start - historyFrom, (uint32_t)MaxMatchDistance);
  std::vector<GuideBlock> guide, learnt;
  for (uint32_t pass = 0; pass < o.guidePasses; pass++) {
    // The first guide is a quick parse over short chains: its tables are close to
    // those of the cheapest path already, and closer when it is one too.
    LzParseOptions quick = o;
    if (pass == 0) {
      quick.optimal = o.guideChain != 0;
      quick.maxChain = 4;
      quick.lazyLength = 16;
    } else if (o.guideChain) {
      quick.maxChain = o.guideChain;
    }
    quick.arrivals = 1;
    learnt.clear();
    parsePass(parser, bytes, from, start, stop, fileStarts, historyRestarts, quick, guide, nullptr, &learnt);
    guide.swap(learnt);
  }
  parsePass(parser, bytes, from, start, stop, fileStarts, historyRestarts, o, guide, blocks, nullptr);
}

void blockCodeLengths(const Block& b, uint8_t* lengths) {
  if (b.audio)
    audioCodeLengths(b.audioCount.data(), b.channels, lengths);
  else
    lzCodeLengths(b.counts, lengths);
}

void audioCodeLengths(const uint32_t* channelCounts, int channels, uint8_t* lengths) {
  for (int c = 0; c < channels; c++) {
    uint32_t counts[AudioSymbols];
    memcpy(counts, channelCounts + c * AudioSymbols, sizeof counts);
    if (counts[SymAudioTables] == 0) counts[SymAudioTables] = 1;
    bool other = false;
    for (int i = 0; i < 256 && !other; i++) other = counts[i] != 0;
    if (!other) counts[0] = 1;
    buildCodeLengths(counts, AudioSymbols, MaxCodeLength, lengths + c * AudioSymbols);
  }
}

void lzCodeLengths(const LzCounts& c, uint8_t* lengths) {
  uint32_t counts[MainSymbols];
  memcpy(counts, c.main, sizeof counts);
  if (counts[SymTables] == 0) counts[SymTables] = 1;
  bool other = false;
  for (int i = 0; i < MainSymbols && !other; i++) other = i != SymTables && counts[i] != 0;
  if (!other) counts[0] = 1;
  buildCodeLengths(counts, MainSymbols, MaxCodeLength, lengths);
  buildCodeLengths(c.distance, DistanceSymbols, MaxCodeLength, lengths + MainSymbols);
  buildCodeLengths(c.repeat, RepeatLengthSymbols, MaxCodeLength, lengths + MainSymbols + DistanceSymbols);
}

uint64_t lzCodedBits(const LzCounts& c, const uint8_t* lengths) {
  uint64_t a = codedBits(c.main, lengths, MainSymbols);
  uint64_t d = codedBits(c.distance, lengths + MainSymbols, DistanceSymbols);
  uint64_t r = codedBits(c.repeat, lengths + MainSymbols + DistanceSymbols, RepeatLengthSymbols);
  if (a == UINT64_MAX || d == UINT64_MAX || r == UINT64_MAX) return UINT64_MAX;
  return a + d + r;
}

uint64_t audioCodedBits(const uint32_t* channelCounts, int channels, const uint8_t* lengths) {
  uint64_t total = 0;
  for (int c = 0; c < channels; c++) {
    uint64_t bits = codedBits(channelCounts + c * AudioSymbols, lengths + c * AudioSymbols, AudioSymbols);
    if (bits == UINT64_MAX) return UINT64_MAX;
    total += bits;
  }
  return total;
}

void addLzCounts(LzCounts& to, const LzCounts& from) {
  for (int s = 0; s < MainSymbols; s++) to.main[s] += from.main[s];
  for (int s = 0; s < DistanceSymbols; s++) to.distance[s] += from.distance[s];
  for (int s = 0; s < RepeatLengthSymbols; s++) to.repeat[s] += from.repeat[s];
}
