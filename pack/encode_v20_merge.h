// Table blocks cut by content: the parse makes short blocks, and neighbours whose
// symbols cost less under one set of tables than under two (headers included) are
// joined, the most profitable pair first, until no join pays. Blocks of one file become
// one block; a block that starts a file keeps its place and shares the tables.
#pragma once

#include <stddef.h>

#include <vector>

#include "pack/encode_v20_block.h"

// Joins LZ blocks[first, last) (consecutive) in place; fileStarts (ascending) are the
// positions where files begin.
void mergeBlocksByCost(std::vector<Block>& blocks, size_t first, size_t last,
                       const std::vector<uint32_t>& fileStarts);
