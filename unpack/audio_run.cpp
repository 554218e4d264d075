// Multimedia blocks decoded a run of bytes at a time. The channels take turns byte by
// byte; most bytes go in whole turns, written out for each channel count, in which no
// channel's cycle ends: no checks per byte, and each channel's batch words at one
// index. The delta of the byte before, which every prediction adds, stays in a
// register; so do each channel's last deltas where vector registers allow, so that the
// chains that carry a byte's delta into the next predictions do not go through memory.
// The batches keep every delta anyway, for the sums at a cycle's end.
#include "unpack/audio_run.h"

#include "unpack/audio.h"
#include "unpack/step_run.h"

#if defined(__SSE2__)
#include <emmintrin.h>
// The loops written out per channel count keep each channel's last four deltas in a
// vector register, oldest first, and weigh them with one multiply-add: a quarter of
// the instructions of four multiplies, and no load of a delta stored a moment ago.
#define AUDIO_HISTORY_IN_VECTORS 1
typedef __m128i AudioVector;
#endif

// One channel's predictor while a run lasts. The prediction is the same sum as
// audioPredict's, regrouped over the channel's last four deltas d1 (the latest) .. d4:
// its terms are d1, d1 - d2, d2 - d3 and d3 - d4, so
//   w0 t0 + w1 t1 + w2 t2 + w3 t3 = (w0 + w1) d1 + (w2 - w1) d2 + (w3 - w2) d3 - w3 d4.
struct AudioLane {
  int16_t* slot;  // the batch words of the channel's next byte
  int32_t prevValue;
  const uint16_t* quick;
  const int16_t* cycleEnd;  // its batch's slot past the cycle's last
  int32_t a1, a2, a3, a4;  // the regrouped weights of d1 .. d4
  int32_t crossWeight;
  int32_t channel;
};

// What a run holds between its stretches, and hands back to the state at its end.
struct AudioRun {
  AudioLane lanes[MaxChannels];
  int32_t crossDelta;
  int channel;  // whose byte comes next
  bool switched;
  StepRun r;
};

#ifdef AUDIO_HISTORY_IN_VECTORS
// The weights in the order of a history's places: a4 .. a1, or with the latest delta
// kept apart, 0 and a4 .. a2 for a history one delta behind.
static inline AudioVector packWeights(const AudioLane& lane, bool latestApart) {
  if (latestApart) return _mm_setr_epi16(0, (int16_t)lane.a4, (int16_t)lane.a3, (int16_t)lane.a2, 0, 0, 0, 0);
  return _mm_setr_epi16((int16_t)lane.a4, (int16_t)lane.a3, (int16_t)lane.a2, (int16_t)lane.a1, 0, 0, 0, 0);
}

// The weighted sum of a history: products of at most 34 by 128, added in 32 bits.
static inline int32_t weighHistory(AudioVector history, AudioVector weights) {
  AudioVector pairs = _mm_madd_epi16(history, weights);
  return _mm_cvtsi128_si32(_mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, 1)));
}

// The history with the oldest delta dropped and the newest added.
static inline AudioVector pushDelta(AudioVector history, int32_t delta) {
  return _mm_insert_epi16(_mm_srli_epi64(history, 16), delta, 3);
}

// The last four deltas before a batch slot, or with the latest kept apart, the four
// before it (the first place is weighed 0; it is the word before the deltas).
static inline AudioVector loadHistory(const int16_t* slot, bool latestApart) {
  return _mm_loadl_epi64((const __m128i*)(slot + AudioBatchDelta - (latestApart ? 1 : 0)));
}

#else
// Without vector registers the histories are never used; these stand in for them.
typedef int32_t AudioVector;
static inline AudioVector packWeights(const AudioLane&, bool) { return 0; }
static inline int32_t weighHistory(AudioVector, AudioVector) { return 0; }
static inline AudioVector pushDelta(AudioVector, int32_t) { return 0; }
static inline AudioVector loadHistory(const int16_t*, bool) { return 0; }
#endif

static void loadWeights(AudioLane* lane, const AudioChannelState* st) {
  const int32_t* w = st->weights;
  lane->a1 = w[0] + w[1];
  lane->a2 = w[2] - w[1];
  lane->a3 = w[3] - w[2];
  lane->a4 = -w[3];
  lane->crossWeight = w[4];
}

