#include "pack/encode_v20_header.h"

#include <string.h>

#include "pack/huffman_encoder.h"

namespace {

enum { RepeatPrevious = 16, ShortZeros = 17, LongZeros = 18, CodeLengthCount = 19 };

const uint32_t extraBitsOf[CodeLengthCount] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                               0, 0, 0, 0, 0, 0, 2, 3, 7};

// One pass: the cheapest symbol sequence under the given symbol costs (dynamic
// programming from the end of the table).
std::vector<uint16_t> cheapestItems(const uint8_t* target, int size, const uint8_t* base,
                                    const uint32_t* cost) {
  std::vector<uint64_t> best(size + 1, 0);
  std::vector<uint16_t> choice(size + 1, 0);
  std::vector<int> zeroRun(size + 1, 0), equalRun(size + 1, 0);
  // The places a long zero run may end at, as a deque over `reach` (front at `first`):
  // indices rising from front to back, their best costs falling, so the back is the
  // cheapest, the nearest of equals. Every run length from 11 to 138 is weighed at
  // once, as a walk over all of them taking the first cheapest would.
  std::vector<int> reach(size + 2);
  int first = size + 1, last = size + 1;
  for (int i = size - 1; i >= 0; i--) {
    zeroRun[i] = target[i] == 0 ? zeroRun[i + 1] + 1 : 0;
    equalRun[i] = (i + 1 < size && target[i + 1] == target[i]) ? equalRun[i + 1] + 1 : 1;
  }
  for (int i = size - 1; i >= 0; i--) {
    uint32_t delta = (uint32_t)(target[i] - base[i]) & 15;
    uint64_t bestCost = cost[delta] + best[i + 1];
    uint16_t bestItem = (uint16_t)delta;
    auto consider = [&](uint32_t symbol, int count, int advance) {
      uint64_t c = cost[symbol] + extraBitsOf[symbol] + best[i + advance];
      if (c < bestCost) {
        bestCost = c;
        uint32_t minimum = symbol == LongZeros ? 11 : 3;
        bestItem = (uint16_t)(symbol | (count - minimum) << 5);
      }
    };
    // A run code may claim more entries than are left: the decoder stops at the end.
    if (i > 0 && target[i] == target[i - 1]) {
      int run = equalRun[i];
      for (int r = 3; r <= 6 && r <= run; r++) consider(RepeatPrevious, r, r);
      if (run < 3 && i + run == size) consider(RepeatPrevious, 3, run);
    }
    if (target[i] == 0) {
      int run = zeroRun[i];
      for (int r = 3; r <= 10 && r <= run; r++) consider(ShortZeros, r, r);
      if (run >= 11) {
        int nearest = i + 11, farthest = i + (run < 138 ? run : 138);
        while (first < last && best[reach[first]] >= best[nearest]) first++;
        reach[--first] = nearest;
        while (reach[last - 1] > farthest) last--;
        int r = reach[last - 1] - i;
        consider(LongZeros, r, r);
      }
      if (run < 3 && i + run == size) consider(ShortZeros, 3, run);
    } else {
      first = last = size + 1;
    }
    best[i] = bestCost;
    choice[i] = bestItem;
  }
  std::vector<uint16_t> items;
  for (int i = 0; i < size;) {
    uint16_t item = choice[i];
    items.push_back(item);
    uint32_t symbol = item & 31, extra = item >> 5;
    if (symbol < RepeatPrevious) {
      i++;
    } else {
      int count = (int)extra + (symbol == LongZeros ? 11 : 3);
      i += count;
    }
  }
  return items;
}

TableHeaderPlan planWithBase(const uint8_t* target, int size, const uint8_t* base, bool keep,
                             int audioChannels) {
  TableHeaderPlan bestPlan;
  uint32_t cost[CodeLengthCount];
  for (int s = 0; s < CodeLengthCount; s++) cost[s] = s < 16 ? 4 : 5;
  for (int round = 0; round < 3; round++) {
    TableHeaderPlan plan;
    plan.keep = keep;
    plan.items = cheapestItems(target, size, base, cost);
    uint32_t counts[CodeLengthCount] = {0};
    for (uint16_t item : plan.items) counts[item & 31]++;
    buildCodeLengths(counts, CodeLengthCount, 15, plan.codeLengths);
    uint64_t bits = 2 + (audioChannels ? 2 : 0) + 4 * CodeLengthCount;
    for (uint16_t item : plan.items) bits += plan.codeLengths[item & 31] + extraBitsOf[item & 31];
    plan.bits = bits;
    bool settled = true;  // the next round would choose the same items again
    for (int s = 0; s < CodeLengthCount; s++) {
      uint32_t next = plan.codeLengths[s] ? plan.codeLengths[s] : 8;
      settled = settled && next == cost[s];
      cost[s] = next;
    }
    if (plan.bits < bestPlan.bits) bestPlan = std::move(plan);
    if (settled) break;
  }
  return bestPlan;
}

}  // namespace

TableHeaderPlan planTableHeader(const uint8_t* lengths, int size, const uint8_t* previousLengths,
                                int audioChannels) {
  static const uint8_t zeros[4 * 257] = {0};
  TableHeaderPlan fresh = planWithBase(lengths, size, zeros, false, audioChannels);
  // Added to no lengths at all, the lengths kept are the fresh ones.
  bool nothingKept = true;
  for (int s = 0; s < size && nothingKept; s++) nothingKept = previousLengths[s] == 0;
  if (nothingKept) return fresh;
  TableHeaderPlan kept = planWithBase(lengths, size, previousLengths, true, audioChannels);
  return kept.bits < fresh.bits ? kept : fresh;
}

void writeTableHeader(BitOutput& out, const TableHeaderPlan& plan, int audioChannels) {
  out.put(audioChannels ? 1 : 0, 1);
  out.put(plan.keep ? 1 : 0, 1);
  if (audioChannels) out.put((uint32_t)(audioChannels - 1), 2);
  for (int s = 0; s < CodeLengthCount; s++) out.put(plan.codeLengths[s], 4);
  uint16_t codes[CodeLengthCount];
  assignCanonicalCodes(plan.codeLengths, CodeLengthCount, codes);
  for (uint16_t item : plan.items) {
    uint32_t symbol = item & 31;
    out.put(codes[symbol], plan.codeLengths[symbol]);
    out.put(item >> 5, extraBitsOf[symbol]);
  }
}
