// The multimedia predictor. All arithmetic stays on small signed integers: deltas are
// signed bytes, weights lie in -17..16, so no sum can overflow.
#include "unpack/audio.h"

#include <stdlib.h>

void audioStartByte(AudioChannelState* st) {
  // Wraps instead of overflowing in a long solid run; only its low 5 bits matter.
  st->byteCounter = (int32_t)((uint32_t)st->byteCounter + 1);
  st->terms[3] = st->terms[2];
  st->terms[2] = st->terms[1];
  st->terms[1] = st->recentDelta - st->terms[0];
  st->terms[0] = st->recentDelta;
}

int audioPredict(const AudioChannelState* st, int32_t crossDelta) {
  // prevValue may hold a value outside 0..255; a multiple of 256 in it moves p by a
  // multiple of 2048 and vanishes in the final mask.
  int32_t p = 8 * st->prevValue + st->weights[0] * st->terms[0] + st->weights[1] * st->terms[1] +
              st->weights[2] * st->terms[2] + st->weights[3] * st->terms[3] +
              st->weights[4] * crossDelta;
  return (p >> 3) & 0xFF;  // arithmetic shift: a negative p rounds towards minus infinity
}

static inline int32_t signedByte(int32_t v) { return (int32_t)(int8_t)(uint8_t)(v & 0xFF); }

// Picks the smallest of the eleven error sums (the lowest index wins a tie, so sum 0,
// "no change", wins whenever it is among the minima) and nudges the weight it favours.
// The bounds are deliberately asymmetric: a weight may fall to -17 but rise only to 16.
static void adjustWeights(AudioChannelState* st) {
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

uint8_t audioUpdate(AudioChannelState* st, int32_t* crossDelta, int predicted, uint32_t symbol) {
  int32_t value = predicted - (int32_t)symbol;
  int32_t e = 8 * signedByte((int32_t)symbol);
  // Odd sums measure e - input (a win lowers that input's weight), even sums e + input.
  const int32_t inputs[5] = {st->terms[0], st->terms[1], st->terms[2], st->terms[3], *crossDelta};
  st->errorSums[0] += (uint32_t)abs(e);
  for (int i = 0; i < 5; i++) {
    st->errorSums[2 * i + 1] += (uint32_t)abs(e - inputs[i]);
    st->errorSums[2 * i + 2] += (uint32_t)abs(e + inputs[i]);
  }
  st->recentDelta = signedByte(value - st->prevValue);
  *crossDelta = st->recentDelta;
  st->prevValue = value;
  // The 32nd byte's own errors count towards the choice; its output already used the
  // old weights.
  if ((st->byteCounter & 31) == 0) adjustWeights(st);
  return (uint8_t)(value & 0xFF);
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
