// The order of a solid archive's files. Files with much in common pack smaller next to
// each other: the later one finds the earlier in the window. Name order puts related
// files of a long folder far apart (the programs built with the same compiler, the
// versions of one library), so within a folder they are put together.
#pragma once

#include <vector>

#include "pack/input_walk.h"

// Puts the folders first, in their order, then the files folder by folder: the
// folders in the order their first files come, each folder's files chained by
// likeness. After each file comes the one of its folder not yet placed that shares the
// most content with it or, when none shares enough, the first not yet placed in the
// given order. Files stay with their folder because an extractor keeps the folder it
// last wrote into at hand: the installer holds it open, checked, for the next file.
// Content is compared on each file's first MiB; a file that cannot be read now keeps
// its turn (its real read fails later, with the reason). The result depends on the
// given order and the files' contents alone, not on the threads that read them.
void orderForSolidPacking(std::vector<InputEntry>& entries, int threads = 1);