// The end of a channel's cycle, after its 32nd byte: its new weights apply from its
// next byte on. Returns where its next byte goes in the batch.
static int16_t* finishCycle(AudioLane* lane) {
  V20State* v = &unpackState.v20;
  AudioChannelState* st = &v->audio[lane->channel];
  endAudioCycle(st, &v->audioBatches[lane->channel]);
  st->byteCounter = (int32_t)((uint32_t)st->byteCounter + AudioCycleBytes);
  loadWeights(lane, st);
  return v->audioBatches[lane->channel].words;
}

// Steps that may run before the frame has to look again, at least 1; 0 when it has
// something to do now: a refill, a flush, or the file is complete. A step produces
// one byte and reads at most 15 bits. The run writes through a pointer, so it also
// looks at the end of the window.
static uint32_t audioBudget(uint32_t position, uint32_t writePos, int64_t remaining, uint32_t flushedPos) {
  if (remaining < 0 || (position >> 3) > StepRefillLimit) return 0;
  uint32_t freeSpan = (flushedPos - writePos) & WindowMask;
  if (freeSpan < FlushMargin && flushedPos != writePos) return 0;
  uint32_t quiet = (uint32_t)remaining;
  const uint32_t bitLimit = (StepRefillLimit + 1) * 8;
  uint32_t byReading = position < bitLimit ? (bitLimit - 1 - position) / 15 : 0;
  if (byReading < quiet) quiet = byReading;
  uint32_t byWriting = freeSpan == 0 ? WindowSize - FlushMargin
                                     : (freeSpan >= FlushMargin ? freeSpan - FlushMargin : 0);
  if (byWriting < quiet) quiet = byWriting;
  uint32_t toEnd = WindowSize - 1 - writePos;
  if (toEnd < quiet) quiet = toEnd;
  return quiet + 1;
}

