#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "archive/cipher.h"
#include "archive/data_stream.h"
#include "archive/reader.h"
#include "extract/session.h"
#include "tests/support/engine_test.h"
#include "tests/support/fake_host.h"
#include "tests/support/random_bytes.h"
#include "tests/support/temp_dir.h"

namespace {

class Stream : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    session.window = (unsigned char*)calloc(1 << 20, 1);
    dataStream.dataCrc = 0xFFFFFFFF;
    dataStream.checksumMode = 2;
  }
  // Opens an archive file holding `bytes` and makes them the current entry's data.
  void primeArchive(const std::vector<uint8_t>& bytes, uint32_t packedSize) {
    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    rewind(file);
    archiveReader.archiveFile = file;
    dataStream.packedLeft = packedSize;
  }
  void primeArchive(const std::vector<uint8_t>& bytes) {
    primeArchive(bytes, (uint32_t)bytes.size());
  }
};

void echoBoxes() { fakeHost.echoToStderr = true; }

TEST_F(Stream, ReadsStopAtTheEndOfTheEntrysPackedData) {
  std::vector<uint8_t> bytes = randomBytes(300, 1);
  primeArchive(bytes, 200);  // the next block follows the entry's 200 bytes
  std::vector<uint8_t> dest(512, 0);
  EXPECT_EQ(readPacked(dest.data(), 150), 150);
  EXPECT_EQ(readPacked(dest.data() + 150, 512), 50);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 200, dest.begin()));
  EXPECT_EQ(dest[200], 0);
  EXPECT_EQ(readPacked(dest.data(), 512), 0);
  EXPECT_EQ(ftell(archiveReader.archiveFile), 200);
}

TEST_F(Stream, ACountOfZeroReadsNothingAndReportsNothing) {
  primeArchive(randomBytes(100, 2));
  dataStream.progressOrigin = 10;
  dataStream.archiveLength = 100;
  unsigned char dest[16];
  EXPECT_EQ(readPacked(dest, 0), 0);
  EXPECT_EQ(ftell(archiveReader.archiveFile), 0);
  EXPECT_TRUE(fakeHost.progress().empty());
  EXPECT_EQ(dataStream.packedLeft, 100u);
}

TEST_F(Stream, NoArchiveOpenReadsZero) {
  dataStream.packedLeft = 100;
  unsigned char dest[16];
  EXPECT_EQ(readPacked(dest, 16), 0);
}

TEST_F(Stream, EveryReadReportsTheArchivePosition) {
  std::vector<uint8_t> bytes(40000, 7);
  primeArchive(bytes);
  dataStream.progressOrigin = 2048;  // as if the archive started there
  dataStream.archiveLength = 40000;
  std::vector<uint8_t> dest(32512);
  readPacked(dest.data(), 32512);
  readPacked(dest.data(), 32512);
  std::vector<HostEvent> events = fakeHost.progress();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].message, (unsigned)ProgressSetPos);
  EXPECT_EQ(events[0].wParam, (32512u - 2048) >> 10);
  EXPECT_EQ(events[1].wParam, (40000u - 2048) >> 10);
}

TEST_F(Stream, AShortReadDecryptsItsLastBlockWhole) {
  std::vector<uint8_t> plain = randomBytes(48, 3);
  std::vector<uint8_t> packed = plain;
  initCipher("pw");
  for (size_t i = 0; i < packed.size(); i += 16) encryptBlock20(packed.data() + i);

  // The archive ends 8 bytes into the third block; the caller's buffer happens to hold
  // the missing ciphertext bytes, so a whole-block decryption gives the plaintext back.
  primeArchive(std::vector<uint8_t>(packed.begin(), packed.begin() + 40), 48);
  dataStream.cipherVersion = 20;
  initCipher("pw");
  std::vector<uint8_t> dest = packed;
  dest.resize(64, 0);
  EXPECT_EQ(readPacked(dest.data(), 64), 40);
  EXPECT_TRUE(std::equal(plain.begin(), plain.end(), dest.begin()));
  EXPECT_EQ(readPacked(dest.data(), 64), 0);
}

