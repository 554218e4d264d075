// Multimedia blocks decoded a run of bytes at a time. Each channel's weights, previous
// value and place in its batch sit in a small record that the loop steps through in
// turn; its recent deltas are read back from its batch, which holds them anyway. Only
// the bit input, the write pointer and the delta of the byte before stay in registers.
#include "unpack/audio_run.h"

#include "unpack/audio.h"
#include "unpack/step_run.h"

// One channel's predictor while a run lasts. The prediction is the same sum as
// audioPredict's, regrouped over the channel's last four deltas d1 (the latest) .. d4:
// its terms are d1, d1 - d2, d2 - d3 and d3 - d4, so
//   w0 t0 + w1 t1 + w2 t2 + w3 t3 = (w0 + w1) d1 + (w2 - w1) d2 + (w3 - w2) d3 - w3 d4.
struct AudioLane {
  int16_t* slot;  // the batch words of the channel's next byte
  const int16_t* cycleEnd;  // its batch's slot past the cycle's last
  const uint16_t* quick;
  int32_t a1, a2, a3, a4;  // the regrouped weights of d1 .. d4
  int32_t crossWeight;
  int32_t prevValue;  // 0..255
  int32_t channel;
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
  uint32_t filled = (uint32_t)(lane->slot - batch->words);
  // The last slot filled; a cycle's end leaves its last deltas in front, so slot 31's
  // deltas read the same after it.
  const int16_t* d = batch->words + AudioBatchDelta + ((filled - 1) & (AudioCycleBytes - 1));
  st->recentDelta = d[4];
  st->terms[0] = d[3];
  st->terms[1] = d[3] - d[2];
  st->terms[2] = d[2] - d[1];
  st->terms[3] = d[1] - d[0];
  st->prevValue = lane->prevValue;
  st->byteCounter = (int32_t)(((uint32_t)st->byteCounter & ~(AudioCycleBytes - 1u)) | filled);
}

// Steps that may run before the frame has to look again, at least 1; 0 when it has
// something to do now: a refill, a flush, or the file is complete. A step produces
// one byte and reads at most 15 bits. The run writes through a pointer, so it also
// looks at the end of the window.
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
  uint32_t toEnd = WindowSize - 1 - r.writePos;
  if (toEnd < quiet) quiet = toEnd;
  return quiet + 1;
}

// The end of a channel's cycle, after its 32nd byte: its new weights apply from its
// next byte on.
static void finishCycle(AudioLane* lane) {
  V20State* v = &unpackState.v20;
  AudioChannelState* st = &v->audio[lane->channel];
  endAudioCycle(st, &v->audioBatches[lane->channel]);
  st->byteCounter = (int32_t)((uint32_t)st->byteCounter + AudioCycleBytes);
  loadWeights(lane, st);
  lane->slot = v->audioBatches[lane->channel].words;
}

bool runAudioSteps() {
  V20State* v = &unpackState.v20;
  const uint32_t flushedPos = unpackState.flushedPos;
  const int channels = v->channelCount;
  AudioLane lanes[MaxChannels];
  for (int c = 0; c < channels; c++) {
    AudioLane* lane = &lanes[c];
    AudioChannelState* st = &v->audio[c];
    uint32_t filled = (uint32_t)st->byteCounter & (AudioCycleBytes - 1);
    lane->slot = v->audioBatches[c].words + filled;
    lane->cycleEnd = v->audioBatches[c].words + AudioCycleBytes;
    lane->quick = v->audioTables[c].quick;
    lane->prevValue = st->prevValue & 0xFF;
    lane->channel = c;
    loadWeights(lane, st);
  }
  AudioLane* const lastLane = &lanes[channels - 1];
  AudioLane* lane = &lanes[v->currentChannel];
  int32_t crossDelta = v->crossDelta;
  StepRun r;
  r.load();
  bool switched = false;
  // The first step is due at once: the frame has just done what it had to.
  uint32_t budget = audioBudget(r, flushedPos);
  if (budget == 0) budget = 1;
  // The bytes the next refill takes, loaded a group ahead so that the refill does not
  // wait for the load: they lie at nextByte, which only a refill moves.
  uint64_t ahead = r.loadAhead();
  do {
    uint8_t* out = r.window + r.writePos;
    uint8_t* const start = out;
    uint8_t* const end = out + budget;
    // One byte on the current lane; false ends the stretch: a table switch (which
    // produces nothing) or the last byte.
    auto step = [&]() __attribute__((always_inline)) {
      uint32_t entry = lane->quick[r.bitBuffer >> (64 - QuickBits)];
      uint32_t s;
      if (__builtin_expect(entry != 0, 1)) {
        // The entry shifts the bits itself: its low bits are the length.
        r.bitBuffer <<= entry & 63;
        r.bitCount -= quickLength(entry);
        s = quickSymbol(entry);
      } else {
        uint32_t length;
        s = decodeLongSymbol(&v->audioTables[lane->channel], r.peek() & 0xFFFE, &length);
        r.skip(length);
      }
      if (__builtin_expect(s == 256, 0)) {
        switched = true;
        return false;
      }
      // The byte's value is the prediction less the symbol, and the prediction is the
      // previous value plus an eighth of the weighted inputs (rounded down), so the
      // byte's delta does not depend on the previous value at all.
      int16_t* q = lane->slot;
      const int16_t* d = q + AudioBatchDelta;
      int32_t p = lane->a1 * d[3] + lane->a2 * d[2] + lane->a3 * d[1] + lane->a4 * d[0] - 8 * (int32_t)s;
      int32_t delta = audioSignedByte((p + lane->crossWeight * crossDelta) >> 3);
      q[AudioBatchSymbol] = (int16_t)s;
      q[AudioBatchCross] = (int16_t)crossDelta;
      q[AudioBatchDelta + 4] = (int16_t)delta;
      crossDelta = delta;
      uint8_t value = (uint8_t)(lane->prevValue + delta);
      lane->prevValue = value;
      *out++ = value;
      lane->slot = ++q;
      if (__builtin_expect(q == lane->cycleEnd, 0)) finishCycle(lane);
      lane = lane == lastLane ? lanes : lane + 1;
      return out != end;
    };
    // Three steps read at most 45 bits, and a refill leaves at least 56: the refill
    // comes once a group, without a branch that would guess wrong.
    for (;;) {
      r.refillFrom(ahead);
      ahead = r.loadAhead();
      if (!step() || !step() || !step()) break;
    }
    uint32_t made = (uint32_t)(out - start);
    r.writePos = (r.writePos + made) & WindowMask;
    r.remaining -= made;
    if (switched) break;
    budget = audioBudget(r, flushedPos);
  } while (budget != 0);
  for (int c = 0; c < channels; c++) storeLane(&lanes[c], &v->audio[c], &v->audioBatches[c]);
  r.store();
  v->crossDelta = crossDelta;
  v->currentChannel = (int32_t)(lane - lanes);
  return switched;
}
