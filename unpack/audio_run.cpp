// Multimedia blocks decoded a run of bytes at a time. The channels take turns byte by
// byte, so the turn is written out channel by channel: each channel's weights and
// previous value then stay in locals (registers, or fixed stack slots) for the whole
// run instead of being reloaded through a pointer that follows the rotation. Its
// recent deltas are read back from its batch, which holds them anyway.
#include "unpack/audio_run.h"

#include "unpack/audio.h"
#include "unpack/step_run.h"

// One channel's predictor while a run lasts. The prediction is the same sum as
// audioPredict's, regrouped over the channel's last four deltas d1 (the latest) .. d4:
// its terms are d1, d1 - d2, d2 - d3 and d3 - d4, so
//   w0 t0 + w1 t1 + w2 t2 + w3 t3 = (w0 + w1) d1 + (w2 - w1) d2 + (w3 - w2) d3 - w3 d4.
struct AudioLane {
  int32_t a1, a2, a3, a4;  // the regrouped weights of d1 .. d4
  int32_t crossWeight;
  int32_t prevValue;
  uint32_t counter;
};

static void loadWeights(AudioLane* lane, const AudioChannelState* st) {
  const int32_t* w = st->weights;
  lane->a1 = w[0] + w[1];
  lane->a2 = w[2] - w[1];
  lane->a3 = w[3] - w[2];
  lane->a4 = -w[3];
  lane->crossWeight = w[4];
}

// Writes the lane back; the terms and the latest delta come from the batch.
static void storeLane(const AudioLane* lane, AudioChannelState* st, const AudioBatch* batch) {
  // The last slot filled; a cycle's end leaves delta[32 ..] in place, so slot 31's
  // deltas read the same after it.
  const int16_t* d = batch->delta + ((lane->counter - 1) & (AudioCycleBytes - 1));
  st->recentDelta = d[4];
  st->terms[0] = d[3];
  st->terms[1] = d[3] - d[2];
  st->terms[2] = d[2] - d[1];
  st->terms[3] = d[1] - d[0];
  st->prevValue = lane->prevValue;
  st->byteCounter = (int32_t)lane->counter;
}

// Steps that may run before the frame has to look again, at least 1; 0 when it has
// something to do now: a refill, a flush, or the file is complete. A step produces
// one byte and reads at most 15 bits.
static uint32_t audioBudget(const StepRun& r, uint32_t flushedPos) {
  if (r.remaining < 0 || (r.position() >> 3) > StepRefillLimit) return 0;
  uint32_t freeSpan = (flushedPos - r.writePos) & WindowMask;
  if (freeSpan < FlushMargin && flushedPos != r.writePos) return 0;
  uint32_t quiet = (uint32_t)r.remaining;
  const uint32_t bitLimit = (StepRefillLimit + 1) * 8;
  uint32_t position = r.position();
  uint32_t byReading = position < bitLimit ? (bitLimit - 1 - position) / 15 : 0;
  if (byReading < quiet) quiet = byReading;
  uint32_t byWriting = freeSpan == 0 ? WindowSize - FlushMargin
                                     : (freeSpan >= FlushMargin ? freeSpan - FlushMargin : 0);
  if (byWriting < quiet) quiet = byWriting;
  return quiet + 1;
}

