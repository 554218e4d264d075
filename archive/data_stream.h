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
  int32_t remaining;       // unpacked bytes still to produce (negative after an overrun)
  int32_t progressOrigin;  // where the archive starts in its file
  int32_t archiveLength;   // length of the archive file
  int checksumMode;        // 1: 16-bit checksum (old format); 2: CRC-32
};

extern DataStream dataStream;

int32_t readPacked(unsigned char* dest, int32_t count);
int32_t writeUnpacked(const unsigned char* data, int32_t count);
int32_t writeOutput(FILE* file, const unsigned char* data, int32_t count);
void copyStored();
void reportProgress();
int continueVolume();
