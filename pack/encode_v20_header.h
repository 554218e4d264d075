// The table header of the version 2.0 method, written the way the decoder reads it:
// lengths as symbols of a 19-symbol code-length code, either absolute or added modulo
// 16 to the lengths of the previous header (the keep flag), with run codes 16/17/18.
#pragma once

#include <stdint.h>

#include <vector>

#include "pack/bit_output.h"

struct TableHeaderPlan {
  bool keep = false;
  uint8_t codeLengths[19] = {0};
  std::vector<uint16_t> items;  // symbol | extra << 5, in stream order
  uint64_t bits = UINT64_MAX;   // whole header, flags included
};

// Cheapest coding of lengths[0..size-1] given the previous header's lengths (1028
// entries); audioChannels 0 for an LZ header.
TableHeaderPlan planTableHeader(const uint8_t* lengths, int size, const uint8_t* previousLengths,
                                int audioChannels);

void writeTableHeader(BitOutput& out, const TableHeaderPlan& plan, int audioChannels);
