// Opening an input the walk found, and only that one.
#pragma once

#include <stdio.h>

#include "pack/input_walk.h"

// Opens the file the walk found. Something put in its place since (a pipe, which
// would stall the read, a link, another file) is not read: null, errno 0.
FILE* openWalkedFile(const InputEntry& input);
