#include "pack/encode_v20.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include "pack/bit_output.h"
#include "pack/encode_v20_header.h"
#include "pack/huffman_encoder.h"
#include "pack/match_finder.h"
#include "unpack/audio.h"
#include "unpack/v20_tables.h"

namespace {

enum : uint32_t {
  SymRepeatLast = 256,
  SymHistory = 257,  // 257..260: the four recent distances
  SymShort = 261,    // 261..268: length 2 within 256 bytes
  SymTables = 269,
  SymMatch = 270,    // 270..297: length slot, then a distance slot
  SymAudioTables = 256,
  NiceLength = 48  // a match this long is taken without looking one byte ahead
};

// Everything of the decoder's state that decides how the next symbols decode. The
// encoder advances it exactly as the decoder will.
struct Mirror {
  uint32_t recent[4];
  uint32_t recentIndex;
  uint32_t lastDistance;
  uint32_t lastLength;
  uint8_t previousLengths[PreviousLengthsSize];
  bool haveTables;  // a header was read since the last non-solid start
  bool audioMode;
  int channelCount;
  int currentChannel;
  AudioChannelState audio[MaxChannels];
  int32_t crossDelta;
  uint8_t lzLengths[LzTableSize];  // main, distance, repeat length: the header's order
  uint8_t audioLengths[PreviousLengthsSize];
};

// Estimated bits per symbol, taken from the tables of the last LZ block.
struct Costs {
  uint32_t main[MainSymbols];
  uint32_t distance[DistanceSymbols];
  uint32_t repeatLength[RepeatLengthSymbols];
};

struct Token {
  uint16_t symbol;
  uint8_t bits1, bits2;
  uint16_t slot;  // distance slot (270..297) or repeat length slot (257..260)
  uint32_t extra1, extra2;
};

struct Block {
  bool audio = false;
  int channels = 0;
  int switchChannel = 0;  // current channel before the block: a switch is coded there
  std::vector<Token> tokens;
  std::vector<uint16_t> audioSymbols;  // channel << 8 | symbol
  uint32_t mainCount[MainSymbols] = {0};
  uint32_t distanceCount[DistanceSymbols] = {0};
  uint32_t repeatCount[RepeatLengthSymbols] = {0};
  uint32_t audioCount[MaxChannels][AudioSymbols] = {{0}};
};

struct StreamState {
  Mirror m;
  Costs costs;
  bool hasPending = false;
  BitOutput pending;  // previous file's stream, open for a table switch
  bool closedValid = false;
  std::vector<uint8_t> closed;  // the previous file's final stream
  BitOutput current;
};

struct Choice {
  uint32_t length = 0;  // 0: a literal
  uint32_t distance = 0;
  int kind = 0;  // 1 repeat last, 2 history, 3 short, 4 long
  int param = 0;
  int32_t score = 0;  // bits saved against literals
};

uint8_t lengthSlotOf[256];
bool slotTablesReady = false;

void prepareSlotTables() {
  if (slotTablesReady) return;
  for (uint32_t v = 0; v < 256; v++) {
    int slot = 0;
    while (slot + 1 < LengthSlots && lengthBase[slot + 1] <= v) slot++;
    lengthSlotOf[v] = (uint8_t)slot;
  }
  slotTablesReady = true;
}

inline int distanceSlotOf(uint32_t d1) {
  return (int)(std::upper_bound(distanceBase, distanceBase + DistanceSlots, d1) - distanceBase) - 1;
}

inline int shortSlotOf(uint32_t d1) {
  int slot = 0;
  while (slot + 1 < ShortDistanceSlots && shortDistanceBase[slot + 1] <= d1) slot++;
  return slot;
}

inline uint32_t longBonus(uint32_t d) { return (d >= 0x2000) + (d >= 0x40000); }
inline uint32_t historyBonus(uint32_t d) { return longBonus(d) + (d >= 0x101); }

void defaultCosts(Costs& c) {
  for (int s = 0; s < MainSymbols; s++) c.main[s] = s < 256 ? 8 : 7;
  c.main[SymRepeatLast] = 5;
  c.main[SymHistory] = 5;
  c.main[SymTables] = 14;
  for (int s = 0; s < DistanceSymbols; s++) c.distance[s] = 5;
  for (int s = 0; s < RepeatLengthSymbols; s++) c.repeatLength[s] = 3 + s / 6;
}

void costsFromLengths(Costs& c, const uint8_t* lz) {
  for (int s = 0; s < MainSymbols; s++) c.main[s] = lz[s] ? lz[s] : 12;
  for (int s = 0; s < DistanceSymbols; s++) c.distance[s] = lz[MainSymbols + s] ? lz[MainSymbols + s] : 9;
  for (int s = 0; s < RepeatLengthSymbols; s++) {
    uint8_t l = lz[MainSymbols + DistanceSymbols + s];
    c.repeatLength[s] = l ? l : 9;
  }
}

// Literal costs from the byte frequencies of a sample, for a first block that has no
// tables before it to learn from.
void seedLiteralCosts(Costs& c, const uint8_t* data, size_t size) {
  uint32_t counts[256] = {0};
  for (size_t i = 0; i < size; i++) counts[data[i]]++;
  for (int b = 0; b < 256; b++) {
    double bits = counts[b] ? -log2((double)counts[b] / (double)size) : 12;
    c.main[b] = (uint32_t)std::min(15.0, std::max(1.0, bits + 0.5));
  }
}

void resetMirror(Mirror& m) { memset(&m, 0, sizeof m); }

void pushDistance(Mirror& m, uint32_t distance, uint32_t length) {
  m.recent[m.recentIndex & 3] = distance;
  m.recentIndex++;
  m.lastDistance = distance;
  m.lastLength = length;
}

uint32_t entropyBits(const uint32_t* counts, int n) {
  double total = 0, bits = 0;
  for (int i = 0; i < n; i++) total += counts[i];
  for (int i = 0; i < n; i++)
    if (counts[i]) bits -= counts[i] * log2(counts[i] / total);
  return (uint32_t)bits;
}

}  // namespace

