#include "pack/huffman_encoder.h"

#include <algorithm>

namespace {

enum { MostSymbols = 512 };  // more than any table of the format has

// Plain Huffman code lengths, unlimited, for n <= MostSymbols weights. The two lightest
// nodes are joined first, ties going to the lower node (leaves first, then parents in
// the order they were made), so the lengths depend on the weights alone. Parents are
// made in order of weight, so the lightest node is the lighter of the next leaf in
// sorted order and the oldest parent not yet joined; a table is built for every block,
// so nothing is allocated.
int huffmanLengths(const uint64_t* weights, const int* symbols, int n, uint8_t* lengths) {
  uint64_t weight[2 * MostSymbols];
  int parent[2 * MostSymbols];
  int order[MostSymbols];
  for (int i = 0; i < n; i++) {
    weight[i] = weights[i];
    order[i] = i;
  }
  std::sort(order, order + n, [&](int a, int b) { return weight[a] < weight[b] || (weight[a] == weight[b] && a < b); });
  int leaf = 0, oldest = n, made = n;
  auto lightest = [&]() {
    if (leaf < n && (oldest == made || weight[order[leaf]] <= weight[oldest])) return order[leaf++];
    return oldest++;
  };
  while (made < 2 * n - 1) {
    int a = lightest();
    int b = lightest();
    weight[made] = weight[a] + weight[b];
    parent[a] = parent[b] = made;
    made++;
  }
  // Parents are made after their children, so depths resolve from the root down.
  int depth[2 * MostSymbols];
  depth[made - 1] = 0;
  for (int node = made - 2; node >= 0; node--) depth[node] = depth[parent[node]] + 1;
  int longest = 0;
  for (int i = 0; i < n; i++) {
    lengths[symbols[i]] = (uint8_t)depth[i];
    longest = std::max(longest, depth[i]);
  }
  return longest;
}

}  // namespace

void buildCodeLengths(const uint32_t* counts, int count, int maxLength, uint8_t* lengths) {
  int symbols[MostSymbols];
  uint64_t weights[MostSymbols];
  int n = 0;
  for (int s = 0; s < count; s++) {
    lengths[s] = 0;
    if (counts[s] != 0 && n < MostSymbols) {
      symbols[n] = s;
      weights[n++] = counts[s];
    }
  }
  if (n == 0) return;
  if (n == 1) {
    lengths[symbols[0]] = 1;
    return;
  }
  // Flattening the weights until the tree fits costs little and converges in a few
  // rounds; the lengths stay close to optimal.
  while (huffmanLengths(weights, symbols, n, lengths) > maxLength) {
    for (int i = 0; i < n; i++) weights[i] = (weights[i] >> 1) | 1;
  }
}

void assignCanonicalCodes(const uint8_t* lengths, int count, uint16_t* codes) {
  uint32_t perLength[16] = {0};
  for (int s = 0; s < count; s++) perLength[lengths[s] & 15]++;
  perLength[0] = 0;
  uint32_t next[16] = {0};
  uint32_t code = 0;
  for (int len = 1; len < 16; len++) {
    code = (code + perLength[len - 1]) << 1;
    next[len] = code;
  }
  for (int s = 0; s < count; s++) {
    int len = lengths[s] & 15;
    codes[s] = len ? (uint16_t)next[len]++ : 0;
  }
}

uint64_t codedBits(const uint32_t* counts, const uint8_t* lengths, int count) {
  uint64_t bits = 0;
  for (int s = 0; s < count; s++) {
    if (counts[s] == 0) continue;
    if (lengths[s] == 0) return UINT64_MAX;
    bits += (uint64_t)counts[s] * lengths[s];
  }
  return bits;
}
