#include "pack/huffman_encoder.h"

#include <algorithm>
#include <queue>
#include <vector>

namespace {

// Plain Huffman code lengths, unlimited.
int huffmanLengths(const std::vector<uint64_t>& weights, const std::vector<int>& symbols,
                   uint8_t* lengths) {
  struct Node {
    uint64_t weight;
    int parent;
  };
  std::vector<Node> nodes;
  nodes.reserve(symbols.size() * 2);
  using Item = std::pair<uint64_t, int>;  // weight, node; ties broken by node index
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
  for (size_t i = 0; i < symbols.size(); i++) {
    nodes.push_back({weights[i], -1});
    queue.push({weights[i], (int)i});
  }
  while (queue.size() > 1) {
    Item a = queue.top();
    queue.pop();
    Item b = queue.top();
    queue.pop();
    int parent = (int)nodes.size();
    nodes.push_back({a.first + b.first, -1});
    nodes[a.second].parent = parent;
    nodes[b.second].parent = parent;
    queue.push({a.first + b.first, parent});
  }
  // Parents are created after their children, so depths resolve from the root down.
  std::vector<int> depth(nodes.size(), 0);
  for (int n = (int)nodes.size() - 2; n >= 0; n--) depth[n] = depth[nodes[n].parent] + 1;
  int longest = 0;
  for (size_t i = 0; i < symbols.size(); i++) {
    lengths[symbols[i]] = (uint8_t)depth[i];
    longest = std::max(longest, depth[i]);
  }
  return longest;
}

}  // namespace

void buildCodeLengths(const uint32_t* counts, int count, int maxLength, uint8_t* lengths) {
  std::vector<int> symbols;
  std::vector<uint64_t> weights;
  for (int s = 0; s < count; s++) {
    lengths[s] = 0;
    if (counts[s] != 0) {
      symbols.push_back(s);
      weights.push_back(counts[s]);
    }
  }
  if (symbols.empty()) return;
  if (symbols.size() == 1) {
    lengths[symbols[0]] = 1;
    return;
  }
  // Flattening the weights until the tree fits costs little and converges in a few
  // rounds; the lengths stay close to optimal.
  while (huffmanLengths(weights, symbols, lengths) > maxLength) {
    for (uint64_t& w : weights) w = (w >> 1) | 1;
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
