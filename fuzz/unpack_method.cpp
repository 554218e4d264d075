// One decompression method on raw packed bytes: the input is cut into up to four
// entries decoded one after another, each either starting afresh or continuing the
// state of the one before (solid), as in an archive. Built once per method
// (LUMVARD_FUZZ_UNPACK_VERSION 20 or 15).
//
// Input: one control byte, then per entry a 4-byte header
//   byte 0    bit 0: solid; bit 1: the unpacked size is the largest there is (a
//             decoder must still stop once the packed data is used up)
//   bytes 1-3 unpacked size (little-endian, 21 bits: up to twice the window)
// and, for every entry but the last, a 2-byte packed length before the packed bytes;
// the last entry takes the rest. The control byte's low two bits give the entries - 1.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "archive/data_stream.h"
#include "archive/reader.h"
#include "extract/session.h"
#include "fuzz/fuzz_support.h"
#include "unpack/unpack.h"

#ifndef LUMVARD_FUZZ_UNPACK_VERSION
#define LUMVARD_FUZZ_UNPACK_VERSION 20
#endif

namespace {

struct Entry {
  const uint8_t* packed;
  size_t packedSize;
  uint32_t unpackedSize;
  bool solid;
};

void failInvariant(const char* what) {
  fprintf(stderr, "fuzz: decoder invariant broken: %s\n", what);
  abort();
}

void decodeEntry(const Entry& entry, const std::string& path) {
  writeScratchFile(path, entry.packed, entry.packedSize);
  archiveReader.archiveFile = fopen(path.c_str(), "rb");
  if (archiveReader.archiveFile == nullptr) abort();
  dataStream.packedLeft = (uint32_t)entry.packedSize;
  dataStream.continuesInNext = false;
  dataStream.cipherVersion = 0;
  dataStream.remaining = (int64_t)entry.unpackedSize;
  dataStream.checksumMode = 2;
  dataStream.dataCrc = 0xFFFFFFFFu;
  session.testMode = true;      // counted and checksummed, not written
  session.skipChecksum = false;

  unpackFile(session.window, LUMVARD_FUZZ_UNPACK_VERSION, entry.solid);

  fclose(archiveReader.archiveFile);
  archiveReader.archiveFile = nullptr;
  // Every file ends with a flush, so nothing produced is left behind in the window.
  if (unpackState.writePos >= WindowSize) failInvariant("write position outside the window");
  if (unpackState.flushedPos != unpackState.writePos) failInvariant("unflushed bytes at the end");
  if (unpackState.bits.bitPos > 7) failInvariant("bit position above 7");
  if (unpackState.bits.bytePos >= InputBufferSize) failInvariant("byte position past the buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratchFolder() + "/packed";
  if (size < 1) return 0;
  int entryCount = (data[0] & 3) + 1;
  size_t at = 1;
  Entry entries[4];
  int parsed = 0;
  for (int i = 0; i < entryCount; i++) {
    if (size - at < 4) break;
    Entry& e = entries[parsed];
    e.solid = (data[at] & 1) != 0;
    e.unpackedSize = (data[at] & 2) ? 0x7FFFFFFFu
                                    : (uint32_t)(data[at + 1] | data[at + 2] << 8 | (data[at + 3] & 0x1F) << 16);
    at += 4;
    size_t length = size - at;
    if (i + 1 < entryCount) {
      if (size - at < 2) break;
      length = (size_t)(data[at] | data[at + 1] << 8);
      at += 2;
      if (length > size - at) length = size - at;
    }
    e.packed = data + at;
    e.packedSize = length;
    at += length;
    parsed++;
  }
  if (parsed == 0) return 0;

  resetEngineForFuzzing();
  // The extraction loop takes the window from malloc; zeroed here so that a solid
  // first entry (which reads whatever the window holds) decodes the same every time.
  session.window = (unsigned char*)calloc(WindowSize, 1);
  for (int i = 0; i < parsed; i++) decodeEntry(entries[i], path);
  resetEngineForFuzzing();
  return 0;
}
