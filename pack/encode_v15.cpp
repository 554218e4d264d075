// The version 1.5 compressor's parser (see encode_v15.h).
#include "pack/encode_v15.h"

#include <algorithm>

#include "unpack/v15_model.h"

namespace {

enum Kind { Literal, Short, Repeat, Recent, Far, Long, Escape };

struct Choice {
  Kind kind = Literal;
  uint32_t distance = 0;
  uint32_t length = 1;
  uint32_t index = 0;  // Recent: the short code 10..13
  double gain = 0;     // bits saved against coding the bytes as literals
};

const uint32_t HashBits = 16;
const uint32_t ChainMask = 0xFFFF;  // the chains cover the reach of code 14
const uint32_t MaxChain = 256;
const uint32_t LookAheadChain = 64;  // the lazy look-ahead only needs to see a clearly better match
const uint32_t NiceLength = 128;     // long enough: searching on rarely pays
const uint32_t MaxLength = 266;     // the longest step: a long match at a distance up to 256
const uint32_t LazyBelow = 32;
const size_t DropStep = 1u << 20;  // old bytes are dropped a MiB at a time

uint32_t hashAt(const uint8_t* b) {
  uint32_t key = (uint32_t(b[0]) << 16) | (uint32_t(b[1]) << 8) | b[2];
  return (key * 2654435761u) >> (32 - HashBits);
}

// The byte at stream position pos, which the buffer still holds.
inline const uint8_t* at(const V15Encoder& e, size_t pos) { return e.buf.data() + (pos - e.bufBase); }
inline size_t endOf(const V15Encoder& e) { return e.bufBase + e.buf.size(); }

void insertUpTo(V15Encoder& e, size_t target) {
  while (e.inserted < target && e.inserted + 2 < endOf(e)) {
    uint32_t hash = hashAt(at(e, e.inserted));
    e.prev[e.inserted & ChainMask] = e.head[hash];
    e.head[hash] = int64_t(e.inserted);
    e.inserted++;
  }
}

uint32_t matchLength(const V15Encoder& e, size_t pos, uint32_t distance, uint32_t limit) {
  const uint8_t* a = at(e, pos);
  const uint8_t* b = a - distance;
  uint32_t n = 0;
  while (n < limit && a[n] == b[n]) n++;
  return n;
}

void consider(const V15Encoder& e, Choice& best, Kind kind, uint32_t distance, uint32_t length, uint32_t index,
              double cost) {
  uint32_t exact = std::min<uint32_t>(length, ExactLiterals);
  double gain = e.literalPrices[exact] + (length - exact) * e.literalEstimate - cost;
  if (gain > best.gain) best = Choice{kind, distance, length, index, gain};
}

// Every form that can code a match of up to `length` bytes at `distance`.
void considerDistance(const V15Encoder& e, Choice& best, Choice* escape, uint32_t distance, uint32_t length) {
  const V15Writer& w = e.writer;
  if (distance <= 256 && length >= 2) {
    uint32_t l = std::min<uint32_t>(length, 10);
    consider(e, best, Short, distance, l, 0, w.shortCost(distance, l));
  }
  if (distance <= LongReach) {
    uint32_t bonus = (distance >= w.model.farDistanceLimit ? 1 : 0) + (distance <= 256 ? 8 : 0);
    uint32_t l = std::min<uint32_t>(length, 258 + bonus);
    if (l >= 3 + bonus) consider(e, best, Long, distance, l, 0, w.longCost(distance, l));
  } else if (distance >= FarFirst && length >= 5) {
    uint32_t l = std::min<uint32_t>(length, 260);
    consider(e, best, Far, distance, l, 0, w.farCost(l));
  }
  if (escape != nullptr && distance <= EscapeReach && length >= 3)
    consider(e, *escape, Escape, distance, std::min<uint32_t>(length, 4), 0, w.escapeMatchCost(distance));
}

// The most profitable step at pos; with `escape`, also the best 3- or 4-byte
// match that literal-only mode can code.
Choice findBest(V15Encoder& e, size_t pos, Choice* escape, uint32_t maxChain = MaxChain) {
  const V15Writer& w = e.writer;
  const MatchHistory& h = w.history;
  Choice best;
  uint32_t limit = uint32_t(std::min<size_t>(e.fileEnd - pos, MaxLength));
  if (limit < 2) return best;
  // What the next bytes would cost as literals, as far as pricing them one by one pays.
  e.literalPrices[0] = 0;
  for (uint32_t k = 0; k < ExactLiterals; k++)
    e.literalPrices[k + 1] =
        e.literalPrices[k] + (k < limit ? w.literalCost(*at(e, pos + k)) : e.literalEstimate);

  // The last match again, and the four recent distances.
  if (h.lastLength >= 2 && h.lastDistance >= 1 && h.lastDistance <= pos && h.lastDistance <= FarReach &&
      h.lastLength <= limit && matchLength(e, pos, h.lastDistance, h.lastLength) == h.lastLength)
    consider(e, best, Repeat, h.lastDistance, h.lastLength, 0, w.repeatCost());
  for (uint32_t index = ShortRecentFirst; index <= ShortRecentLast; index++) {
    uint32_t distance = recentDistance(&h, index);
    if (distance == 0 || distance > pos || distance > FarReach) continue;
    uint32_t bonus = w.recentBonus(distance);
    uint32_t length = std::min(matchLength(e, pos, distance, limit), 256 + bonus);
    if (length >= 2 + bonus) consider(e, best, Recent, distance, length, index, w.recentCost(index, length));
  }

  // The front of the short distance list finds the two-byte matches.
  for (uint32_t place = 0; place < 64; place++) {
    uint32_t distance = w.model.shortDistanceList[place] + 1;
    if (distance > pos) continue;
    uint32_t length = matchLength(e, pos, distance, std::min<uint32_t>(limit, 10));
    if (length >= 2) considerDistance(e, best, escape, distance, length);
  }

  // Hash chains for everything of three bytes and more; per distance range only
  // matches longer than the ones already seen there are priced.
  if (limit >= 3) {
    insertUpTo(e, pos);
    const uint8_t* b = at(e, pos);
    int64_t candidate = e.head[hashAt(b)];
    uint32_t longestNear = 2, longestMid = 2, longestFar = 4;
    for (uint32_t steps = 0; candidate >= 0 && steps < maxChain; steps++) {
      uint32_t distance = uint32_t(pos - size_t(candidate));
      if (distance > FarReach) break;
      uint32_t& longest = distance <= 256 ? longestNear : distance <= LongReach ? longestMid : longestFar;
      uint32_t probe = std::min(longest, limit - 1);
      if (at(e, size_t(candidate))[probe] == b[probe]) {
        uint32_t length = matchLength(e, pos, distance, limit);
        if (length > longest) {
          longest = length;
          considerDistance(e, best, escape, distance, length);
        }
      }
      if ((longestNear >= limit && longestMid >= limit) || std::max(longestNear, longestMid) >= NiceLength) break;
      candidate = e.prev[size_t(candidate) & ChainMask];
    }
  }
  return best;
}

void noteLiteralPrice(V15Encoder& e, double cost) { e.literalEstimate = e.literalEstimate * 0.95 + cost * 0.05; }

// Codes the steps that start before `until`.
void parseUpTo(V15Encoder& e, size_t until) {
  V15Writer& w = e.writer;
  size_t& pos = e.pos;
  while (pos < until) {
    uint8_t byte = *at(e, pos);
    if (w.model.literalOnly) {
      // No flags here: leave the mode when a match pays for the escape, or code
      // a short match inside it.
      Choice escape;
      Choice best = findBest(e, pos, &escape);
      if (best.kind != Literal && best.gain > w.leaveCost() + escape.gain + 2) {
        w.leaveLiteralOnly();
        continue;
      }
      if (escape.kind == Escape) {
        w.escapeMatch(escape.distance, escape.length);
        pos += escape.length;
        continue;
      }
      noteLiteralPrice(e, w.literalCost(byte));
      w.literal(byte);
      pos++;
      continue;
    }

    Choice best = findBest(e, pos, nullptr);
    if (best.kind != Literal && best.length < LazyBelow && pos + 1 < e.fileEnd) {
      Choice next = findBest(e, pos + 1, nullptr, LookAheadChain);
      if (next.gain > best.gain + e.literalEstimate / 2) best = Choice();
    }
    // Variant 1 lengthens one short code by a bit; switch back once that has
    // cost more than the switch.
    if (w.model.shortCodeVariant == 1 && best.kind != Far && e.variantPenalty > 40) {
      w.toggleVariant();
      e.variantPenalty = 0;
    }
    switch (best.kind) {
      case Literal:
        noteLiteralPrice(e, w.literalCost(byte));
        w.literal(byte);
        break;
      case Short:
        if (w.model.shortCodeVariant == 1 &&
            currentShortCodeSet(&w.model)->length[best.length - 2] == 0)
          e.variantPenalty++;
        w.shortMatch(best.distance, best.length);
        break;
      case Repeat: w.repeat(); break;
      case Recent: w.recent(best.index, best.length); break;
      case Far:
        if (w.model.shortCodeVariant == 0) w.toggleVariant();
        e.variantPenalty = 0;
        w.farMatch(best.distance, best.length);
        break;
      case Long: w.longMatch(best.distance, best.length); break;
      case Escape: break;
    }
    pos += best.length;
  }
}

// Forgets the bytes no step can reach any more.
void dropOldBytes(V15Encoder& e) {
  size_t keep = e.pos > FarReach + 1 ? e.pos - FarReach - 1 : 0;
  if (keep < e.bufBase + DropStep) return;
  e.buf.erase(e.buf.begin(), e.buf.begin() + (keep - e.bufBase));
  e.bufBase = keep;
}

}  // namespace

