// The three ciphers of the archive format, keyed from the password: the version 1.3
// and 1.5 byte-stream ciphers and the version 2.0 block cipher (16-byte blocks, 32
// rounds).
#pragma once

#include <stddef.h>
#include <stdint.h>

struct CipherState {
  uint32_t key20[4];
  uint8_t substTable[256];
  uint16_t key15[4];
  uint8_t key13[3];
};

extern CipherState cipherState;

enum StreamCipherMode : int { Cipher13 = 0, Cipher15 = 2 };

void initCipher(const char* password);
void encryptBlock20(uint8_t* block);
void decryptBlock20(uint8_t* block);
void updateKeys20(const uint8_t* block);
void decrypt13(uint8_t* data, size_t length);
void crypt15(uint8_t* data, size_t length);
void decryptStream(uint8_t* data, size_t length, int mode);
// The enciphering direction of the 1.3 cipher, for the archive writer.
void encrypt13(uint8_t* data, size_t length);
