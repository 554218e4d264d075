// The version 2.0 method: LZ77 over the 1 MiB window with canonical Huffman codes sent
// in the stream, interleaved with multimedia blocks whose bytes come from the audio
// predictor. Every block starts with a table header; in a solid archive tables, mode,
// match history and predictor states run on from one file to the next.
#include <stdlib.h>
#include <string.h>

#include "archive/data_stream.h"
#include "unpack/always_inline.h"
#include "unpack/audio_run.h"
#include "unpack/unpack.h"
#include "unpack/step_run.h"
#include "unpack/v20_tables.h"

static_assert(MainMatchSymbol + LengthSlots == MainSymbols, "the match symbols end the main table");

enum {
  HeaderRefillLimit = 8167,  // the fixed part of a header is 80 bits
  LengthRefillLimit = 8187   // one code-length symbol with its extra bits is <= 22 bits
};

// Refills the input and notes whether the file's packed data was already used up. A
// second exhausted refill in a row means the decoder has run through a whole buffer of
// stale bytes: no real stream gets there, only a damaged or hostile one.
static void refillV20() {
  refillInput(false);
  // A refill that delivered anything leaves more than the 32 carried-over bytes.
  if (unpackState.bits.validBytes > 32) {
    unpackState.v20.emptyRefills = 0;
  } else {
    unpackState.v20.emptyRefills++;
  }
}

// Longer distances need longer matches to pay off, so the encoder never sends the
// short lengths there and the decoder adds them back.
static ALWAYS_INLINE uint32_t atLeast(uint32_t distance, uint32_t threshold) {
  // Without a branch (distances stay far below 2^31): the compiler would guess the rare
  // long distances with one, and miss them.
  return (threshold - 1 - distance) >> 31;
}
static ALWAYS_INLINE uint32_t distanceBonus(uint32_t distance) {
  return atLeast(distance, 0x40000) + atLeast(distance, 0x2000);
}

// Reads a table header and builds the tables of the mode it selects. The bits run
// through a register, as in the steps; the input is refilled exactly where the byte
// position would be checked one field at a time.
static void readTables20() {
  V20State* v = &unpackState.v20;
  if (unpackState.bits.bytePos > HeaderRefillLimit) refillV20();
  StepRun r;
  r.loadBits();

  uint32_t header = r.peek();
  v->audioMode = (header & 0x8000) != 0;
  // Without the keep flag the lengths are absolute: the base they add to is all zero.
  if ((header & 0x4000) == 0) memset(v->previousLengths, 0, sizeof v->previousLengths);
  r.skip(2);

  uint32_t size;
  if (v->audioMode) {
    v->channelCount = (int32_t)((header >> 12) & 3) + 1;
    // A rotation beyond the new channel count restarts at the first channel; otherwise
    // it carries on where it was.
    if (v->currentChannel >= v->channelCount) v->currentChannel = 0;
    r.skip(2);
    size = (uint32_t)v->channelCount * AudioSymbols;
  } else {
    size = LzTableSize;
  }

  uint8_t codeLengths[CodeLengthSymbols];
  for (uint32_t i = 0; i < CodeLengthSymbols; i++) {
    if (r.bitCount < 16) r.refill();
    codeLengths[i] = (uint8_t)r.bits(4);
  }
  buildHuffmanTable(codeLengths, CodeLengthSymbols, &v->codeLengthTable);

  uint8_t lengths[PreviousLengthsSize];
  uint32_t i = 0;
  while (i < size) {
    if ((r.position() >> 3) > LengthRefillLimit) {
      r.storeBits();
      refillV20();
      r.loadBits();
    }
    r.refill();  // a symbol and its extra bits take at most 22
    uint32_t c = r.symbol(&v->codeLengthTable);
    if (c <= 15) {
      lengths[i] = (uint8_t)((c + v->previousLengths[i]) & 15);
      i++;
      continue;
    }
    uint32_t n;
    uint8_t fill = 0;
    if (c == 16) {
      n = r.bits(2) + 3;
      // A repeat with nothing before it repeats length 0.
      fill = i > 0 ? lengths[i - 1] : 0;
    } else if (c == 17) {
      n = r.bits(3) + 3;
    } else {
      n = r.bits(7) + 11;
    }
    // A run past the end of the table is cut there; the surplus is dropped.
    while (n-- > 0 && i < size) lengths[i++] = fill;
  }
  r.storeBits();

  if (v->audioMode) {
    for (int32_t k = 0; k < v->channelCount; k++) {
      // The table switch is rare: the audio run tests for it only on its slow path.
      buildHeldHuffmanTable(&lengths[k * AudioSymbols], AudioSymbols, &v->audioTables[k], 256);
    }
  } else {
    buildHuffmanTable(&lengths[0], MainSymbols, &v->mainTable, lengthExtraBits, MainMatchSymbol);
    buildHuffmanTable(&lengths[MainSymbols], DistanceSymbols, &v->distanceTable);
    buildHuffmanTable(&lengths[MainSymbols + DistanceSymbols], RepeatLengthSymbols,
                      &v->repeatLengthTable);
  }
  // Entries beyond this header's size keep their older values, so that a later keep
  // header of a larger size adds to what it was last given.
  memcpy(v->previousLengths, lengths, size);
}