struct V20EncoderImpl {
  V20EncoderOptions options;
  MatchFinder finder;
  StreamState st;

  explicit V20EncoderImpl(const V20EncoderOptions& o) : options(o) {
    prepareSlotTables();
    finder.maxChain = o.maxChain;
    resetMirror(st.m);
    defaultCosts(st.costs);
  }

  // ---- LZ parsing ----

  Choice bestChoice(StreamState& s, uint32_t pos, uint32_t stop) {
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
    const Mirror& m = s.m;
    if (m.lastLength >= 2 && m.lastLength <= limit && m.lastDistance != 0 &&
        finder.matchLength(pos, m.lastDistance, m.lastLength) == m.lastLength)
      consider(m.lastLength, s.costs.main[SymRepeatLast], 1, m.lastDistance, 0);
    for (int k = 1; k <= 4; k++) {
      uint32_t d = m.recent[(m.recentIndex - k) & 3];
      bool seen = d == 0;
      for (int j = 1; j < k && !seen; j++) seen = m.recent[(m.recentIndex - j) & 3] == d;
      if (seen) continue;
      uint32_t bonus = historyBonus(d);
      uint32_t n = finder.matchLength(pos, d, std::min(limit, 257 + bonus));
      if (n < 2 + bonus) continue;
      int slot = lengthSlotOf[n - 2 - bonus];
      consider(n, s.costs.main[SymHistory + k - 1] + s.costs.repeatLength[slot] + lengthExtraBits[slot],
               2, d, k);
    }
    MatchCandidate found[8];
    int count = finder.findMatches(pos, limit, found, 8);
    for (int i = 0; i < count; i++) {
      uint32_t d = found[i].distance, n = found[i].length;
      uint32_t bonus = longBonus(d);
      if (n < 3 + bonus) continue;
      int lslot = lengthSlotOf[n - 3 - bonus];
      int dslot = distanceSlotOf(d - 1);
      consider(n,
               s.costs.main[SymMatch + lslot] + lengthExtraBits[lslot] + s.costs.distance[dslot] +
                   distanceExtraBits[dslot],
               4, d, 0);
    }
    uint32_t pair = finder.findPair(pos);
    if (pair != 0) {
      int slot = shortSlotOf(pair - 1);
      consider(2, s.costs.main[SymShort + slot] + shortDistanceExtraBits[slot], 3, pair, slot);
    }
    return best;
  }

