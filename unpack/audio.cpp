// The multimedia predictor's weight adjustment and its whole-byte steps.
#include "unpack/audio.h"

#include "unpack/audio_sums.h"

#include <string.h>

// Picks the smallest of the eleven error sums (the lowest index wins a tie, so sum 0,
// "no change", wins whenever it is among the minima) and nudges the weight it favours.
// The bounds are deliberately asymmetric: a weight may fall to -17 but rise only to 16.
// The choice is data, not a branch: which sum wins is as good as random, and a wrong
// guess costs more than the whole choice.
void adjustAudioWeights(AudioChannelState* st) {
  // The sum and its index in one key, so that the lowest index wins a tie.
  uint64_t best = (uint64_t)st->errorSums[0] << 4;
  for (uint32_t i = 1; i < 11; i++) {
    uint64_t key = (uint64_t)st->errorSums[i] << 4 | i;
    best = key < best ? key : best;
  }
  for (int i = 0; i < 11; i++) st->errorSums[i] = 0;
  uint32_t k = (uint32_t)(best & 15);
  // Sum 2i + 1 lowers weight i, sum 2i + 2 raises it; sum 0 moves nothing. Weights
  // only ever move by one within -17 .. 16, so the bounds are a clamp.
  uint32_t index = k == 0 ? 0 : (k - 1) / 2;
  int32_t step = k == 0 ? 0 : ((k & 1) ? -1 : 1);
  int32_t w = st->weights[index] + step;
  w = w < -17 ? -17 : w;
  st->weights[index] = w > 16 ? 16 : w;
}

void endAudioCycle(AudioChannelState* st, AudioBatch* batch) {
  addCycleErrorSums(batch->words, st->errorSums);
  adjustAudioWeights(st);
  memcpy(batch->words + AudioBatchDelta, batch->words + AudioBatchDelta + AudioCycleBytes,
         4 * sizeof batch->words[0]);
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
