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