  void addLiteral(Block& b, uint8_t byte) {
    Token t = {byte, 0, 0, 0, 0, 0};
    b.tokens.push_back(t);
    b.mainCount[byte]++;
  }

  void addMatch(StreamState& s, Block& b, const Choice& c) {
    Token t = {0, 0, 0, 0, 0, 0};
    uint32_t d = c.distance, n = c.length;
    switch (c.kind) {
      case 1:
        t.symbol = SymRepeatLast;
        break;
      case 2: {
        uint32_t v = n - 2 - historyBonus(d);
        int slot = lengthSlotOf[v];
        t.symbol = (uint16_t)(SymHistory + c.param - 1);
        t.slot = (uint16_t)slot;
        t.bits1 = lengthExtraBits[slot];
        t.extra1 = v - lengthBase[slot];
        b.repeatCount[slot]++;
        break;
      }
      case 3:
        t.symbol = (uint16_t)(SymShort + c.param);
        t.bits1 = shortDistanceExtraBits[c.param];
        t.extra1 = d - 1 - shortDistanceBase[c.param];
        break;
      default: {
        uint32_t v = n - 3 - longBonus(d);
        int lslot = lengthSlotOf[v];
        int dslot = distanceSlotOf(d - 1);
        t.symbol = (uint16_t)(SymMatch + lslot);
        t.bits1 = lengthExtraBits[lslot];
        t.extra1 = v - lengthBase[lslot];
        t.slot = (uint16_t)dslot;
        t.bits2 = distanceExtraBits[dslot];
        t.extra2 = d - 1 - distanceBase[dslot];
        b.distanceCount[dslot]++;
        break;
      }
    }
    b.mainCount[t.symbol]++;
    b.tokens.push_back(t);
    pushDistance(s.m, d, n);
  }

  // ---- optimal parsing ----

  struct History {
    uint32_t recent[4];
    uint32_t recentIndex, lastDistance, lastLength;
  };

  struct Node {
    uint32_t price;
    uint32_t length;  // of the step that arrives here; 1: a literal
    uint32_t distance;
    uint8_t kind, param;
    History h;  // match history after that step
  };

  std::vector<Node> nodes;

