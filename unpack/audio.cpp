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

static inline uint16_t absolute16(int16_t v) { return (uint16_t)(v < 0 ? -v : v); }

void endAudioCycle(AudioChannelState* st, AudioBatch* batch) {
  // In 16-bit lanes, which the compiler turns into vector code: the terms lie within
  // -255 .. 255 and |e +- term| is at most 1024 + 255, so 32 of them stay below 65,536.
  uint16_t s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0, s6 = 0, s7 = 0, s8 = 0, s9 = 0, s10 = 0;
  const int16_t* d = batch->delta;
  for (uint32_t k = 0; k < AudioCycleBytes; k++) {
    int16_t e = batch->e[k], x = batch->cross[k];
    int16_t t0 = d[k + 3], t1 = (int16_t)(d[k + 3] - d[k + 2]), t2 = (int16_t)(d[k + 2] - d[k + 1]),
            t3 = (int16_t)(d[k + 1] - d[k]);
    s0 = (uint16_t)(s0 + absolute16(e));
    s1 = (uint16_t)(s1 + absolute16((int16_t)(e - t0)));
    s2 = (uint16_t)(s2 + absolute16((int16_t)(e + t0)));
    s3 = (uint16_t)(s3 + absolute16((int16_t)(e - t1)));
    s4 = (uint16_t)(s4 + absolute16((int16_t)(e + t1)));
    s5 = (uint16_t)(s5 + absolute16((int16_t)(e - t2)));
    s6 = (uint16_t)(s6 + absolute16((int16_t)(e + t2)));
    s7 = (uint16_t)(s7 + absolute16((int16_t)(e - t3)));
    s8 = (uint16_t)(s8 + absolute16((int16_t)(e + t3)));
    s9 = (uint16_t)(s9 + absolute16((int16_t)(e - x)));
    s10 = (uint16_t)(s10 + absolute16((int16_t)(e + x)));
  }
  const uint16_t sums[11] = {s0, s1, s2, s3, s4, s5, s6, s7, s8, s9, s10};
  for (int i = 0; i < 11; i++) st->errorSums[i] += sums[i];
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
