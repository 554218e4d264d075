// The error sums of a multimedia channel's cycle, added up from the batch its decoder
// runs fill (see AudioBatch).
#pragma once

#include <stdint.h>

// Adds the cycle's eleven sums to sums[0 .. 10]: the sum of |e| and, for each of the
// five predictor inputs, those of |e - input| and |e + input|.
void addCycleErrorSums(const int16_t* words, uint32_t* sums);

// How they are added: 1 (the start) in 256-bit vectors where the processor has them,
// checked at the first call, 0 always in the plain loops. Tests set 0 to run both.
extern int audioSumsInVectors;