  // Cheapest path through a chunk of positions under the current symbol costs: every
  // literal, repeat, history, short and long match is weighed at every position, with
  // the match history the path so far leaves (so history matches are priced right). A
  // match of NiceLength or more is taken as it stands and ends the chunk.
  void parseLzOptimal(StreamState& s, Block& b, uint32_t& pos, uint32_t stop) {
    b.audio = false;
    b.switchChannel = s.m.currentChannel;
    const uint8_t* data = finder.data.data();
    const uint32_t chunk = 4096;
    const uint32_t infinite = 0xFFFFFFFFu;
    uint32_t tail = options.blockSymbols / 2;
    nodes.resize(chunk + 1);
    while (pos < stop && (b.tokens.size() < options.blockSymbols || stop - pos < tail)) {
      uint32_t n = std::min(stop - pos, chunk);
      for (uint32_t j = 0; j <= n; j++) nodes[j].price = infinite;
      Node& origin = nodes[0];
      origin.price = 0;
      memcpy(origin.h.recent, s.m.recent, sizeof origin.h.recent);
      origin.h.recentIndex = s.m.recentIndex;
      origin.h.lastDistance = s.m.lastDistance;
      origin.h.lastLength = s.m.lastLength;
      uint32_t end = n;
      Choice forced;
      for (uint32_t i = 0; i < n; i++) {
        const Node& at = nodes[i];
        uint32_t base = at.price;
        const History h = at.h;
        uint32_t p = pos + i;
        auto relax = [&](uint32_t length, uint32_t cost, int kind, uint32_t distance, int param) {
          Node& to = nodes[i + length];
          if (base + cost >= to.price) return;
          to.price = base + cost;
          to.length = length;
          to.distance = distance;
          to.kind = (uint8_t)kind;
          to.param = (uint8_t)param;
          to.h = h;
          if (kind != 0) {
            to.h.recent[to.h.recentIndex & 3] = distance;
            to.h.recentIndex++;
            to.h.lastDistance = distance;
            to.h.lastLength = length;
          }
        };
        relax(1, s.costs.main[data[p]], 0, 0, 0);
        uint32_t limit = std::min<uint32_t>(MaxMatchLength, n - i);
        if (limit < 2) continue;
        Choice longest;
        auto note = [&](uint32_t length, int kind, uint32_t distance, int param) {
          if (length > longest.length) longest = Choice{length, distance, kind, param, 0};
        };
        if (h.lastLength >= 2 && h.lastLength <= limit && h.lastDistance != 0 &&
            finder.matchLength(p, h.lastDistance, h.lastLength) == h.lastLength) {
          relax(h.lastLength, s.costs.main[SymRepeatLast], 1, h.lastDistance, 0);
          note(h.lastLength, 1, h.lastDistance, 0);
        }
        for (int k = 1; k <= 4; k++) {
          uint32_t d = h.recent[(h.recentIndex - k) & 3];
          bool seen = d == 0;
          for (int j = 1; j < k && !seen; j++) seen = h.recent[(h.recentIndex - j) & 3] == d;
          if (seen) continue;
          uint32_t bonus = historyBonus(d);
          uint32_t most = finder.matchLength(p, d, std::min(limit, 257 + bonus));
          if (most < 2 + bonus) continue;
          note(most, 2, d, k);
          uint32_t symbolCost = s.costs.main[SymHistory + k - 1];
          for (uint32_t len = 2 + bonus; len <= most; len++) {
            int slot = lengthSlotOf[len - 2 - bonus];
            relax(len, symbolCost + s.costs.repeatLength[slot] + lengthExtraBits[slot], 2, d, k);
          }
        }
        MatchCandidate found[8];
        int count = finder.findMatches(p, limit, found, 8);
        uint32_t covered = 2;
        for (int c = 0; c < count; c++) {
          uint32_t d = found[c].distance, most = found[c].length;
          uint32_t bonus = longBonus(d);
          int dslot = distanceSlotOf(d - 1);
          uint32_t distanceCost = s.costs.distance[dslot] + distanceExtraBits[dslot];
          for (uint32_t len = std::max(covered + 1, 3 + bonus); len <= most; len++) {
            int lslot = lengthSlotOf[len - 3 - bonus];
            relax(len, s.costs.main[SymMatch + lslot] + lengthExtraBits[lslot] + distanceCost, 4, d, 0);
          }
          if (most >= 3 + bonus) note(most, 4, d, 0);
          covered = std::max(covered, most);
        }
        uint32_t pair = finder.findPair(p);
        if (pair != 0) {
          int slot = shortSlotOf(pair - 1);
          relax(2, s.costs.main[SymShort + slot] + shortDistanceExtraBits[slot], 3, pair, slot);
        }
        if (longest.length >= options.takeLength) {
          end = i;
          forced = longest;
          break;
        }
      }
      // Walk back from the end, then replay the steps forward.
      std::vector<uint32_t> steps;
      for (uint32_t j = end; j > 0; j -= nodes[j].length) steps.push_back(j);
      for (size_t k = steps.size(); k-- > 0;) {
        const Node& step = nodes[steps[k]];
        uint32_t from = steps[k] - step.length;
        if (step.kind == 0) {
          addLiteral(b, data[pos + from]);
        } else {
          Choice c;
          c.length = step.length;
          c.distance = step.distance;
          c.kind = step.kind;
          c.param = step.param;
          addMatch(s, b, c);
        }
      }
      pos += end;
      if (forced.length > 0) {
        addMatch(s, b, forced);
        pos += forced.length;
      }
    }
  }

