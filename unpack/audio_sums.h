// The error sums of a multimedia channel's cycle, added up from the batch its decoder
// runs fill (see AudioBatch).
#pragma once

#include <stdint.h>

// The index of the smallest of eleven error sums, the lowest on a tie.
uint32_t smallestAudioSum(const uint32_t* sums);

// The index (0 .. 10) of the smallest of the cycle's eleven error sums, the lowest on a
// tie: the sum of |e| and, for each of the five predictor inputs, those of |e - input|
// and |e + input|. The batch holds the whole cycle; no sums are carried over.
uint32_t bestCycleSum(const int16_t* words);

// How they are added: 1 (the start) in 256-bit vectors where the processor has them,
// checked at the first call, 0 always in the plain loops. Tests set 0 to run both.
extern int audioSumsInVectors;
