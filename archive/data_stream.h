// The path of one entry's bytes: packed data in (bounded by the entry's packed size,
// decrypted), unpacked data out (written unless only decoded, checksummed).
#pragma once

#include <stdint.h>
#include <stdio.h>

struct DataStream {
  uint32_t packedLeft;     // packed bytes of the entry not yet delivered
  bool continuesInNext;    // the entry's data continues in the next volume
  int32_t cipherVersion;   // 0: not encrypted; else the entry's unpack version
  uint32_t dataCrc;        // checksum of the unpacked bytes so far
  int64_t remaining;       // unpacked bytes still to produce (negative after an overrun);
                           // 64 bits, so that sizes of 2 GiB and more count down safely
  int32_t progressOrigin;  // where the archive starts in its file
  int32_t archiveLength;   // length of the archive file
  int checksumMode;        // 1: 16-bit checksum (old format); 2: CRC-32
  int progressShift;       // extra right shift of progress values beyond KiB units
  uint32_t progressStride; // the bar moves when the position has gone this far
  int64_t progressShown;   // the position last sent to the bar; -1: none yet
  uint32_t progressLatest; // the position last measured, sent or not
  uint32_t progressSentAt; // the host's clock when a position was last sent
};

extern DataStream dataStream;

// Up to count packed bytes of the current entry into dest, decrypted: one read of the
// archive per call (a short read is passed on as it is). 0 when the entry's data is
// exhausted, count is 0 or no archive is open; -1 on a read failure (nothing is then
// decrypted). With the 2.0 cipher dest needs room for count rounded up to 16.
int32_t readPacked(unsigned char* dest, int32_t count);
// Writes count bytes to the output file (unless session.testMode) and folds them into
// dataCrc (unless session.skipChecksum). Returns count; a failed write is fatal.
int32_t writeUnpacked(const unsigned char* data, int32_t count);
// A verified write: short writes, the error indicator or a full device end the
// process with "Write error", exit code 5.
int32_t writeOutput(FILE* file, const unsigned char* data, int32_t count);
// Copies a stored entry through session.window, at most dataStream.remaining bytes;
// surplus packed bytes are read and dropped. A read failure is fatal.
void copyStored();
// Sets the progress bar's range for the archive (progressOrigin and archiveLength set
// beforehand): KiB from the archive start while the count fits in 16 bits, else KiB
// scaled down by the power of two that makes it fit; positions use the same scale.
// Forgets the position shown.
void setProgressRange();
// Moves the progress bar to the archive file's read position (nothing for an
// archive at offset 0), but only when the bar would visibly move: by a thousandth of
// the range or more since the last position sent and 50 ms after it, or backwards.
void reportProgress();
// Sends the last position measured if the bar does not show it yet, so the bar ends
// where the archive's walk ended.
void finishProgress();
// Next volumes are not supported: closes the archive file and leaves none open.
int continueVolume();
