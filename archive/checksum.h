// The standard reflected CRC-32 (polynomial 0xEDB88320 in table form) and the 16-bit
// add-and-rotate checksum of old-format archives. Neither update inverts its
// accumulator: callers start a CRC-32 from 0xFFFFFFFF and compare its complement.
#pragma once

#include <stddef.h>
#include <stdint.h>

extern uint32_t crcTable[256];

// Builds the tables once; later calls return at once, so a caller may ask before every
// use. The first call must come before any other thread reads the tables.
void buildCrcTable();
uint32_t updateCrc32(uint32_t acc, const void* data, size_t length);
uint16_t updateChecksum16(uint32_t acc, const void* data, size_t length);
// mode 1: the 16-bit checksum over the low 16 bits of acc; any other mode: CRC-32.
uint32_t updateChecksum(uint32_t acc, const void* data, size_t length, int mode);