TEST_F(Stream, AFailedReadIsPassedOnUndecrypted) {
  TempDir dir;
  FILE* writeOnly = fopen((dir / "archive").c_str(), "wb");
  ASSERT_NE(writeOnly, nullptr);
  archiveReader.archiveFile = writeOnly;
  dataStream.packedLeft = 64;
  dataStream.cipherVersion = 20;
  initCipher("pw");
  CipherState before = cipherState;
  std::vector<uint8_t> dest(64, 0xAB);
  EXPECT_EQ(readPacked(dest.data(), 64), -1);
  EXPECT_EQ(dest, std::vector<uint8_t>(64, 0xAB));
  EXPECT_EQ(0, memcmp(before.key20, cipherState.key20, sizeof before.key20));
}

TEST_F(Stream, DecryptingInPiecesEqualsDecryptingAtOnce) {
  std::vector<uint8_t> plain = randomBytes(3 * 8192 + 480, 4);
  for (int version : {13, 14, 15, 20}) {
    SCOPED_TRACE(version);
    std::vector<uint8_t> packed = plain;
    initCipher("same password");
    if (version == 20)
      for (size_t i = 0; i < packed.size(); i += 16) encryptBlock20(packed.data() + i);
    else if (version == 15)
      crypt15(packed.data(), packed.size());
    else
      encrypt13(packed.data(), packed.size());

    primeArchive(packed);
    dataStream.cipherVersion = version;
    initCipher("same password");
    std::vector<uint8_t> got(packed.size() + 16);
    size_t at = 0;
    int32_t n;
    while ((n = readPacked(got.data() + at, 8192)) > 0) at += (size_t)n;
    ASSERT_EQ(at, plain.size());
    got.resize(at);
    EXPECT_EQ(got, plain);
    fclose(archiveReader.archiveFile);
    archiveReader.archiveFile = nullptr;
  }
}

TEST_F(Stream, TestModeWritesNothingButStillChecksums) {
  captureUnpackedOutput();
  session.testMode = true;
  EXPECT_EQ(writeUnpacked((const unsigned char*)"abc", 3), 3);
  EXPECT_TRUE(capturedOutput().empty());
  EXPECT_EQ(dataStream.dataCrc, updateCrc32(0xFFFFFFFF, "abc", 3));

  session.skipChecksum = true;
  uint32_t before = dataStream.dataCrc;
  EXPECT_EQ(writeUnpacked((const unsigned char*)"def", 3), 3);
  EXPECT_EQ(dataStream.dataCrc, before);

  session.testMode = false;
  EXPECT_EQ(writeUnpacked((const unsigned char*)"ghi", 3), 3);
  std::vector<uint8_t> bytes = capturedOutput();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "ghi");
  EXPECT_EQ(dataStream.dataCrc, before);
}

TEST_F(Stream, OldFormatEntriesUseTheSixteenBitChecksum) {
  session.testMode = true;
  dataStream.checksumMode = 1;
  dataStream.dataCrc = 0;
  writeUnpacked((const unsigned char*)"a", 1);
  writeUnpacked((const unsigned char*)"bc", 2);
  EXPECT_EQ(dataStream.dataCrc, 0x0556u);
}

TEST_F(Stream, AStoredEntryLongerThanItsFileWritesExactlyTheUnpackedSize) {
  std::vector<uint8_t> bytes = randomBytes(100000, 5);
  primeArchive(bytes);
  captureUnpackedOutput();
  dataStream.remaining = 70000;
  copyStored();
  std::vector<uint8_t> written = capturedOutput();
  ASSERT_EQ(written.size(), 70000u);
  EXPECT_TRUE(std::equal(written.begin(), written.end(), bytes.begin()));
  EXPECT_EQ(dataStream.packedLeft, 0u) << "the surplus is read and dropped";
  EXPECT_EQ(dataStream.remaining, 0);
  EXPECT_EQ(dataStream.dataCrc, updateCrc32(0xFFFFFFFF, bytes.data(), 70000));
}

TEST_F(Stream, AStoredEntryShorterThanItsFileWritesWhatThereIs) {
  std::vector<uint8_t> bytes = randomBytes(40000, 6);
  primeArchive(bytes);
  captureUnpackedOutput();
  dataStream.remaining = 50000;
  copyStored();
  EXPECT_EQ(capturedOutput(), bytes);
  EXPECT_EQ(dataStream.remaining, 10000);
}

