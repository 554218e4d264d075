#include "archive/checksum.h"

uint32_t crcTable[256];

void buildCrcTable() {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; bit++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    crcTable[i] = c;
  }
}

uint32_t updateCrc32(uint32_t acc, const void* data, size_t length) {
  const uint8_t* p = (const uint8_t*)data;
  for (size_t i = 0; i < length; i++) acc = crcTable[(acc ^ p[i]) & 0xFF] ^ (acc >> 8);
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