  void parseLz(StreamState& s, Block& b, uint32_t& pos, uint32_t stop) {
    b.audio = false;
    b.switchChannel = s.m.currentChannel;
    const uint8_t* data = finder.data.data();
    Choice cur = bestChoice(s, pos, stop);
    // A short tail joins this block rather than paying for tables of its own.
    uint32_t tail = options.blockSymbols / 2;
    while (pos < stop && (b.tokens.size() < options.blockSymbols || stop - pos < tail)) {
      if (cur.length == 0) {
        addLiteral(b, data[pos]);
        pos++;
        if (pos < stop) cur = bestChoice(s, pos, stop);
        continue;
      }
      if (cur.length < NiceLength && pos + 1 < stop) {
        Choice next = bestChoice(s, pos + 1, stop);
        if (next.score > cur.score) {
          addLiteral(b, data[pos]);
          pos++;
          cur = next;
          continue;
        }
      }
      addMatch(s, b, cur);
      pos += cur.length;
      if (pos < stop) cur = bestChoice(s, pos, stop);
    }
  }

  // ---- audio parsing ----

  void parseAudio(StreamState& s, Block& b, uint32_t& pos, uint32_t stop, int channels) {
    b.audio = true;
    b.channels = channels;
    b.switchChannel = s.m.currentChannel;
    // A header with fewer channels than the current one restarts the rotation. When no
    // header is sent the channel count is unchanged and so is the rotation.
    int ch = s.m.currentChannel >= channels ? 0 : s.m.currentChannel;
    const uint8_t* data = finder.data.data();
    uint32_t end = stop - pos >= options.audioBlockBytes + options.audioBlockBytes / 2
                       ? pos + options.audioBlockBytes
                       : stop;
    b.audioSymbols.reserve(end - pos);
    for (; pos < end; pos++) {
      uint32_t symbol = audioEncodeByte(&s.m.audio[ch], &s.m.crossDelta, data[pos]);
      b.audioSymbols.push_back((uint16_t)(ch << 8 | symbol));
      b.audioCount[ch][symbol]++;
      if (++ch == channels) ch = 0;
    }
    s.m.currentChannel = ch;
  }

  // ---- tables and emission ----

  // Code lengths for the block. Every table can always code a switch to a new header
  // and one other symbol (the harmless symbol that ends a stream without a switch).
  void blockLengths(Block& b, uint8_t* lengths) {
    if (b.audio) {
      for (int c = 0; c < b.channels; c++) {
        uint32_t counts[AudioSymbols];
        memcpy(counts, b.audioCount[c], sizeof counts);
        if (counts[SymAudioTables] == 0) counts[SymAudioTables] = 1;
        bool other = false;
        for (int i = 0; i < 256 && !other; i++) other = counts[i] != 0;
        if (!other) counts[0] = 1;
        buildCodeLengths(counts, AudioSymbols, MaxCodeLength, lengths + c * AudioSymbols);
      }
    } else {
      uint32_t counts[MainSymbols];
      memcpy(counts, b.mainCount, sizeof counts);
      if (counts[SymTables] == 0) counts[SymTables] = 1;
      bool other = false;
      for (int i = 0; i < MainSymbols && !other; i++) other = i != SymTables && counts[i] != 0;
      if (!other) counts[0] = 1;
      buildCodeLengths(counts, MainSymbols, MaxCodeLength, lengths);
      buildCodeLengths(b.distanceCount, DistanceSymbols, MaxCodeLength, lengths + MainSymbols);
      buildCodeLengths(b.repeatCount, RepeatLengthSymbols, MaxCodeLength,
                       lengths + MainSymbols + DistanceSymbols);
    }
  }

  static uint64_t blockBits(const Block& b, const uint8_t* lengths) {
    if (b.audio) {
      uint64_t total = 0;
      for (int c = 0; c < b.channels; c++) {
        uint64_t bits = codedBits(b.audioCount[c], lengths + c * AudioSymbols, AudioSymbols);
        if (bits == UINT64_MAX) return UINT64_MAX;
        total += bits;
      }
      return total;
    }
    uint64_t a = codedBits(b.mainCount, lengths, MainSymbols);
    uint64_t d = codedBits(b.distanceCount, lengths + MainSymbols, DistanceSymbols);
    uint64_t r = codedBits(b.repeatCount, lengths + MainSymbols + DistanceSymbols, RepeatLengthSymbols);
    if (a == UINT64_MAX || d == UINT64_MAX || r == UINT64_MAX) return UINT64_MAX;
    return a + d + r;
  }

