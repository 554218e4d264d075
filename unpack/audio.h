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

#include <stdint.h>

#include "unpack/unpack_state.h"

// Counts the byte and shifts the predictor inputs: terms[0] becomes the channel's last
// delta, terms[1] the change of it, terms[2..3] the older changes.
void audioStartByte(AudioChannelState* st);

// The byte (0..255) the predictor expects; call after audioStartByte. crossDelta is the
// delta of the byte produced just before, whatever its channel.
int audioPredict(const AudioChannelState* st, int32_t crossDelta);

// Folds the byte coded by `symbol` (0..255) into the channel: error sums, deltas, and
// every 32nd byte of the channel the weight adjustment. Sets *crossDelta to this byte's
// delta. Returns the produced byte.
uint8_t audioUpdate(AudioChannelState* st, int32_t* crossDelta, int predicted, uint32_t symbol);

// The encoder's whole step for one byte: returns the symbol that makes the decoder
// produce `byte`, and advances the state exactly as the decoder will.
uint32_t audioEncodeByte(AudioChannelState* st, int32_t* crossDelta, uint8_t byte);

// The decoder's step: the byte for symbol (0..255) on channel currentChannel of
// unpackState. The caller stores it and advances currentChannel.
uint8_t decodeAudioByte(uint32_t symbol);
