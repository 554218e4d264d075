// The multimedia predictor's weight adjustment and its whole-byte steps.
#include "unpack/audio.h"

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

static inline uint16_t absolute16(int16_t v) { return (uint16_t)(v < 0 ? -v : v); }

void foldAudioErrors(AudioChannelState* st, AudioErrorBatch* batch) {
  // Unused places read as zeros, which add nothing: the loop always runs over the
  // whole batch, in a form the compiler turns into vector code.
  for (uint32_t i = batch->count; i < AudioBatchBytes; i++) {
    batch->e[i] = batch->t0[i] = batch->t1[i] = batch->t2[i] = batch->t3[i] = batch->cross[i] = 0;
  }
  // In 16 bits: |e +- term| is at most 1024 + 255, so 32 of them stay below 65,536.
  uint16_t sums[11] = {};
  for (uint32_t i = 0; i < AudioBatchBytes; i++) {
    int16_t e = batch->e[i];
    const int16_t terms[5] = {batch->t0[i], batch->t1[i], batch->t2[i], batch->t3[i], batch->cross[i]};
    sums[0] = (uint16_t)(sums[0] + absolute16(e));
    for (int k = 0; k < 5; k++) {
      sums[2 * k + 1] = (uint16_t)(sums[2 * k + 1] + absolute16((int16_t)(e - terms[k])));
      sums[2 * k + 2] = (uint16_t)(sums[2 * k + 2] + absolute16((int16_t)(e + terms[k])));
    }
  }
  for (int k = 0; k < 11; k++) st->errorSums[k] += sums[k];
  batch->count = 0;
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