  // The symbol that announces a new header, coded with the tables now in force.
  static void writeSwitch(BitOutput& out, const Mirror& m, int channel) {
    const uint8_t* lengths = m.audioMode ? m.audioLengths + channel * AudioSymbols : m.lzLengths;
    int count = m.audioMode ? AudioSymbols : MainSymbols;
    uint32_t symbol = m.audioMode ? SymAudioTables : SymTables;
    uint16_t codes[MainSymbols];
    assignCanonicalCodes(lengths, count, codes);
    out.put(codes[symbol], lengths[symbol]);
  }

  static uint32_t switchBits(const Mirror& m, int channel) {
    return m.audioMode ? m.audioLengths[channel * AudioSymbols + SymAudioTables] : m.lzLengths[SymTables];
  }

  // Ends a stream that carries no switch. The decoder reads one symbol past a file's
  // last one when at least 5 bytes follow (cipher padding can provide them); this
  // symbol makes sure that read finds no switch.
  static void writeHarmless(BitOutput& out, const Mirror& m, int channel) {
    const uint8_t* lengths = m.audioMode ? m.audioLengths + channel * AudioSymbols : m.lzLengths;
    int count = m.audioMode ? AudioSymbols : MainSymbols;
    uint32_t avoid = m.audioMode ? SymAudioTables : SymTables;
    int pick = -1;
    for (int i = 0; i < count; i++)
      if (i != (int)avoid && lengths[i] != 0 && (pick < 0 || lengths[i] < lengths[pick])) pick = i;
    if (pick < 0) return;
    uint16_t codes[MainSymbols];
    assignCanonicalCodes(lengths, count, codes);
    out.put(codes[pick], lengths[pick]);
  }

  void closePending(StreamState& s) {
    if (!s.hasPending) return;
    if (s.pending.bitCount() > 0 && s.m.haveTables) writeHarmless(s.pending, s.m, s.m.currentChannel);
    s.closed = s.pending.finish();
    s.closedValid = true;
    s.hasPending = false;
    s.pending = BitOutput();
  }

