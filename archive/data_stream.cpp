// One entry's packed bytes in and unpacked bytes out.
#include "archive/data_stream.h"

#include <errno.h>

#include "archive/checksum.h"
#include "archive/cipher.h"
#include "archive/reader.h"
#include "extract/output_files.h"
#include "extract/session.h"

enum : int32_t { StoredPiece = 32512 };
// The bar gets at most about this many positions over its range: each message costs a
// redraw, far more than the bytes read between two positions.
enum : uint32_t { ProgressSteps = 1000, ProgressIntervalMs = 50 };

// The archive read primitive: bytes read, a short count at the end of the file, -1
// when the file reports an error.
static int32_t readArchive(unsigned char* dest, uint32_t count) {
  if (count == 0) return 0;
  size_t got = fread(dest, 1, count, archiveReader.archiveFile);
  if (got == 0 && ferror(archiveReader.archiveFile)) return -1;
  return (int32_t)got;
}

static void decryptPacked(unsigned char* data, int32_t total) {
  int version = dataStream.cipherVersion;
  if (version == 0) return;
  if (version >= 20) {
    // A final partial block is deciphered whole; callers leave room for it.
    for (int32_t offset = 0; offset < total; offset += 16) decryptBlock20(data + offset);
  } else {
    decryptStream(data, (size_t)total, version == 15 ? Cipher15 : Cipher13);
  }
}

int32_t readPacked(unsigned char* dest, int32_t count) {
  servicePendingSignal();
  int32_t total = 0;
  int32_t last = 0;
  unsigned char* p = dest;
  while (count > 0) {
    uint32_t wanted = (uint32_t)count < dataStream.packedLeft ? (uint32_t)count : dataStream.packedLeft;
    if (archiveReader.archiveFile == nullptr) return 0;
    last = readArchive(p, wanted);
    reportProgress();
    if (last == -1) return -1;
    p += last;
    total += last;
    count -= last;
    dataStream.packedLeft -= (uint32_t)last;
    if (dataStream.packedLeft == 0 && dataStream.continuesInNext) {
      continueVolume();
      continue;
    }
    break;
  }
  decryptPacked(dest, total);
  return total;
}

int32_t writeOutput(FILE* file, const unsigned char* data, int32_t count) {
  if (count <= 0) return 0;
  errno = 0;
  size_t written = fwrite(data, 1, (size_t)count, file);
  // Flushed at once, so that a full device shows here as a write error rather than
  // later as a failed close.
  bool failed = written < (size_t)count || fflush(file) != 0 || ferror(file);
  if (failed || errno == ENOSPC) fatalError(WriteError, ExitWrite);
  return (int32_t)written;
}

int32_t writeUnpacked(const unsigned char* data, int32_t count) {
  servicePendingSignal();
  if (count < 0) count = 0;
  int32_t n = session.testMode ? count : writeOutput(session.outputFile, data, count);
  if (!session.skipChecksum)
    dataStream.dataCrc = updateChecksum(dataStream.dataCrc, data, (size_t)n,
                                        dataStream.checksumMode == 1 ? 1 : 2);
  return n;
}

void copyStored() {
  for (;;) {
    int32_t n = readPacked(session.window, StoredPiece);
    if (n == -1) fatalError(ReadError, ExitFatal);
    if (n == 0) return;
    // Once the unpacked size is reached the rest of the packed data is read and
    // dropped; a remaining count below zero writes nothing.
    if (n > dataStream.remaining) n = dataStream.remaining < 0 ? 0 : (int32_t)dataStream.remaining;
    writeUnpacked(session.window, n);
    dataStream.remaining -= n;
  }
}

void setProgressRange() {
  int32_t kib = (dataStream.archiveLength - dataStream.progressOrigin) / 1024;
  if (kib < 0) kib = 0;
  // The range travels in 16 bits: a larger archive is shown in coarser units instead
  // of wrapping around.
  int shift = 0;
  while ((kib >> shift) > 0xFFFF) shift++;
  dataStream.progressShift = shift;
  uint32_t maximum = (uint32_t)(kib >> shift);
  dataStream.progressStride = maximum / ProgressSteps + (maximum % ProgressSteps != 0);
  if (dataStream.progressStride == 0) dataStream.progressStride = 1;
  dataStream.progressShown = -1;
  dataStream.progressLatest = 0;
  hostProgress(progressBar, ProgressSetRange, 0, (intptr_t)((uint32_t)(kib >> shift) << 16));
  hostProgress(progressBar, ProgressSetStep, 1, 0);
}

void reportProgress() {
  if (dataStream.progressOrigin == 0 || dataStream.archiveLength == 0) return;
  if (archiveReader.archiveFile == nullptr) return;
  long position = ftell(archiveReader.archiveFile);
  uint32_t offset = (uint32_t)((int32_t)position - dataStream.progressOrigin);
  uint32_t latest = offset >> (10 + dataStream.progressShift);
  dataStream.progressLatest = latest;
  int64_t shown = dataStream.progressShown;
  // A bar control repaints itself for every position: forward moves are sent at most
  // every ProgressIntervalMs, the end of the walk catching up in finishProgress.
  uint32_t now = hostMilliseconds();
  if (shown >= 0 && latest >= shown &&
      (latest - shown < dataStream.progressStride || now - dataStream.progressSentAt < ProgressIntervalMs))
    return;
  dataStream.progressShown = latest;
  dataStream.progressSentAt = now;
  hostProgress(progressBar, ProgressSetPos, latest, 0);
  // A status text held back by the repaint interval is shown with the bar's next move,
  // so that a long file shows its own name while it is written.
  flushStatusTexts();
}

void finishProgress() {
  if (dataStream.progressShown < 0 || dataStream.progressShown == dataStream.progressLatest) return;
  dataStream.progressShown = dataStream.progressLatest;
  hostProgress(progressBar, ProgressSetPos, dataStream.progressLatest, 0);
}

int continueVolume() {
  closeFile(&archiveReader.archiveFile);
  return 0;
}
