// The order of a solid archive's files. Files with much in common pack smaller next to
// each other: the later one finds the earlier in the window. The walk's name order
// keeps a folder's files together, but related files often lie in different folders
// (a library and the programs built on it) or far apart in a long one.
#pragma once

#include <vector>

#include "pack/input_walk.h"

// Puts the folders first, in their order, then chains the files by likeness: after
// each file comes the one not yet placed that shares the most content with it or,
// when none shares enough, the first not yet placed in the given order. Content is
// compared on each file's first MiB; a file that cannot be read now keeps its turn
// (its real read fails later, with the reason). The result depends on the given
// order and the files' contents alone, not on the threads that read them.
void orderForSolidPacking(std::vector<InputEntry>& entries, int threads = 1);
