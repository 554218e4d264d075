// Table blocks cut by content: the parse makes short blocks, and neighbours whose
// symbols cost less under one set of tables than under two (headers included) are
// joined, the most profitable pair first, until no join pays. Joined blocks keep their
// places (a file's first block must) and share the tables of the run's first.
#pragma once

#include <stddef.h>

#include <vector>

#include "pack/encode_v20_block.h"

// Joins LZ blocks[first, last) (consecutive).
void mergeBlocksByCost(std::vector<Block>& blocks, size_t first, size_t last);
// Joins audio blocks[first, last), all of one channel count.
void mergeAudioBlocksByCost(std::vector<Block>& blocks, size_t first, size_t last);
