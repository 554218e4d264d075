#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "archive/cipher.h"
#include "extract/session.h"
#include "tests/support/engine_test.h"
#include "tests/support/fake_host.h"
#include "tests/support/random_bytes.h"

namespace {

class Cipher : public EngineTest {};

bool sameState(const CipherState& a, const CipherState& b) {
  return memcmp(a.key20, b.key20, sizeof a.key20) == 0 &&
         memcmp(a.substTable, b.substTable, sizeof a.substTable) == 0 &&
         memcmp(a.key15, b.key15, sizeof a.key15) == 0 &&
         memcmp(a.key13, b.key13, sizeof a.key13) == 0;
}

TEST_F(Cipher, AnEmptyPasswordLeavesTheFixedStartingKeys) {
  initCipher("");
  EXPECT_EQ(cipherState.key20[0], 0xD3A3B879u);
  EXPECT_EQ(cipherState.key20[3], 0xA4E7F123u);
  EXPECT_EQ(cipherState.substTable[0x00], 0xD7);
  EXPECT_EQ(cipherState.substTable[0x7F], 0x33);
  EXPECT_EQ(cipherState.substTable[0xFF], 0x54);
  // The CRC of nothing, uninverted, splits into the first two 1.5 keys.
  EXPECT_EQ(cipherState.key15[0], 0xFFFF);
  EXPECT_EQ(cipherState.key15[1], 0xFFFF);
  EXPECT_EQ(cipherState.key15[2], 0);
  EXPECT_EQ(cipherState.key15[3], 0);
}

TEST_F(Cipher, TheOldCipherKeysFollowThePasswordBytes) {
  initCipher("A");
  EXPECT_EQ(cipherState.key13[0], 0x41);
  EXPECT_EQ(cipherState.key13[1], 0x41);
  EXPECT_EQ(cipherState.key13[2], 0x82);  // added, then rotated left within the byte
  uint8_t data[2] = {0, 0};
  decrypt13(data, 2);
  EXPECT_EQ(data[0], 0xFC);
  EXPECT_EQ(data[1], 0xB7);

  uint32_t c = updateCrc32(0xFFFFFFFF, "A", 1);
  initCipher("A");
  EXPECT_EQ(cipherState.key15[0], (uint16_t)c);
  EXPECT_EQ(cipherState.key15[1], (uint16_t)(c >> 16));
  EXPECT_EQ(cipherState.key15[2], (uint16_t)(0x41 ^ crcTable[0x41]));
  EXPECT_EQ(cipherState.key15[3], (uint16_t)(0x41 + (crcTable[0x41] >> 16)));
}

TEST_F(Cipher, KeySetUpIsRepeatableAndOnlyReadsThePassword) {
  initCipher("correct horse");
  CipherState first = cipherState;
  decrypt13(randomBytes(64, 1).data(), 64);  // disturb the running keys
  initCipher("correct horse");
  EXPECT_TRUE(sameState(first, cipherState));

  // An odd length pairs the last byte with the terminating zero, and the last key
  // block reads zeros after the password: bytes after the zero must not matter.
  char junk[128];
  memset(junk, 'J', sizeof junk);
  memcpy(junk, "odd", 4);
  initCipher(junk);
  CipherState fromJunk = cipherState;
  char clean[128] = "odd";
  initCipher(clean);
  EXPECT_TRUE(sameState(fromJunk, cipherState));

  initCipher("odd!");
  EXPECT_FALSE(sameState(fromJunk, cipherState));
}

TEST_F(Cipher, SubstitutionStaysAPermutationForManyPasswords) {
  std::mt19937 random(9);
  for (int round = 0; round < 300; round++) {
    char password[128] = {0};
    size_t length = 1 + random() % 127;
    for (size_t i = 0; i < length; i++) password[i] = (char)(1 + random() % 255);
    initCipher(password);
    bool seen[256] = {false};
    for (int i = 0; i < 256; i++) seen[cipherState.substTable[i]] = true;
    for (int i = 0; i < 256; i++) ASSERT_TRUE(seen[i]) << "password length " << length;
  }
}

TEST_F(Cipher, BlockEncryptionAndDecryptionRoundTripAndAdvanceKeysAlike) {
  initCipher("block password!");
  std::vector<uint8_t> plain = randomBytes(16 * 40, 2);
  std::vector<uint8_t> data = plain;
  CipherState start = cipherState;
  for (size_t i = 0; i < data.size(); i += 16) encryptBlock20(data.data() + i);
  CipherState afterEncrypt = cipherState;
  EXPECT_NE(data, plain);

  cipherState = start;
  for (size_t i = 0; i < data.size(); i += 16) decryptBlock20(data.data() + i);
  EXPECT_EQ(data, plain);
  EXPECT_TRUE(sameState(afterEncrypt, cipherState)) << "both update the keys from the ciphertext";

  // The running key matters: the same block enciphers differently the second time.
  cipherState = start;
  uint8_t a[16] = {0}, b[16] = {0};
  encryptBlock20(a);
  encryptBlock20(b);
  EXPECT_NE(0, memcmp(a, b, 16));
}

TEST_F(Cipher, StreamCiphersRoundTripAndRunOnAcrossCalls) {
  std::vector<uint8_t> plain = randomBytes(20000, 3);

  initCipher("stream");
  std::vector<uint8_t> once = plain;
  crypt15(once.data(), once.size());
  EXPECT_NE(once, plain);
  initCipher("stream");
  std::vector<uint8_t> pieces = plain;
  for (size_t at = 0; at < pieces.size(); at += 8192)
    decryptStream(pieces.data() + at, std::min<size_t>(8192, pieces.size() - at), Cipher15);
  EXPECT_EQ(pieces, once);
  initCipher("stream");
  crypt15(pieces.data(), pieces.size());
  EXPECT_EQ(pieces, plain) << "the 1.5 cipher is its own inverse";

  initCipher("stream");
  std::vector<uint8_t> enciphered = plain;
  encrypt13(enciphered.data(), enciphered.size());
  initCipher("stream");
  std::vector<uint8_t> deciphered = enciphered;
  for (size_t at = 0; at < deciphered.size(); at += 8192)
    decryptStream(deciphered.data() + at, std::min<size_t>(8192, deciphered.size() - at),
                  Cipher13);
  EXPECT_EQ(deciphered, plain);
}

TEST_F(Cipher, DifferentPasswordsGiveDifferentStreams) {
  std::vector<uint8_t> zeros(64, 0), a = zeros, b = zeros;
  initCipher("password1");
  for (size_t i = 0; i < 64; i += 16) decryptBlock20(a.data() + i);
  initCipher("password2");
  for (size_t i = 0; i < 64; i += 16) decryptBlock20(b.data() + i);
  EXPECT_NE(a, b);
}

}  // namespace
