// The multimedia predictor of the version 2.0 method: per channel, an adaptive linear
// prediction of the next byte from the channel's recent deltas and the delta of the
// byte produced just before (crossDelta). The stream carries predicted - actual.
//
// The steps are split so that the compressor can run the very same predictor on its
// own copy of the state: for every byte, in this order,
//   audioStartByte(st);
//   int predicted = audioPredict(st, crossDelta);
//   symbol = (predicted - byte) & 0xFF;            // the encoder's side
//   audioUpdate(st, &crossDelta, predicted, symbol);
// audioEncodeByte does exactly that; decodeAudioByte is the decoder's counterpart on
// unpackState. Both sides stay byte-identical as long as they feed the same symbols.
#pragma once

// All arithmetic stays on small signed integers: deltas are signed bytes, weights lie in
// -17..16, so no sum can overflow. The per-byte steps are inline: the decoder's audio
// loop runs them for every byte it produces.
#include <stdint.h>
#include <stdlib.h>

#include "unpack/always_inline.h"
#include "unpack/unpack_state.h"

// Counts the byte and shifts the predictor inputs: terms[0] becomes the channel's last
// delta, terms[1] the change of it, terms[2..3] the older changes.
static ALWAYS_INLINE void audioStartByte(AudioChannelState* st) {
  // Wraps instead of overflowing in a long solid run; only its low 5 bits matter.
  st->byteCounter = (int32_t)((uint32_t)st->byteCounter + 1);
  st->terms[3] = st->terms[2];
  st->terms[2] = st->terms[1];
  st->terms[1] = st->recentDelta - st->terms[0];
  st->terms[0] = st->recentDelta;
}

// The byte (0..255) the predictor expects; call after audioStartByte. crossDelta is the
// delta of the byte produced just before, whatever its channel.
static ALWAYS_INLINE int audioPredict(const AudioChannelState* st, int32_t crossDelta) {
  // prevValue may hold a value outside 0..255; a multiple of 256 in it moves p by a
  // multiple of 2048 and vanishes in the final mask.
  int32_t p = 8 * st->prevValue + st->weights[0] * st->terms[0] + st->weights[1] * st->terms[1] +
              st->weights[2] * st->terms[2] + st->weights[3] * st->terms[3] +
              st->weights[4] * crossDelta;
  return (p >> 3) & 0xFF;  // arithmetic shift: a negative p rounds towards minus infinity
}

// Every 32nd byte of a channel: the smallest error sum nudges the weight it favours.
void adjustAudioWeights(AudioChannelState* st);

static ALWAYS_INLINE int32_t audioSignedByte(int32_t v) { return (int32_t)(int8_t)(uint8_t)(v & 0xFF); }

// Folds the byte coded by `symbol` (0..255) into the channel: error sums, deltas, and
// every 32nd byte of the channel the weight adjustment. Sets *crossDelta to this byte's
// delta. Returns the produced byte.
static ALWAYS_INLINE uint8_t audioUpdate(AudioChannelState* st, int32_t* crossDelta, int predicted,
                                         uint32_t symbol) {
  int32_t value = predicted - (int32_t)symbol;
  int32_t e = 8 * audioSignedByte((int32_t)symbol);
  // Odd sums measure e - input (a win lowers that input's weight), even sums e + input.
  const int32_t t0 = st->terms[0], t1 = st->terms[1], t2 = st->terms[2], t3 = st->terms[3];
  const int32_t cross = *crossDelta;
  uint32_t* sums = st->errorSums;
  sums[0] += (uint32_t)abs(e);
  sums[1] += (uint32_t)abs(e - t0);
  sums[2] += (uint32_t)abs(e + t0);
  sums[3] += (uint32_t)abs(e - t1);
  sums[4] += (uint32_t)abs(e + t1);
  sums[5] += (uint32_t)abs(e - t2);
  sums[6] += (uint32_t)abs(e + t2);
  sums[7] += (uint32_t)abs(e - t3);
  sums[8] += (uint32_t)abs(e + t3);
  sums[9] += (uint32_t)abs(e - cross);
  sums[10] += (uint32_t)abs(e + cross);
  st->recentDelta = audioSignedByte(value - st->prevValue);
  *crossDelta = st->recentDelta;
  st->prevValue = value;
  // The 32nd byte's own errors count towards the choice; its output already used the
  // old weights.
  if ((st->byteCounter & 31) == 0) adjustAudioWeights(st);
  return (uint8_t)(value & 0xFF);
}

// The end of a channel's cycle in the decoder: adds up the batch's 32 bytes, nudges a
// weight as adjustAudioWeights does, and starts the next cycle's batch. The decoder's
// errorSums stay 0: its batch holds the whole cycle.
void endAudioCycle(AudioChannelState* st, AudioBatch* batch);

// The encoder's whole step for one byte: returns the symbol that makes the decoder
// produce `byte`, and advances the state exactly as the decoder will.
uint32_t audioEncodeByte(AudioChannelState* st, int32_t* crossDelta, uint8_t byte);

// The decoder's step: the byte for symbol (0..255) on channel currentChannel of
// unpackState. The caller stores it and advances currentChannel.
uint8_t decodeAudioByte(uint32_t symbol);