// The run for a count of channels, stretch by stretch: each stretch runs as many bytes
// as its budget allows. Most of them go in whole turns of the channels, none of which
// ends a channel's cycle before the last: those turns need no checks per byte and
// find each channel's batch words at one index. The bytes before the first whole turn
// and after the last go one at a time.
// Channels 0 stands for the count the block gives, looped over instead of written out.
template <int Channels>
static void runChannels(AudioRun* run, uint32_t budget) {
  const int count = Channels != 0 ? Channels : unpackState.v20.channelCount;
  V20State* v = &unpackState.v20;
  const uint32_t flushedPos = unpackState.flushedPos;
  StepRun r = run->r;
  AudioLane* lanes = run->lanes;
  int32_t crossDelta = run->crossDelta;
  int channel = run->channel;
  bool switched = false;
  // The bytes the next refill takes, loaded ahead so that the refill does not wait for
  // the load: they lie at nextByte, which only a refill moves.
  uint64_t ahead = r.loadAhead();
  // A refill leaves at least 56 bits and a byte reads at most 15: one refill a turn
  // for up to three channels, two for four. Refills need no branch that would guess
  // wrong.
  auto refill = [&]() __attribute__((always_inline)) {
    r.refillFrom(ahead);
    ahead = r.loadAhead();
  };
  // The loops written out per count keep each channel's history and weights in
  // vector registers, one named local apiece: an array of them, or a lambda holding
  // them, would put them in memory. So the code that touches them is written out here
  // through macros rather than in the lambdas.
#ifdef AUDIO_HISTORY_IN_VECTORS
  constexpr bool inVectors = Channels >= 2;
#else
  constexpr bool inVectors = false;
#endif
  // With two channels a channel's next byte comes two bytes after its last, too soon
  // for its delta to go through a vector register first: the latest delta stays apart,
  // in a general register, and joins the history a turn later.
  constexpr bool latestApart = inVectors && Channels == 2;
  constexpr bool prevApart = Channels == 2;
  int32_t prev0 = lanes[0].prevValue, prev1 = count > 1 ? lanes[1].prevValue : 0;
  int32_t prev2 = 0, prev3 = 0;  // never apart; named for the written-out code
  AudioVector history0 = {}, history1 = {}, history2 = {}, history3 = {};
  AudioVector weights0 = {}, weights1 = {}, weights2 = {}, weights3 = {};
  int32_t latest0 = 0, latest1 = 0;
  if (inVectors) {
    history0 = loadHistory(lanes[0].slot, latestApart);
    weights0 = packWeights(lanes[0], latestApart);
    history1 = loadHistory(lanes[1].slot, latestApart);
    weights1 = packWeights(lanes[1], latestApart);
    latest0 = lanes[0].slot[AudioBatchDelta + 3];
    latest1 = lanes[1].slot[AudioBatchDelta + 3];
    if (count > 2) {
      history2 = loadHistory(lanes[2].slot, latestApart);
      weights2 = packWeights(lanes[2], latestApart);
    }
    if (count > 3) {
      history3 = loadHistory(lanes[3].slot, latestApart);
      weights3 = packWeights(lanes[3], latestApart);
    }
  }
  int32_t latest2 = 0, latest3 = 0;  // never apart; named for the written-out code
  // The weighted sum of channel i's last deltas, from memory where no register holds it.
  auto ownFromBatch = [&](int i, const int16_t* q) __attribute__((always_inline)) {
    const int16_t* d = q + AudioBatchDelta;
    const AudioLane& lane = lanes[i];
    return lane.a1 * d[3] + lane.a2 * d[2] + lane.a3 * d[1] + lane.a4 * d[0];
  };
  // Channel i's byte into *to, its batch words at q, weighed sum of its last deltas
  // `own`; false on a table switch, which produces nothing.
  auto produce = [&](int i, int16_t* q, uint8_t* to, int32_t own) __attribute__((always_inline)) {
    AudioLane& lane = lanes[i];
    uint32_t entry = lane.quick[r.bitBuffer >> (64 - QuickBits)];
    uint32_t s;
    if (__builtin_expect(entry != 0, 1)) {
      // The entry shifts the bits itself: its low bits are the length.
      r.bitBuffer <<= entry & 63;
      r.bitCount -= quickLength(entry);
      s = quickSymbol(entry);
    } else {
      // A long code, or the table switch, which the quick lookup never gives.
      uint32_t length;
      s = decodeLongSymbol(&v->audioTables[lane.channel], r.peek() & 0xFFFE, &length);
      r.skip(length);
      if (s == 256) return false;
    }
    // The byte's value is the prediction less the symbol, and the prediction is the
    // previous value plus an eighth of the weighted inputs (rounded down), so the
    // byte's delta does not depend on the previous value at all. The delta of the byte
    // before comes last: the sum of the rest is ready before it.
    int32_t delta = audioSignedByte((own - 8 * (int32_t)s + lane.crossWeight * crossDelta) >> 3);
    q[AudioBatchSymbol] = (int16_t)s;
    q[AudioBatchCross] = (int16_t)crossDelta;
    q[AudioBatchDelta + 4] = (int16_t)delta;
    crossDelta = delta;
    // With two channels the previous values stay in registers, added where the step
    // is written out.
    if (!prevApart) {
      int32_t value = (lane.prevValue + delta) & 0xFF;
      lane.prevValue = value;
      *to = (uint8_t)value;
    }
    return true;
  };
// Channel I's byte in a loop written out per count: its history in, its new delta
// (the byte's, now crossDelta) back into the history. FAILED runs on a table switch.
#define AUDIO_STEP(I, Q, TO, FAILED)                                                        \
  do {                                                                                      \
    int32_t own = !inVectors     ? ownFromBatch(I, Q)                                       \
                  : latestApart ? weighHistory(history##I, weights##I) + lanes[I].a1 * latest##I \
                                : weighHistory(history##I, weights##I);                     \
    if (!produce(I, Q, TO, own)) FAILED;                                                    \
    if (prevApart) {                                                                        \
      prev##I = (prev##I + crossDelta) & 0xFF;                                              \
      *(TO) = (uint8_t)prev##I;                                                             \
    }                                                                                       \
    if (latestApart) {                                                                      \
      history##I = pushDelta(history##I, latest##I);                                        \
      latest##I = crossDelta;                                                               \
    } else if (inVectors) {                                                                 \
      history##I = pushDelta(history##I, crossDelta);                                       \
    }                                                                                       \
  } while (0)
// Channel I's new weights after its cycle's end.
#define AUDIO_REFRESH(I) \
  if (inVectors) weights##I = packWeights(lanes[I], latestApart)
  do {
    uint8_t* out = r.window + r.writePos;
    uint8_t* const start = out;
    uint32_t left = budget;
    // A byte on its own, with the checks whole turns leave out; a table switch ends
    // the stretch.
#define AUDIO_SINGLE()                                                                    \
  do {                                                                                    \
    AudioLane& lane = lanes[channel];                                                     \
    refill();                                                                             \
    if (Channels == 0) {                                                                  \
      if (!produce(channel, lane.slot, out, ownFromBatch(channel, lane.slot))) goto switchFound; \
    } else {                                                                              \
      switch (channel) {                                                                  \
        case 0: AUDIO_STEP(0, lane.slot, out, goto switchFound); break;                   \
        case 1: AUDIO_STEP(1, lane.slot, out, goto switchFound); break;                   \
        case 2: AUDIO_STEP(2, lane.slot, out, goto switchFound); break;                   \
        default: AUDIO_STEP(3, lane.slot, out, goto switchFound); break;                  \
      }                                                                                   \
    }                                                                                     \
    out++;                                                                                \
    left--;                                                                               \
    if (++lane.slot == lane.cycleEnd) {                                                   \
      lane.slot = finishCycle(&lane);                                                     \
      switch (channel) {                                                                  \
        case 0: AUDIO_REFRESH(0); break;                                                  \
        case 1: AUDIO_REFRESH(1); break;                                                  \
        case 2: AUDIO_REFRESH(2); break;                                                  \
        default: AUDIO_REFRESH(3); break;                                                 \
      }                                                                                   \
    }                                                                                     \
    channel = channel + 1 == count ? 0 : channel + 1;                                     \
  } while (0)
    while (channel != 0 && left != 0) AUDIO_SINGLE();
    for (;;) {
      uint32_t turns = left / (uint32_t)count;
      for (int i = 0; i < count; i++) {
        uint32_t toEnd = (uint32_t)(lanes[i].cycleEnd - lanes[i].slot);
        if (toEnd < turns) turns = toEnd;
      }
      if (turns == 0) break;
      int16_t* const q0 = lanes[0].slot;
      int16_t* const q1 = Channels > 1 ? lanes[1].slot : q0;
      int16_t* const q2 = Channels > 2 ? lanes[2].slot : q0;
      int16_t* const q3 = Channels > 3 ? lanes[3].slot : q0;
      uint32_t t = 0;
      int stopped = 0;  // the channel whose table switch ended the turns early
      for (; t < turns; t++) {
        uint8_t* to = out + t * (uint32_t)count;
        refill();
        if (Channels == 0) {
          for (int i = 0; i < count; i++) {
            if (i == 2 && count == 4) refill();
            if (!produce(i, lanes[i].slot + t, to + i, ownFromBatch(i, lanes[i].slot + t))) {
              stopped = i;
              goto turnStopped;
            }
          }
          continue;
        }
        AUDIO_STEP(0, q0 + t, to, goto turnStopped);
        if (Channels > 1) AUDIO_STEP(1, q1 + t, to + 1, { stopped = 1; goto turnStopped; });
        // Four symbols may take 60 bits, more than a refill leaves, but seldom do: the
        // second pair refills only when fewer than 30 bits are left, which only long
        // codes cause, so the branch rarely goes the other way.
        if (Channels == 4 && r.bitCount < 15 + 15) refill();
        if (Channels > 2) AUDIO_STEP(2, q2 + t, to + 2, { stopped = 2; goto turnStopped; });
        if (Channels > 3) AUDIO_STEP(3, q3 + t, to + 3, { stopped = 3; goto turnStopped; });
      }
      for (int i = 0; i < count; i++) {
        lanes[i].slot += turns;
        if (lanes[i].slot == lanes[i].cycleEnd) lanes[i].slot = finishCycle(&lanes[i]);
      }
      // The weights of every channel, whichever cycles ended: as cheap as asking.
      AUDIO_REFRESH(0);
      if (count > 1) AUDIO_REFRESH(1);
      if (count > 2) AUDIO_REFRESH(2);
      if (count > 3) AUDIO_REFRESH(3);
      out += turns * (uint32_t)count;
      left -= turns * (uint32_t)count;
      continue;
    turnStopped:
      // Channels before the one that switched made one byte more in the last turn.
      for (int i = 0; i < count; i++) lanes[i].slot += t + (i < stopped ? 1 : 0);
      out += t * (uint32_t)count + (uint32_t)stopped;
      channel = stopped;
      goto switchFound;
    }
    while (left != 0) AUDIO_SINGLE();
    goto stretchDone;
  switchFound:
    switched = true;
  stretchDone:
    uint32_t made = (uint32_t)(out - start);
    r.writePos = (r.writePos + made) & WindowMask;
    r.remaining -= made;
    if (switched) break;
    budget = audioBudget(r.position(), r.writePos, r.remaining, flushedPos);
  } while (budget != 0);
  if (prevApart) {
    lanes[0].prevValue = prev0;
    lanes[1].prevValue = prev1;
  }
  (void)prev2;
  (void)prev3;
#undef AUDIO_SINGLE
#undef AUDIO_STEP
#undef AUDIO_REFRESH
  run->crossDelta = crossDelta;
  run->channel = channel;
  run->switched = switched;
  run->r = r;
}

// Writes a channel back; the terms and the latest delta come from the batch.
static void storeChannel(const AudioRun* run, int c) {
  V20State* v = &unpackState.v20;
  AudioChannelState* st = &v->audio[c];
  const int16_t* words = v->audioBatches[c].words;
  uint32_t filled = (uint32_t)(run->lanes[c].slot - words);
  // The last slot filled; a cycle's end leaves its last deltas in front, so slot 31's
  // deltas read the same after it.
  const int16_t* d = words + AudioBatchDelta + ((filled - 1) & (AudioCycleBytes - 1));
  st->recentDelta = d[4];
  st->terms[0] = d[3];
  st->terms[1] = d[3] - d[2];
  st->terms[2] = d[2] - d[1];
  st->terms[3] = d[1] - d[0];
  st->prevValue = run->lanes[c].prevValue;
  st->byteCounter = (int32_t)(((uint32_t)st->byteCounter & ~(AudioCycleBytes - 1u)) | filled);
}

int audioLoopPerCount = 1;

bool runAudioSteps() {
  V20State* v = &unpackState.v20;
  const int channels = v->channelCount;
  AudioRun run;
  for (int c = 0; c < channels; c++) {
    AudioLane* lane = &run.lanes[c];
    AudioChannelState* st = &v->audio[c];
    uint32_t filled = (uint32_t)st->byteCounter & (AudioCycleBytes - 1);
    lane->slot = v->audioBatches[c].words + filled;
    lane->prevValue = st->prevValue & 0xFF;
    lane->quick = v->audioTables[c].quick;
    lane->cycleEnd = v->audioBatches[c].words + AudioCycleBytes;
    lane->channel = c;
    loadWeights(lane, st);
  }
  run.crossDelta = v->crossDelta;
  run.channel = v->currentChannel;
  run.switched = false;
  run.r.load();
  // The first step is due at once: the frame has just done what it had to.
  uint32_t budget = audioBudget(run.r.position(), run.r.writePos, run.r.remaining, unpackState.flushedPos);
  if (budget == 0) budget = 1;
#ifndef LUMVARD_ONE_AUDIO_LOOP
  if (audioLoopPerCount) {
    switch (channels) {
      case 1: runChannels<1>(&run, budget); break;
      case 2: runChannels<2>(&run, budget); break;
      case 3: runChannels<3>(&run, budget); break;
      default: runChannels<4>(&run, budget); break;
    }
  } else
#endif
    runChannels<0>(&run, budget);
  for (int c = 0; c < channels; c++) storeChannel(&run, c);
  run.r.store();
  v->crossDelta = run.crossDelta;
  v->currentChannel = run.channel;
  return run.switched;
}
