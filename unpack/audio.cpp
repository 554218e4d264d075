// The multimedia predictor's weight adjustment and its whole-byte steps.
#include "unpack/audio.h"

#include <string.h>

// Picks the smallest of the eleven error sums (the lowest index wins a tie, so sum 0,
// "no change", wins whenever it is among the minima) and nudges the weight it favours.
// The bounds are deliberately asymmetric: a weight may fall to -17 but rise only to 16.
void adjustAudioWeights(AudioChannelState* st) {
  uint32_t best = st->errorSums[0];
  int k = 0;
  for (int i = 1; i < 11; i++) {
    if (st->errorSums[i] < best) {
      best = st->errorSums[i];
      k = i;
    }
  }
  for (int i = 0; i < 11; i++) st->errorSums[i] = 0;
  if (k == 0) return;
  int32_t* w = &st->weights[(k - 1) / 2];
  if (k & 1) {
    if (*w >= -16) (*w)--;
  } else {
    if (*w < 16) (*w)++;
  }
}

// The batch's sums of |e - input| and |e + input| for one input over the cycle's bytes,
// in 16-bit lanes: the inputs lie within -255 .. 255 and |e +- input| is at most
// 1024 + 255, so 32 of them stay below 65,536. One input at a time, each loop is plain
// enough for the compiler to run eight or sixteen bytes per instruction.
static inline void addErrorPair(const int16_t* e, const int16_t* input, uint32_t* minus, uint32_t* plus) {
  uint16_t down = 0, up = 0;
  for (uint32_t k = 0; k < AudioCycleBytes; k++) {
    int16_t a = (int16_t)(e[k] - input[k]), b = (int16_t)(e[k] + input[k]);
    down = (uint16_t)(down + (uint16_t)(a < 0 ? -a : a));
    up = (uint16_t)(up + (uint16_t)(b < 0 ? -b : b));
  }
  *minus += down;
  *plus += up;
}

void endAudioCycle(AudioChannelState* st, AudioBatch* batch) {
  // The predictor's inputs of every byte of the cycle, from the deltas before it.
  int16_t inputs[4][AudioCycleBytes];
  const int16_t* d = batch->delta;
  for (uint32_t k = 0; k < AudioCycleBytes; k++) {
    inputs[0][k] = d[k + 3];
    inputs[1][k] = (int16_t)(d[k + 3] - d[k + 2]);
    inputs[2][k] = (int16_t)(d[k + 2] - d[k + 1]);
    inputs[3][k] = (int16_t)(d[k + 1] - d[k]);
  }
  uint16_t plain = 0;
  for (uint32_t k = 0; k < AudioCycleBytes; k++) {
    int16_t e = batch->e[k];
    plain = (uint16_t)(plain + (uint16_t)(e < 0 ? -e : e));
  }
  uint32_t* sums = st->errorSums;
  sums[0] += plain;
  for (int i = 0; i < 4; i++) addErrorPair(batch->e, inputs[i], &sums[1 + 2 * i], &sums[2 + 2 * i]);
  addErrorPair(batch->e, batch->cross, &sums[9], &sums[10]);
  adjustAudioWeights(st);
  memcpy(batch->delta, batch->delta + AudioCycleBytes, 4 * sizeof batch->delta[0]);
}

uint32_t audioEncodeByte(AudioChannelState* st, int32_t* crossDelta, uint8_t byte) {
  audioStartByte(st);
  int predicted = audioPredict(st, *crossDelta);
  uint32_t symbol = (uint32_t)(predicted - byte) & 0xFF;
  audioUpdate(st, crossDelta, predicted, symbol);
  return symbol;
}

uint8_t decodeAudioByte(uint32_t symbol) {
  V20State* v = &unpackState.v20;
  AudioChannelState* st = &v->audio[v->currentChannel];
  audioStartByte(st);
  int predicted = audioPredict(st, v->crossDelta);
  return audioUpdate(st, &v->crossDelta, predicted, symbol);
}
