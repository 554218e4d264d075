#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <random>
#include <vector>

#include "archive/checksum.h"
#include "archive/cipher.h"
#include "archive/data_stream.h"
#include "archive/reader.h"
#include "tests/support/bit_writer.h"
#include "tests/support/fake_host.h"
#include "unpack/unpack.h"

namespace {

class BitInput : public ::testing::Test {
 protected:
  void SetUp() override {
    resetEngineAndHost();
    buildCrcTable();
  }
  void TearDown() override { resetEngineForTests(); }

  // Makes `bytes` the packed data of the current entry.
  void primeArchive(const std::vector<uint8_t>& bytes) {
    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    rewind(file);
    archiveReader.archiveFile = file;
    dataStream.packedLeft = (uint32_t)bytes.size();
  }

  void loadBuffer(const std::vector<uint8_t>& bytes) {
    memcpy(unpackState.bits.inputBuffer, bytes.data(), bytes.size());
    unpackState.bits.bytePos = 0;
    unpackState.bits.bitPos = 0;
  }
};

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = (uint8_t)random();
  return bytes;
}

TEST_F(BitInput, PeekSpansThreeBytesAndSkipCarriesIntoTheByteCount) {
  loadBuffer({0x81, 0x23, 0x45, 0x67});
  unpackState.bits.bitPos = 7;
  // The last bit of 0x81, all of 0x23 and seven bits of 0x45.
  EXPECT_EQ(peekBits(), 0x91A2u);
  EXPECT_EQ(peekBits(), 0x91A2u) << "a peek consumes nothing";
  skipBits(10);
  EXPECT_EQ(unpackState.bits.bytePos, 2u);
  EXPECT_EQ(unpackState.bits.bitPos, 1u);
  EXPECT_EQ(peekBits(), 0x8ACEu);
  skipBits(16);
  EXPECT_EQ(unpackState.bits.bytePos, 4u);
  EXPECT_EQ(unpackState.bits.bitPos, 1u);
}

TEST_F(BitInput, FieldsOfEveryWidthReadBackAsWritten) {
  std::mt19937 random(7);
  BitWriter writer;
  std::vector<std::pair<uint32_t, uint32_t>> fields;
  while (writer.bytes.size() < 4000) {
    uint32_t width = 1 + random() % 16;
    uint32_t value = random() & ((1u << width) - 1);
    writer.put(value, width);
    fields.push_back({value, width});
  }
  loadBuffer(writer.finish(4));
  for (auto [value, width] : fields) {
    ASSERT_EQ(peekBits() >> (16 - width), value) << "width " << width;
    skipBits(width);
  }
}

TEST_F(BitInput, FirstRefillFillsTheBufferAndRecordsWhatCame) {
  std::vector<uint8_t> data = pattern(5000, 1);
  primeArchive(data);
  unpackState.bits.bytePos = 77;
  refillInput(true);
  EXPECT_EQ(unpackState.bits.validBytes, 5000);
  EXPECT_EQ(unpackState.bits.bytePos, 0u);
  EXPECT_EQ(0, memcmp(unpackState.bits.inputBuffer, data.data(), data.size()));

  refillInput(true);
  EXPECT_EQ(unpackState.bits.validBytes, 0) << "the entry's data is exhausted";
}

TEST_F(BitInput, LaterRefillsCarryTheLast32BytesAndTheBitPosition) {
  std::vector<uint8_t> data = pattern(8192 + 8160 + 100, 2);
  primeArchive(data);
  refillInput(true);
  ASSERT_EQ(unpackState.bits.validBytes, 8192);

  unpackState.bits.bytePos = 8170;
  unpackState.bits.bitPos = 5;
  uint32_t before = peekBits();
  refillInput(false);
  BitReader& bits = unpackState.bits;
  EXPECT_EQ(bits.bytePos, 10u);
  EXPECT_EQ(bits.bitPos, 5u);
  EXPECT_EQ(peekBits(), before) << "the same bits are next after the move";
  EXPECT_EQ(bits.validBytes, 8192);
  EXPECT_EQ(0, memcmp(bits.inputBuffer, data.data() + 8160, 8192));

  // A short read: validBytes counts the carried bytes too.
  bits.bytePos = 8163;
  refillInput(false);
  EXPECT_EQ(bits.bytePos, 3u);
  EXPECT_EQ(bits.validBytes, 100 + 32);
  EXPECT_EQ(0, memcmp(bits.inputBuffer, data.data() + 8192 + 8160 - 32, 132));

  // Nothing more: the old bytes stay where they were and validBytes is the position.
  std::vector<uint8_t> kept(bits.inputBuffer, bits.inputBuffer + InputBufferSize);
  bits.bytePos = 8180;
  refillInput(false);
  EXPECT_EQ(bits.bytePos, 20u);
  EXPECT_EQ(bits.validBytes, 20);
  EXPECT_EQ(0, memcmp(bits.inputBuffer, kept.data() + 8160, 32));
  EXPECT_EQ(0, memcmp(bits.inputBuffer + 32, kept.data() + 32, InputBufferSize - 32));
}

TEST_F(BitInput, RefillFromAnEncryptedEntryDecryptsAsOneStream) {
  // The same bytes delivered by refills in 8192 and 8160-byte calls must equal one
  // decryption of the whole: the cipher runs on across calls.
  std::vector<uint8_t> plain = pattern(8192 + 8160, 3);
  std::vector<uint8_t> packed = plain;
  initCipher("secret");
  for (size_t i = 0; i < packed.size(); i += 16) encryptBlock20(packed.data() + i);

  primeArchive(packed);
  dataStream.cipherVersion = 20;
  initCipher("secret");
  refillInput(true);
  EXPECT_EQ(0, memcmp(unpackState.bits.inputBuffer, plain.data(), 8192));
  unpackState.bits.bytePos = 8165;
  refillInput(false);
  EXPECT_EQ(0, memcmp(unpackState.bits.inputBuffer, plain.data() + 8160, 8192));
}

}  // namespace
