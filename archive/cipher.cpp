// The three ciphers of the archive format and their keys, all derived from the
// password: the 1.3 and 1.5 byte-stream ciphers and the 2.0 block cipher.
#include "archive/cipher.h"

#include <string.h>

#include "archive/checksum.h"

static const uint32_t initialKey20[4] = {0xD3A3B879, 0x3F6D12F7, 0x7515A235, 0xA4E7F123};

static const uint8_t initialSubstTable[256] = {
    0xD7, 0x13, 0x95, 0x23, 0x49, 0xC5, 0xC0, 0xCD, 0xF9, 0x1C, 0x10, 0x77, 0x30, 0xDD, 0x02, 0x2A,
    0xE8, 0x01, 0xB1, 0xE9, 0x0E, 0x58, 0xDB, 0x19, 0xDF, 0xC3, 0xF4, 0x5A, 0x57, 0xEF, 0x99, 0x89,
    0xFF, 0xC7, 0x93, 0x46, 0x5C, 0x42, 0xF6, 0x0D, 0xD8, 0x28, 0x3E, 0x1D, 0xD9, 0xE6, 0x56, 0x06,
    0x47, 0x18, 0xAB, 0xC4, 0x65, 0x71, 0xDA, 0x7B, 0x5D, 0x5B, 0xA3, 0xB2, 0xCA, 0x43, 0x2C, 0xEB,
    0x6B, 0xFA, 0x4B, 0xEA, 0x31, 0xA7, 0x7D, 0xD3, 0x53, 0x72, 0x9D, 0x90, 0x20, 0xC1, 0x8F, 0x24,
    0x9E, 0x7C, 0xF7, 0xBB, 0x59, 0xD6, 0x8D, 0x2F, 0x79, 0xE4, 0x3D, 0x82, 0xD5, 0xC2, 0xAE, 0xFB,
    0x61, 0x6E, 0x36, 0xE5, 0x73, 0x39, 0x98, 0x5E, 0x69, 0xF3, 0xD4, 0x37, 0xD1, 0xF5, 0x3F, 0x0B,
    0xA4, 0xC8, 0x1F, 0x9C, 0x51, 0xB0, 0xE3, 0x15, 0x4C, 0x63, 0x8B, 0xBC, 0x7F, 0x11, 0xF8, 0x33,
    0xCF, 0x78, 0xBD, 0xD2, 0x08, 0xE2, 0x29, 0x48, 0xB7, 0xCB, 0x87, 0xA5, 0xA6, 0x3C, 0x62, 0x07,
    0x7A, 0x26, 0x9B, 0xAA, 0x45, 0xAC, 0xFC, 0xEE, 0x27, 0x86, 0x3B, 0x80, 0xEC, 0x1B, 0xF0, 0x50,
    0x83, 0x03, 0x55, 0xCE, 0x91, 0x4F, 0x9A, 0x8E, 0x9F, 0xDC, 0xC9, 0x85, 0x4A, 0x40, 0x14, 0x81,
    0xE0, 0xB9, 0x8A, 0x67, 0xAD, 0xB6, 0x2B, 0x22, 0xFE, 0x52, 0xC6, 0x97, 0xE7, 0xB4, 0x3A, 0x0A,
    0x76, 0x1A, 0x66, 0x0C, 0x32, 0x84, 0x16, 0xBF, 0x88, 0x6F, 0xA2, 0xB3, 0x2D, 0x04, 0x94, 0x6C,
    0xA1, 0x38, 0x4E, 0x7E, 0xF2, 0xDE, 0x0F, 0xAF, 0x92, 0x17, 0x21, 0xF1, 0xB5, 0xBE, 0x4D, 0xE1,
    0x00, 0x2E, 0xA9, 0xBA, 0x44, 0x5F, 0xED, 0x41, 0x35, 0xD0, 0xFD, 0xA8, 0x09, 0x12, 0x64, 0x34,
    0x74, 0xB8, 0xA0, 0x60, 0x6D, 0x25, 0x1E, 0x6A, 0x8C, 0x68, 0x96, 0x05, 0xCC, 0x75, 0x70, 0x54,
};