// A table header may follow a file's last symbol; picking it up here lets it apply to
// the next file of a solid archive, which starts without a header of its own.
static void readTrailingTables() {
  V20State* v = &unpackState.v20;
  // Compared unsigned: a failed read (-1) counts as plenty of input.
  if ((uint32_t)unpackState.bits.validBytes < unpackState.bits.bytePos + 5) return;
  if (v->audioMode) {
    if (decodeSymbol(&v->audioTables[v->currentChannel]) == 256) readTables20();
  } else {
    if (decodeSymbol(&v->mainTable) == 269) readTables20();
  }
}

// Runs LZ steps, the first one at once (its frame is done), then more for as long as
// the frame would have nothing to do before them: the file is not complete, no refill
// and no flush is due. A table header ends the run after the step that reads it. So
// the steps and their frames happen exactly as one step per pass of the main loop.
static void runLzSteps() {
  V20State* v = &unpackState.v20;
  const HuffmanTable* mainTable = &v->mainTable;
  // The state is moved in and out through a copy: the steps' own run never has its
  // address taken, so its fields stay in registers across the calls of the rare paths
  // instead of going back to the stack after every step.
  StepRun shared;
  shared.load();
  StepRun r = shared;
  // The frame flushes once the bytes produced leave fewer than FlushMargin free before
  // the first unflushed byte (the whole window when all are flushed, as at the start
  // of a run). So both that and a complete file show in the count of bytes owed.
  uint32_t freeSpan = (unpackState.flushedPos - r.writePos) & WindowMask;
  int64_t stopBelow = r.remaining - (int64_t)(freeSpan == 0 ? WindowSize : freeSpan) + FlushMargin;
  if (stopBelow < 0) stopBelow = 0;
  for (;;) {
    uint32_t symbolAndExtra = r.firstSymbol(mainTable, lengthExtraBits, MainMatchSymbol);
    uint32_t s = symbolAndExtra >> 3;
    if (s < 256) {
      r.window[r.writePos] = (uint8_t)s;
      r.writePos = (r.writePos + 1) & WindowMask;
      r.remaining--;
    } else if (s >= MainMatchSymbol) {
      // The count of the length's extra bits came with the symbol: the bits are read
      // without waiting for a lookup by the slot.
      uint32_t length = lengthBase[s - MainMatchSymbol] + 3u + r.bits(symbolAndExtra & 7);
      uint32_t d = r.symbol(&v->distanceTable);
      uint32_t distance = distanceBase[d] + 1u + r.bits(distanceExtraBits[d]);
      r.emitMatch(distance, length + distanceBonus(distance));
    } else if (s == 269) {
      shared = r;
      shared.store();
      readTables20();
      return;
    } else if (s == 256) {
      // Reuses the last match exactly, bonuses included.
      r.emitMatch(r.history.lastDistance, r.history.lastLength);
    } else if (s <= 260) {
      uint32_t distance = r.history.recentDistances[(r.history.recentIndex - (s - 256)) & 3];
      uint32_t slot = r.symbol(&v->repeatLengthTable);
      uint32_t length = lengthBase[slot] + 2u + r.bits(lengthExtraBits[slot]);
      length += distanceBonus(distance) + atLeast(distance, 0x101);
      r.emitMatch(distance, length);
    } else {
      uint32_t slot = s - 261;
      uint32_t distance = shortDistanceBase[slot] + 1u + r.bits(shortDistanceExtraBits[slot]);
      r.emitMatch(distance, 2);
    }
    // The next step's frame: anything to do there ends the run. The input is checked
    // by the byte after the bits held, at most eight bytes early: the frame then finds
    // no refill due and the next run goes on.
    if (r.remaining < stopBelow || r.nextByte > StepRefillLimit) break;
  }
  shared = r;
  shared.store();
}

void unpackV20File(uint8_t* window, bool solid) {
  unpackState.window = window;
  resetUnpackState(solid);
  unpackState.v20.emptyRefills = 0;
  refillInput(true);
  if (!solid) readTables20();

  dataStream.remaining--;
  while (dataStream.remaining >= 0) {
    unpackState.writePos &= WindowMask;  // cheap insurance; every store already folds it
    if (unpackState.bits.bytePos > StepRefillLimit) {
      refillV20();
      // Every step either produces bytes or consumes bits, so a stream that keeps
      // producing nothing ends up here; without this it would never finish.
      if (unpackState.v20.emptyRefills >= 2) break;
    }
    // Keeps the unflushed bytes from being overwritten by the next step.
    uint32_t freeSpan = (unpackState.flushedPos - unpackState.writePos) & WindowMask;
    if (freeSpan < FlushMargin && unpackState.flushedPos != unpackState.writePos) flushWindow();

    if (unpackState.v20.audioMode) {
      // A table switch: the new header is read in the same step.
      if (runAudioSteps()) readTables20();
    } else {
      runLzSteps();
    }
  }

  readTrailingTables();
  flushWindow();
}