  void emitBlock(StreamState& s, Block& b, bool first, bool solid) {
    uint8_t lengths[PreviousLengthsSize];
    blockLengths(b, lengths);
    int size = b.audio ? b.channels * AudioSymbols : LzTableSize;
    TableHeaderPlan plan = planTableHeader(lengths, size, s.m.previousLengths, b.audio ? b.channels : 0);
    bool startOfStream = first && !solid;
    bool needHeader = true;
    if (!startOfStream && s.m.haveTables && s.m.audioMode == b.audio &&
        (!b.audio || s.m.channelCount == b.channels)) {
      const uint8_t* old = b.audio ? s.m.audioLengths : s.m.lzLengths;
      uint64_t reuse = blockBits(b, old);
      if (reuse != UINT64_MAX) {
        uint64_t fresh = blockBits(b, lengths) + plan.bits + switchBits(s.m, b.switchChannel);
        needHeader = fresh < reuse;
      }
    }
    BitOutput& headerOut = (first && solid && s.hasPending) ? s.pending : s.current;
    if (needHeader) {
      if (!startOfStream) writeSwitch(headerOut, s.m, b.switchChannel);
      writeTableHeader(headerOut, plan, b.audio ? b.channels : 0);
      if (!plan.keep) memset(s.m.previousLengths, 0, sizeof s.m.previousLengths);
      memcpy(s.m.previousLengths, lengths, size);
      s.m.audioMode = b.audio;
      if (b.audio) {
        s.m.channelCount = b.channels;
        memcpy(s.m.audioLengths, lengths, size);
      } else {
        memcpy(s.m.lzLengths, lengths, size);
      }
      s.m.haveTables = true;
    }
    if (first && solid && s.hasPending) {
      // The pending stream ends here; without a switch it ends harmlessly.
      if (!needHeader && s.pending.bitCount() > 0) writeHarmless(s.pending, s.m, b.switchChannel);
      s.closed = s.pending.finish();
      s.closedValid = true;
      s.hasPending = false;
      s.pending = BitOutput();
    }
    BitOutput& out = s.current;
    if (b.audio) {
      uint16_t codes[MaxChannels][AudioSymbols];
      for (int c = 0; c < b.channels; c++)
        assignCanonicalCodes(s.m.audioLengths + c * AudioSymbols, AudioSymbols, codes[c]);
      for (uint16_t a : b.audioSymbols) {
        int c = a >> 8, symbol = a & 0xFF;
        out.put(codes[c][symbol], s.m.audioLengths[c * AudioSymbols + symbol]);
      }
    } else {
      const uint8_t* mainLengths = s.m.lzLengths;
      const uint8_t* distanceLengths = s.m.lzLengths + MainSymbols;
      const uint8_t* repeatLengths = distanceLengths + DistanceSymbols;
      uint16_t mainCodes[MainSymbols], distanceCodes[DistanceSymbols], repeatCodes[RepeatLengthSymbols];
      assignCanonicalCodes(mainLengths, MainSymbols, mainCodes);
      assignCanonicalCodes(distanceLengths, DistanceSymbols, distanceCodes);
      assignCanonicalCodes(repeatLengths, RepeatLengthSymbols, repeatCodes);
      for (const Token& t : b.tokens) {
        out.put(mainCodes[t.symbol], mainLengths[t.symbol]);
        if (t.symbol < SymRepeatLast) continue;
        if (t.symbol >= SymMatch) {
          out.put(t.extra1, t.bits1);
          out.put(distanceCodes[t.slot], distanceLengths[t.slot]);
          out.put(t.extra2, t.bits2);
        } else if (t.symbol >= SymShort) {
          out.put(t.extra1, t.bits1);
        } else if (t.symbol >= SymHistory) {
          out.put(repeatCodes[t.slot], repeatLengths[t.slot]);
          out.put(t.extra1, t.bits1);
        }
      }
      costsFromLengths(s.costs, s.m.lzLengths);
    }
  }

  void encodeRange(StreamState& s, uint32_t start, uint32_t stop, bool solid, int channels) {
    if (start == stop) {
      if (!solid) {
        Block b;
        b.switchChannel = s.m.currentChannel;
        emitBlock(s, b, true, false);
      } else {
        closePending(s);
      }
      return;
    }
    if (!solid && channels == 0)
      seedLiteralCosts(s.costs, finder.data.data() + start, std::min<uint32_t>(stop - start, 65536));
    bool first = true;
    for (uint32_t pos = start; pos < stop; first = false) {
      Block b;
      if (channels > 0)
        parseAudio(s, b, pos, stop, channels);
      else if (options.optimalParsing)
        parseLzOptimal(s, b, pos, stop);
      else
        parseLz(s, b, pos, stop);
      emitBlock(s, b, first, solid);
      if (options.onProgress) options.onProgress(pos - start);
    }
  }

  // The channel count (1..4) whose predictor leaves the least entropy on a sample.
  int estimateChannels(uint32_t start, uint32_t stop) {
    uint32_t end = std::min<uint32_t>(stop, start + 65536);
    const uint8_t* data = finder.data.data();
    int best = 1;
    uint64_t bestBits = UINT64_MAX;
    for (int n = 1; n <= MaxChannels; n++) {
      AudioChannelState states[MaxChannels];
      memcpy(states, st.m.audio, sizeof states);
      int32_t cross = st.m.crossDelta;
      static uint32_t counts[MaxChannels][256];
      memset(counts, 0, sizeof counts);
      int ch = 0;
      for (uint32_t p = start; p < end; p++) {
        counts[ch][audioEncodeByte(&states[ch], &cross, data[p])]++;
        if (++ch == n) ch = 0;
      }
      uint64_t bits = 0;
      for (int c = 0; c < n; c++) bits += entropyBits(counts[c], 256) + 257 * 4;
      if (bits < bestBits) {
        bestBits = bits;
        best = n;
      }
    }
    return best;
  }