static inline uint32_t rotl32(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

static inline uint32_t substitute(uint32_t t) {
  const uint8_t* s = cipherState.substTable;
  return (uint32_t)s[t & 0xFF] | (uint32_t)s[(t >> 8) & 0xFF] << 8 |
         (uint32_t)s[(t >> 16) & 0xFF] << 16 | (uint32_t)s[t >> 24] << 24;
}

static inline uint32_t loadWord(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static inline void storeWord(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

static void initOldKeys(const char* password, size_t length) {
  const uint8_t* bytes = (const uint8_t*)password;
  uint32_t c = updateCrc32(0xFFFFFFFF, bytes, length);
  cipherState.key15[0] = (uint16_t)c;
  cipherState.key15[1] = (uint16_t)(c >> 16);
  cipherState.key15[2] = 0;
  cipherState.key15[3] = 0;
  uint8_t* k = cipherState.key13;
  k[0] = k[1] = k[2] = 0;
  for (size_t i = 0; i < length; i++) {
    uint8_t ch = bytes[i];
    k[0] = (uint8_t)(k[0] + ch);
    k[1] ^= ch;
    k[2] = (uint8_t)(k[2] + ch);
    k[2] = (uint8_t)((k[2] << 1) | (k[2] >> 7));
    cipherState.key15[2] ^= (uint16_t)(ch ^ crcTable[ch]);
    cipherState.key15[3] = (uint16_t)(cipherState.key15[3] + (uint16_t)(ch + (crcTable[ch] >> 16)));
  }
}

void initCipher(const char* password) {
  // The password field holds at most 127 bytes and a zero.
  size_t length = 0;
  while (length < 127 && password[length] != 0) length++;
  initOldKeys(password, length);
  memcpy(cipherState.key20, initialKey20, sizeof initialKey20);

  // Zero padding: an odd password pairs its last byte with the terminating zero, and
  // the last encrypted block reads zeros past the end.
  uint8_t psw[256];
  memset(psw, 0, sizeof psw);
  memcpy(psw, password, length);

  uint8_t* table = cipherState.substTable;
  memcpy(table, initialSubstTable, sizeof initialSubstTable);
  for (uint32_t j = 0; j < 256; j++) {
    for (uint32_t i = 0; i < length; i += 2) {
      uint32_t q = crcTable[(psw[i + 1] + j) & 0xFF] & 0xFF;
      uint32_t p = crcTable[(psw[i] - j) & 0xFF] & 0xFF;
      for (uint32_t k = 1; p != q; p = (p + 1) & 0xFF, k++) {
        uint8_t other = (uint8_t)((p + i + k) & 0xFF);
        uint8_t held = table[p];
        table[p] = table[other];
        table[other] = held;
      }
    }
  }
  // Only the key advance counts; the enciphered password is dropped.
  for (size_t i = 0; i < length; i += 16) encryptBlock20(psw + i);
  memset(psw, 0, sizeof psw);
}

void updateKeys20(const uint8_t* block) {
  for (int i = 0; i < 16; i += 4) {
    cipherState.key20[0] ^= crcTable[block[i]];
    cipherState.key20[1] ^= crcTable[block[i + 1]];
    cipherState.key20[2] ^= crcTable[block[i + 2]];
    cipherState.key20[3] ^= crcTable[block[i + 3]];
  }
}

#define CIPHER20_ROUND(r)                                 \
  do {                                                    \
    uint32_t key = cipherState.key20[(r) & 3];            \
    uint32_t t = (c + rotl32(d, 11)) ^ key;               \
    uint32_t ta = a ^ substitute(t);                      \
    t = (d ^ rotl32(c, 17)) + key;                        \
    uint32_t tb = b ^ substitute(t);                      \
    a = c;                                                \
    b = d;                                                \
    c = ta;                                               \
    d = tb;                                               \
  } while (0)

void encryptBlock20(uint8_t* block) {
  const uint32_t* key = cipherState.key20;
  uint32_t a = loadWord(block) ^ key[0], b = loadWord(block + 4) ^ key[1];
  uint32_t c = loadWord(block + 8) ^ key[2], d = loadWord(block + 12) ^ key[3];
  for (int r = 0; r < 32; r++) CIPHER20_ROUND(r);
  storeWord(block, c ^ key[0]);
  storeWord(block + 4, d ^ key[1]);
  storeWord(block + 8, a ^ key[2]);
  storeWord(block + 12, b ^ key[3]);
  updateKeys20(block);
}

void decryptBlock20(uint8_t* block) {
  uint8_t cipherText[16];
  memcpy(cipherText, block, sizeof cipherText);
  const uint32_t* key = cipherState.key20;
  uint32_t a = loadWord(block) ^ key[0], b = loadWord(block + 4) ^ key[1];
  uint32_t c = loadWord(block + 8) ^ key[2], d = loadWord(block + 12) ^ key[3];
  for (int r = 31; r >= 0; r--) CIPHER20_ROUND(r);
  storeWord(block, c ^ key[0]);
  storeWord(block + 4, d ^ key[1]);
  storeWord(block + 8, a ^ key[2]);
  storeWord(block + 12, b ^ key[3]);
  updateKeys20(cipherText);
}

void decrypt13(uint8_t* data, size_t length) {
  uint8_t* k = cipherState.key13;
  for (size_t i = 0; i < length; i++) {
    k[1] = (uint8_t)(k[1] + k[2]);
    k[0] = (uint8_t)(k[0] + k[1]);
    data[i] = (uint8_t)(data[i] - k[0]);
  }
}

void encrypt13(uint8_t* data, size_t length) {
  uint8_t* k = cipherState.key13;
  for (size_t i = 0; i < length; i++) {
    k[1] = (uint8_t)(k[1] + k[2]);
    k[0] = (uint8_t)(k[0] + k[1]);
    data[i] = (uint8_t)(data[i] + k[0]);
  }
}

void crypt15(uint8_t* data, size_t length) {
  uint16_t* key = cipherState.key15;
  for (size_t i = 0; i < length; i++) {
    key[0] = (uint16_t)(key[0] + 0x1234);
    uint32_t x = crcTable[(key[0] & 0x1FE) >> 1];
    key[1] ^= (uint16_t)x;
    key[2] = (uint16_t)(key[2] - (uint16_t)(x >> 16));
    key[0] ^= key[2];
    key[3] = (uint16_t)(((key[3] >> 1) | (key[3] << 15)) ^ key[1]);
    key[3] = (uint16_t)((key[3] >> 1) | (key[3] << 15));
    key[0] ^= key[3];
    data[i] ^= (uint8_t)(key[0] >> 8);
  }
}

void decryptStream(uint8_t* data, size_t length, int mode) {
  if (mode == Cipher15)
    crypt15(data, length);
  else
    decrypt13(data, length);
}