V15Encoder::V15Encoder() : head(size_t(1) << HashBits, -1), prev(ChainMask + 1, -1) {}

void beginV15File(V15Encoder& e, bool solid) {
  e.solidFile = solid;
  e.started = false;
  if (!solid) {
    e.buf.clear();
    e.bufBase = 0;
    e.pos = 0;
    std::fill(e.head.begin(), e.head.end(), -1);
    e.inserted = 0;
    e.literalEstimate = 8;
    e.variantPenalty = 0;
  }
}

void feedV15(V15Encoder& e, const uint8_t* bytes, size_t size, std::vector<uint8_t>* out) {
  if (size == 0) return;
  if (!e.started) e.writer.startFile(e.solidFile, size);
  e.started = true;
  e.buf.insert(e.buf.end(), bytes, bytes + size);
  e.fileEnd = endOf(e);
  // A step looks at most MaxLength bytes ahead, from the next position too: the steps
  // come out as they would with the whole file at hand.
  if (e.fileEnd > MaxLength + 1) parseUpTo(e, e.fileEnd - MaxLength - 1);
  e.writer.takeFinished(out);
  dropOldBytes(e);
}

void endV15File(V15Encoder& e, std::vector<uint8_t>* out) {
  if (!e.started) e.writer.startFile(e.solidFile, 0);
  parseUpTo(e, e.fileEnd);
  e.writer.takeFinished(out);
  std::vector<uint8_t> rest = e.writer.finishFile();
  out->insert(out->end(), rest.begin(), rest.end());
}

std::vector<uint8_t> encodeV15File(V15Encoder& e, const uint8_t* bytes, size_t size, bool solid) {
  std::vector<uint8_t> out;
  beginV15File(e, solid);
  feedV15(e, bytes, size, &out);
  endV15File(e, &out);
  return out;
}