TEST_F(Stream, AStoredCopyWithNothingOwedWritesNothing) {
  // An unpacked size of 2 GiB or more arrives here as a negative count.
  primeArchive(randomBytes(1000, 7));
  captureUnpackedOutput();
  dataStream.remaining = -5;
  copyStored();
  EXPECT_TRUE(capturedOutput().empty());
  EXPECT_EQ(dataStream.packedLeft, 0u);
}

TEST_F(Stream, AStoredCopyEndsTheProcessOnAReadFailure) {
  TempDir dir;
  archiveReader.archiveFile = fopen((dir / "archive").c_str(), "wb");
  dataStream.packedLeft = 10;
  dataStream.remaining = 10;
  echoBoxes();
  EXPECT_EXIT(copyStored(), ::testing::ExitedWithCode(2), "Read error");
}

TEST_F(Stream, AFullDeviceEndsTheProcessWithAWriteError) {
  FILE* full = fopen("/dev/full", "wb");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
  session.outputFile = full;
  std::vector<uint8_t> small(10, 1);
  echoBoxes();
  EXPECT_EXIT(writeUnpacked(small.data(), 10), ::testing::ExitedWithCode(5),
              "Write error\nProgram aborted");
}

TEST_F(Stream, AnEntryContinuedInTheNextVolumeClosesTheArchiveAtItsEnd) {
  std::vector<uint8_t> bytes = randomBytes(64, 8);
  primeArchive(bytes);
  dataStream.continuesInNext = true;
  std::vector<uint8_t> dest(64);
  EXPECT_EQ(readPacked(dest.data(), 32), 32);
  EXPECT_NE(archiveReader.archiveFile, nullptr);
  EXPECT_EQ(readPacked(dest.data() + 32, 32), 32) << "a request ending exactly at the end";
  EXPECT_EQ(dest, bytes);
  EXPECT_EQ(archiveReader.archiveFile, nullptr);
  EXPECT_EQ(readPacked(dest.data(), 32), 0);

  // A request reaching past the end gets nothing.
  primeArchive(bytes);
  EXPECT_EQ(readPacked(dest.data(), 100), 0);
  EXPECT_EQ(archiveReader.archiveFile, nullptr);
}

class Progress : public Stream {
 protected:
  // Returns the maximum sent with the range, after checking the messages' shape.
  uint32_t rangeFor(int32_t origin, int32_t length) {
    fakeHost.events.clear();
    dataStream.progressOrigin = origin;
    dataStream.archiveLength = length;
    setProgressRange();
    std::vector<HostEvent> events = fakeHost.progress();
    EXPECT_EQ(events.size(), 2u);
    if (events.size() != 2) return 0;
    EXPECT_EQ(events[0].message, (unsigned)ProgressSetRange);
    EXPECT_EQ(events[0].wParam, 0u);
    EXPECT_EQ(events[0].lParam & 0xFFFF, 0) << "minimum 0";
    EXPECT_EQ(events[1].message, (unsigned)ProgressSetStep);
    EXPECT_EQ(events[1].wParam, 1u);
    return (uint32_t)(events[0].lParam >> 16);
  }
  uint32_t positionAt(long offset) {
    fakeHost.events.clear();
    fseek(archiveReader.archiveFile, offset, SEEK_SET);
    dataStream.progressShown = -1;  // nothing shown yet: the position is always sent
    reportProgress();
    std::vector<HostEvent> events = fakeHost.progress();
    EXPECT_EQ(events.size(), 1u);
    return events.empty() ? 0 : (uint32_t)events[0].wParam;
  }
};

TEST_F(Progress, AnEmbeddedInstallerPayloadRunsFromZeroTo806) {
  primeArchive({0});
  EXPECT_EQ(rangeFor(167936, 993515), 806u);
  EXPECT_EQ(positionAt(167936), 0u);
  EXPECT_EQ(positionAt(167936 + 1023), 0u);
  EXPECT_EQ(positionAt(167936 + 1024), 1u);
  EXPECT_EQ(positionAt(993515), 806u);
}

