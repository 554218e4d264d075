// The multimedia predictor's weight adjustment and its whole-byte steps.
#include "unpack/audio.h"

#include "unpack/audio_sums.h"

// Nudges the weight that sum k favours: sum 2i + 1 lowers weight i, sum 2i + 2 raises
// it, sum 0 ("no change") moves nothing. The bounds are deliberately asymmetric: a
// weight may fall to -17 but rise only to 16. Weights only ever move by one within
// them, so the bounds are a clamp, and the whole nudge is data, not branches.
static void nudgeAudioWeight(AudioChannelState* st, uint32_t k) {
  uint32_t index = k == 0 ? 0 : (k - 1) / 2;
  int32_t step = k == 0 ? 0 : ((k & 1) ? -1 : 1);
  int32_t w = st->weights[index] + step;
  w = w < -17 ? -17 : w;
  st->weights[index] = w > 16 ? 16 : w;
}

// Picks the smallest of the eleven error sums (the lowest index wins a tie, so sum 0,
// "no change", wins whenever it is among the minima) and nudges the weight it favours.
void adjustAudioWeights(AudioChannelState* st) {
  uint32_t k = smallestAudioSum(st->errorSums);
  for (int i = 0; i < 11; i++) st->errorSums[i] = 0;
  nudgeAudioWeight(st, k);
}

void endAudioCycle(AudioChannelState* st, AudioBatch* batch) {
  nudgeAudioWeight(st, bestCycleSum(batch->words));
  // The last four deltas go in front, word by word: they were stored a moment ago,
  // sixteen bits at a time, and one wider load over them would wait for the stores to
  // reach the cache.
  int16_t* d = batch->words + AudioBatchDelta;
  for (int k = 0; k < 4; k++) {
    int16_t latest;
    __atomic_load(&d[AudioCycleBytes + k], &latest, __ATOMIC_RELAXED);
    d[k] = latest;
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
