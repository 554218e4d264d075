#include "archive/checksum.h"

uint32_t crcTable[256];

// crcSlices[k - 1][b]: the CRC-32 step of byte b followed by k zero bytes. With them the
// update takes sixteen bytes per round instead of one; crcTable itself stays the plain
// one-byte table, which the ciphers read too.
static uint32_t crcSlices[15][256];

void buildCrcTable() {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; bit++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    crcTable[i] = c;
  }
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = crcTable[i];
    for (int k = 0; k < 15; k++) {
      c = crcTable[c & 0xFF] ^ (c >> 8);
      crcSlices[k][i] = c;
    }
  }
}

uint32_t updateCrc32(uint32_t acc, const void* data, size_t length) {
  const uint8_t* p = (const uint8_t*)data;
  // The same sum as sixteen one-byte steps: a table lookup is linear in the
  // accumulator, so the contributions of the bytes can be looked up independently.
  while (length >= 16) {
    // Little-endian words, assembled by hand so that no call survives a build for size.
    uint32_t w0 = acc ^ ((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                         (uint32_t)p[3] << 24);
    uint32_t w1 = (uint32_t)p[4] | (uint32_t)p[5] << 8 | (uint32_t)p[6] << 16 | (uint32_t)p[7] << 24;
    uint32_t w2 = (uint32_t)p[8] | (uint32_t)p[9] << 8 | (uint32_t)p[10] << 16 | (uint32_t)p[11] << 24;
    uint32_t w3 =
        (uint32_t)p[12] | (uint32_t)p[13] << 8 | (uint32_t)p[14] << 16 | (uint32_t)p[15] << 24;
    acc = crcSlices[14][w0 & 0xFF] ^ crcSlices[13][(w0 >> 8) & 0xFF] ^
          crcSlices[12][(w0 >> 16) & 0xFF] ^ crcSlices[11][w0 >> 24] ^
          crcSlices[10][w1 & 0xFF] ^ crcSlices[9][(w1 >> 8) & 0xFF] ^
          crcSlices[8][(w1 >> 16) & 0xFF] ^ crcSlices[7][w1 >> 24] ^
          crcSlices[6][w2 & 0xFF] ^ crcSlices[5][(w2 >> 8) & 0xFF] ^
          crcSlices[4][(w2 >> 16) & 0xFF] ^ crcSlices[3][w2 >> 24] ^
          crcSlices[2][w3 & 0xFF] ^ crcSlices[1][(w3 >> 8) & 0xFF] ^
          crcSlices[0][(w3 >> 16) & 0xFF] ^ crcTable[w3 >> 24];
    p += 16;
    length -= 16;
  }
  while (length-- > 0) acc = crcTable[(acc ^ *p++) & 0xFF] ^ (acc >> 8);
  return acc;
}

uint16_t updateChecksum16(uint32_t acc, const void* data, size_t length) {
  const uint8_t* p = (const uint8_t*)data;
  uint32_t sum = acc & 0xFFFF;
  for (size_t i = 0; i < length; i++) {
    sum = (sum + p[i]) & 0xFFFF;
    sum = ((sum << 1) | (sum >> 15)) & 0xFFFF;
  }
  return (uint16_t)sum;
}

uint32_t updateChecksum(uint32_t acc, const void* data, size_t length, int mode) {
  if (mode == 1) return updateChecksum16(acc, data, length);
  return updateCrc32(acc, data, length);
}