TEST_F(Progress, ArchivesBeyondSixteenBitsOfKibibytesAreScaledNotWrapped) {
  primeArchive({0});
  EXPECT_EQ(rangeFor(100000, 100000 + 65535 * 1024 + 1023), 65535u) << "still in KiB";
  EXPECT_EQ(positionAt(100000 + 65535 * 1024), 65535u);

  EXPECT_EQ(rangeFor(100000, 100000 + 65536 * 1024), 32768u);
  EXPECT_EQ(positionAt(100000 + 65536 * 1024), 32768u);
  EXPECT_EQ(positionAt(100000 + 32768 * 1024), 16384u);

  const int32_t length = 1500 * 1024 * 1024;  // 1.5 GiB: KiB divided by 32
  uint32_t maximum = rangeFor(4096, length);
  EXPECT_EQ(maximum, (uint32_t)((length - 4096) / 1024) >> 5);
  EXPECT_EQ(positionAt(length), maximum);
  EXPECT_EQ(positionAt(4096 + (length - 4096) / 2), maximum / 2);
}

TEST_F(Progress, TheBarMovesOnlyByAThousandthOfItsRangeAndEndsWhereTheWalkEnded) {
  struct Case {
    const char* what;
    int32_t kib;                     // range of the archive in KiB
    std::vector<uint32_t> measured;  // read positions in KiB, -1: finishProgress
    std::vector<uint32_t> sent;
    uint32_t millisecondsApart = 1000;  // between two measurements
  };
  const uint32_t Finish = 0xFFFFFFFF;
  const Case cases[] = {
      {"small range: every new KiB", 806, {0, 0, 1, 1, 2, 806, Finish}, {0, 1, 2, 806}},
      {"stride 66 over 65535 KiB", 65535, {0, 65, 66, 100, 131, 132, Finish}, {0, 66, 132}},
      {"held position sent at the end", 65535, {0, 10, 50, Finish, Finish}, {0, 50}},
      {"backwards is always shown", 65535, {500, 499, 10}, {500, 499, 10}},
      {"scaled range: stride counts scaled units", 3 * 65536, {0, 49, 50, 98}, {0, 50}},
      {"nothing measured, nothing sent", 65535, {Finish}, {}},
      {"at most every 50 ms", 806, {0, 1, 2, 3, 4, 5, 6, Finish}, {0, 3, 6}, 20},
      {"a position held by the clock is sent at the end", 806, {0, 1, 2, Finish}, {0, 2}, 20},
      {"backwards within 50 ms is still shown", 806, {5, 4, 3}, {5, 4, 3}, 1},
  };
  primeArchive({0});
  const int32_t origin = 4096;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rangeFor(origin, origin + c.kib * 1024);
    fakeHost.events.clear();
    fakeHost.clockStep = c.millisecondsApart;
    uint32_t scale = c.kib > 0xFFFF ? 2 : 0;
    for (uint32_t kib : c.measured) {
      if (kib == Finish) {
        finishProgress();
        continue;
      }
      fseek(archiveReader.archiveFile, origin + ((long)kib << (10 + scale)), SEEK_SET);
      reportProgress();
    }
    std::vector<uint32_t> sent;
    for (const HostEvent& event : fakeHost.progress()) {
      EXPECT_EQ(event.message, (unsigned)ProgressSetPos);
      sent.push_back((uint32_t)event.wParam);
    }
    EXPECT_EQ(sent, c.sent);
  }
}

// A status text held back by the repaint interval reaches the screen with the bar's
// next move, and only then: a long file shows its own name while it is written.
TEST_F(Progress, AHeldStatusTextIsShownWithTheBarsNextMove) {
  primeArchive({0});
  rangeFor(4096, 4096 + 806 * 1024);
  // The clock advances 20 ms at each reading: the second move comes too soon.
  struct Step {
    uint32_t kib;
    int repaints;
  } steps[] = {{0, 1}, {1, 1}, {2, 2}};
  fakeHost.clockStep = 20;
  int before = fakeHost.repaints();
  for (const Step& step : steps) {
    session.repaintPending = true;
    fseek(archiveReader.archiveFile, 4096 + step.kib * 1024, SEEK_SET);
    reportProgress();
    EXPECT_EQ(fakeHost.repaints() - before, step.repaints) << "at KiB " << step.kib;
  }
  EXPECT_FALSE(session.repaintPending);
}

TEST_F(Progress, APlainArchiveAtOffsetZeroShowsNoPositions) {
  primeArchive(randomBytes(5000, 9));
  EXPECT_EQ(rangeFor(0, 5000), 4u);
  fakeHost.events.clear();
  unsigned char dest[4096];
  readPacked(dest, 4096);
  reportProgress();
  EXPECT_TRUE(fakeHost.progress().empty());
}

}  // namespace