// Lane i is channel (first channel + i) modulo the count, so every turn starts at lane
// 0 whatever channel the run starts on.
bool runAudioSteps() {
  V20State* v = &unpackState.v20;
  const uint32_t flushedPos = unpackState.flushedPos;
  const int32_t start = v->currentChannel;
  const int Channels = v->channelCount;
  int32_t crossDelta = v->crossDelta;
  AudioLane lanes[MaxChannels];
  AudioChannelState* states[MaxChannels];
  AudioBatch* batches[MaxChannels];
  const HuffmanTable* tables[MaxChannels];
  for (int i = 0; i < Channels; i++) {
    int32_t channel = (start + i) % Channels;
    states[i] = &v->audio[channel];
    batches[i] = &v->audioBatches[channel];
    tables[i] = &v->audioTables[channel];
    loadWeights(&lanes[i], states[i]);
    lanes[i].prevValue = states[i]->prevValue;
    lanes[i].counter = (uint32_t)states[i]->byteCounter;
  }
  StepRun r;
  r.load();
  // The bytes owed are counted off when the budget is renewed and at the end, from
  // the write position: no budget spans a whole window.
  uint32_t countedPos = r.writePos;
  uint32_t budget = audioBudget(r, flushedPos);
  bool switched = false;
  int next = 0;  // the lane whose turn comes after the run
  for (;;) {
    // A stretch of turns in which no lane reaches the end of its cycle before the last
    // turn, so the loop below makes no call and keeps its values in registers. Lane
    // i's slots run on from first[i] without wrapping.
    uint32_t first[MaxChannels], turns = AudioCycleBytes;
    for (int i = 0; i < Channels; i++) {
      first[i] = lanes[i].counter & (AudioCycleBytes - 1);
      if (AudioCycleBytes - first[i] < turns) turns = AudioCycleBytes - first[i];
    }
    uint32_t steps = budget < turns * Channels ? budget : turns * Channels;
    uint32_t left = steps;
    uint32_t turn = 0;
    // One byte on lane i; false ends the stretch: a table switch (which produces
    // nothing) or the last step.
    auto step = [&](int i) __attribute__((always_inline)) {
      AudioLane& lane = lanes[i];
      AudioBatch& batch = *batches[i];
      uint32_t s = r.onlySymbol(tables[i]);
      if (s == 256) {
        switched = true;
        next = i;
        return false;
      }
      uint32_t slot = first[i] + turn;
      const int16_t* d = batch.delta + slot;
      int32_t p = 8 * lane.prevValue + lane.a1 * d[3] + lane.a2 * d[2] + lane.a3 * d[1] +
                  lane.a4 * d[0] + lane.crossWeight * crossDelta;
      int32_t value = ((p >> 3) & 0xFF) - (int32_t)s;
      batch.e[slot] = (int16_t)(8 * audioSignedByte((int32_t)s));
      batch.cross[slot] = (int16_t)crossDelta;
      crossDelta = audioSignedByte(value - lane.prevValue);
      batch.delta[slot + 4] = (int16_t)crossDelta;
      lane.prevValue = value;
      r.window[r.writePos] = (uint8_t)value;
      r.writePos = (r.writePos + 1) & WindowMask;
      next = i + 1;
      return --left != 0;
    };
    // The turn written out lane by lane, so that every lane is a set of locals rather
    // than an element of an indexed array.
    for (;; turn++) {
      if (!step(0)) break;
      if (Channels > 1 && !step(1)) break;
      if (Channels > 2 && !step(2)) break;
      if (Channels > 3 && !step(3)) break;
    }
    // Each lane's bytes of the stretch; a lane whose cycle ended gets its new weights
    // before its next byte.
    for (int i = 0; i < Channels; i++) {
      uint32_t made = turn + (i < next ? 1 : 0);
      lanes[i].counter += made;
      if (made != 0 && first[i] + made == AudioCycleBytes) {
        endAudioCycle(states[i], batches[i]);
        loadWeights(&lanes[i], states[i]);
      }
    }
    budget -= steps - left;
    // Within a turn the run simply ends: the step frame looks, and the next run starts
    // its lanes at the following channel. After whole turns the run goes on, or looks
    // itself once the budget is spent.
    if (switched || next != Channels) break;
    next = 0;
    if (budget == 0) {
      r.remaining -= (r.writePos - countedPos) & WindowMask;
      countedPos = r.writePos;
      budget = audioBudget(r, flushedPos);
      if (budget == 0) break;
    }
  }
  if (next == Channels) next = 0;
  r.remaining -= (r.writePos - countedPos) & WindowMask;
  for (int i = 0; i < Channels; i++) storeLane(&lanes[i], states[i], batches[i]);
  r.store();
  v->crossDelta = crossDelta;
  v->currentChannel = (start + next) % Channels;
  return switched;
}
