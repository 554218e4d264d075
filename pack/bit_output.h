// An MSB-first bit sink: the order in which the decoder's bit reader consumes bits.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct BitOutput {
  std::vector<uint8_t> bytes;
  uint64_t accumulator = 0;  // pending bits, right-aligned
  uint32_t pendingBits = 0;  // how many of them

  // Appends the low `count` bits of value (count 0..32), most significant first.
  void put(uint32_t value, uint32_t count) {
    if (count == 0) return;
    accumulator = (accumulator << count) | (value & (count == 32 ? 0xFFFFFFFFu : ((1u << count) - 1)));
    pendingBits += count;
    while (pendingBits >= 8) {
      pendingBits -= 8;
      bytes.push_back((uint8_t)(accumulator >> pendingBits));
    }
  }

  uint64_t bitCount() const { return (uint64_t)bytes.size() * 8 + pendingBits; }

  // Pads the last byte with zero bits and returns the whole stream.
  std::vector<uint8_t> finish() {
    if (pendingBits > 0) put(0, 8 - pendingBits);
    accumulator = 0;
    return std::move(bytes);
  }
};