  static uint64_t totalBits(const StreamState& s) {
    return (s.closedValid ? (uint64_t)s.closed.size() * 8 : 0) + s.pending.bitCount() +
           s.current.bitCount();
  }
};

V20Encoder::V20Encoder(const V20EncoderOptions& options) : impl(new V20EncoderImpl(options)) {}
V20Encoder::~V20Encoder() = default;

bool V20Encoder::addFile(const uint8_t* data, size_t size, bool solid) {
  V20EncoderImpl& e = *impl;
  StreamState& st = e.st;
  if (solid && !st.m.haveTables) solid = false;
  if (!solid) {
    e.closePending(st);
    resetMirror(st.m);
    defaultCosts(st.costs);
    e.finder.resetHistory();
  }
  if (st.closedValid) {
    finished.push_back(std::move(st.closed));
    st.closed.clear();
    st.closedValid = false;
  }
  // Appending may slide the history, so positions are taken afterwards.
  e.finder.append(data, size);
  uint32_t stop = e.finder.end();
  uint32_t start = stop - (uint32_t)size;

  int channels = 0;
  if (e.options.multimedia != MultimediaMode::Off && size > 0) {
    channels = detectMultimediaChannels(data, size);
    if (channels == 0 && e.options.multimedia == MultimediaMode::On) channels = e.estimateChannels(start, stop);
  }
  bool audio = false;
  if (channels > 0) {
    // Both ways from the same state; the smaller one stays. The audio pass goes first:
    // it leaves the match finder untouched for the LZ pass.
    StreamState lz = st;
    e.encodeRange(st, start, stop, solid, channels);
    e.encodeRange(lz, start, stop, solid, 0);
    if (V20EncoderImpl::totalBits(lz) <= V20EncoderImpl::totalBits(st))
      st = std::move(lz);
    else
      audio = true;
  } else {
    e.encodeRange(st, start, stop, solid, 0);
  }
  e.finder.insertUpTo(stop);
  if (st.closedValid) {
    finished.push_back(std::move(st.closed));
    st.closed.clear();
    st.closedValid = false;
  }
  st.pending = std::move(st.current);
  st.current = BitOutput();
  st.hasPending = true;
  usedAudio.push_back(audio);
  return solid;
}

void V20Encoder::finish() {
  V20EncoderImpl& e = *impl;
  e.closePending(e.st);
  if (e.st.closedValid) {
    finished.push_back(std::move(e.st.closed));
    e.st.closed.clear();
    e.st.closedValid = false;
  }
}

std::vector<uint8_t> encodeV20(const uint8_t* data, size_t size, const V20EncoderOptions& options) {
  V20Encoder encoder(options);
  encoder.addFile(data, size, false);
  encoder.finish();
  return std::move(encoder.finished.front());
}

static uint32_t readLe16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
static uint32_t readLe32(const uint8_t* p) { return readLe16(p) | readLe16(p + 2) << 16; }

int detectMultimediaChannels(const uint8_t* data, size_t size) {
  if (size >= 44 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WAVE", 4) == 0) {
    size_t at = 12;
    while (at + 8 <= size) {
      uint32_t chunk = readLe32(data + at + 4);
      if (memcmp(data + at, "fmt ", 4) == 0 && at + 24 <= size) {
        uint32_t format = readLe16(data + at + 8), channels = readLe16(data + at + 10);
        uint32_t bits = readLe16(data + at + 22);
        if ((format == 1 || format == 0xFFFE) && (bits == 8 || bits == 16)) {
          uint32_t n = channels * (bits / 8);
          if (n >= 1 && n <= MaxChannels) return (int)n;
        }
        return 0;
      }
      at += 8 + (size_t)chunk + (chunk & 1);
    }
    return 0;
  }
  if (size >= 54 && data[0] == 'B' && data[1] == 'M' && readLe32(data + 14) >= 40) {
    uint32_t bits = readLe16(data + 28), compression = readLe32(data + 30);
    if (bits == 24 && compression == 0) return 3;
    if (bits == 32 && (compression == 0 || compression == 3)) return 4;
  }
  return 0;
}
