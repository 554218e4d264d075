#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "archive/cipher.h"
#include "archive/data_stream.h"
#include "archive/reader.h"
#include "extract/session.h"
#include "pack/archive_stream.h"
#include "pack/archive_writer.h"
#include "tests/support/engine_test.h"
#include "tests/support/fake_host.h"
#include "tests/support/random_bytes.h"
#include "tests/support/temp_dir.h"

namespace {

struct ReadEntry {
  std::string name;
  FileEntry entry;
  std::vector<uint8_t> packed;  // as found in the archive, still encrypted
};

class Writer : public EngineTest {
 protected:
  TempDir dir;

  // Opens the image with the engine's reader and identifies it.
  int open(const std::vector<uint8_t>& image) {
    openAsArchive(image, dir / "archive.bin");
    int kind = identifyArchive();
    if (kind != 0)
      fseek(archiveReader.archiveFile,
            archiveReader.archiveHeader.headSize - archiveReader.archiveHeaderRead, SEEK_CUR);
    return kind;
  }

  // Walks the whole archive as the extraction loop does, collecting entries and the
  // sub-blocks met on the way.
  std::vector<ReadEntry> walk(int* subBlocks = nullptr) {
    std::vector<ReadEntry> entries;
    FILE* file = archiveReader.archiveFile;
    while (readNextBlock() != 0) {
      if (archiveReader.block.headType == SubBlock) {
        if (subBlocks) ++*subBlocks;
        fseek(file, archiveReader.nextBlockPos, SEEK_SET);
        continue;
      }
      ReadEntry read;
      read.name = archiveReader.fileName;
      read.entry = archiveReader.entry;
      read.packed.resize(read.entry.packSize);
      fseek(file, archiveReader.nextBlockPos - (int32_t)read.entry.packSize, SEEK_SET);
      size_t got = fread(read.packed.data(), 1, read.packed.size(), file);
      read.packed.resize(got);
      fseek(file, archiveReader.nextBlockPos, SEEK_SET);
      entries.push_back(read);
    }
    return entries;
  }

  // Delivers an entry's packed data through the data stream, decrypted as the
  // extraction loop has it decrypted.
  std::vector<uint8_t> decrypted(const ReadEntry& read, const std::string& password) {
    std::string path = dir / "packed.bin";
    writeFile(path, read.packed);
    FILE* saved = archiveReader.archiveFile;
    archiveReader.archiveFile = fopen(path.c_str(), "rb");
    dataStream.packedLeft = (uint32_t)read.packed.size();
    dataStream.cipherVersion = read.entry.unpVer;
    initCipher(password.c_str());
    std::vector<uint8_t> out(read.packed.size() + 16);
    size_t at = 0;
    int32_t n;
    while ((n = readPacked(out.data() + at, 8192)) > 0) at += (size_t)n;
    out.resize(at);
    fclose(archiveReader.archiveFile);
    archiveReader.archiveFile = saved;
    return out;
  }

  std::vector<std::string> statusTexts() { return fakeHost.itemTexts(ItemStatus); }
};

TEST_F(Writer, NewFormatEntriesReadBackWithTheirFields) {
  PackArchive archive;
  std::vector<uint8_t> data = randomBytes(5000, 1);
  PackEntry file = storedFile("docs/readme.txt", data);
  file.attributes = 0x21;
  file.dosTime = dosTime(2001, 7, 15, 13, 45, 58);
  archive.items.push_back(folder("docs"));
  archive.items.push_back(file);
  archive.items.push_back(storedFile("empty.txt", std::string()));

  ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
  EXPECT_EQ(archiveReader.format, FormatNew);
  EXPECT_FALSE(archiveReader.solidArchive);
  std::vector<ReadEntry> entries = walk();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(fakeHost.events.empty()) << "no header check failed";

  EXPECT_EQ(entries[0].name, "docs");
  EXPECT_EQ(entries[0].entry.fileAttr, 0x10u);
  EXPECT_EQ(entries[0].entry.flags & 0xE0, 0xE0);
  EXPECT_EQ(entries[0].entry.packSize, 0u);

  const FileEntry& e = entries[1].entry;
  EXPECT_EQ(entries[1].name, "docs\\readme.txt");
  EXPECT_EQ(entries[1].packed, data);
  EXPECT_EQ(e.unpSize, 5000u);
  EXPECT_EQ(e.method, 0x30);
  EXPECT_EQ(e.unpVer, 20);
  EXPECT_EQ(e.hostOs, 2);
  EXPECT_EQ(e.fileAttr, 0x21u);
  EXPECT_EQ(e.fileTime, (21u << 25) | (7u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 29u);
  EXPECT_EQ(e.fileCrc, ~updateCrc32(0xFFFFFFFF, data.data(), data.size()));
  EXPECT_EQ(e.flags, 0x8000);
  EXPECT_EQ(entries[2].entry.unpSize, 0u);
}

TEST_F(Writer, OldFormatEntriesReadBackWithTheirFields) {
  PackArchive archive;
  archive.format = PackFormat::Old;
  std::vector<uint8_t> data = randomBytes(3000, 2);
  archive.items.push_back(storedFile("OLD.TXT", data));
  PackEntry other = storedFile("SUB\\B.BIN", std::string("abc"));
  other.oldVersionCode = 3;
  archive.items.push_back(other);

  ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
  EXPECT_EQ(archiveReader.format, FormatOld);
  std::vector<ReadEntry> entries = walk();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].packed, data);
  EXPECT_EQ(entries[0].entry.unpVer, 13);
  EXPECT_EQ(entries[0].entry.method, 0x30);
  EXPECT_EQ(entries[0].entry.fileCrc, updateChecksum16(0, data.data(), data.size()));
  EXPECT_EQ(entries[1].name, "SUB\\B.BIN");
  EXPECT_EQ(entries[1].entry.fileCrc, 0x0556u);
  EXPECT_EQ(entries[1].entry.unpVer, 10);
}

TEST_F(Writer, SolidAndVolumeFlagsReachTheReader) {
  PackArchive archive;
  archive.solid = true;
  archive.items.push_back(folder("dir"));
  archive.items.push_back(storedFile("a", std::string("1")));
  archive.items.push_back(storedFile("b", std::string("2")));
  ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
  EXPECT_TRUE(archiveReader.solidArchive);
  std::vector<ReadEntry> entries = walk();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].entry.flags & 0x10, 0) << "the first file starts the state";
  EXPECT_EQ(entries[2].entry.flags & 0x10, 0x10);
  fclose(archiveReader.archiveFile);
  archiveReader.archiveFile = nullptr;

  archive.volume = true;
  EXPECT_EQ(open(buildArchive(archive)), VolumeArchive);
  fclose(archiveReader.archiveFile);
  archiveReader.archiveFile = nullptr;

  archive.format = PackFormat::Old;
  ASSERT_EQ(open(buildArchive(archive)), VolumeArchive);
  EXPECT_TRUE(archiveReader.solidArchive);
}

TEST_F(Writer, ArchivesAfterAStubAreFoundEmbedded) {
  PackArchive archive;
  archive.prefix = executableStub(167936);
  archive.items.push_back(storedFile("setup.exe", randomBytes(100, 3)));
  ASSERT_EQ(open(buildArchive(archive)), EmbeddedArchive);
  EXPECT_EQ(archiveReader.embeddedOffset, 167936);
  EXPECT_EQ(walk().size(), 1u);
  fclose(archiveReader.archiveFile);
  archiveReader.archiveFile = nullptr;

  archive.format = PackFormat::Old;
  archive.prefix = executableStub(100000, true);
  ASSERT_EQ(open(buildArchive(archive)), EmbeddedArchive);
  EXPECT_EQ(archiveReader.format, FormatOld);
  EXPECT_EQ(archiveReader.embeddedOffset, 100000);
  EXPECT_EQ(walk().size(), 1u);
}

TEST_F(Writer, EachCipherEncryptsWhatTheDataStreamDecrypts) {
  std::vector<uint8_t> data = randomBytes(20000 + 7, 4);
  for (int unpVer : {13, 14, 15, 20}) {
    SCOPED_TRACE(unpVer);
    resetEngineAndHost();
    PackArchive archive;
    PackEntry entry = storedFile("secret.bin", data);
    entry.password = "swordfish";
    entry.unpVer = (uint8_t)unpVer;
    archive.items.push_back(entry);
    ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
    std::vector<ReadEntry> entries = walk();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].entry.flags & 0x04, 0x04);
    EXPECT_EQ(entries[0].entry.unpSize, data.size());
    EXPECT_NE(entries[0].packed, data);
    if (unpVer == 20)
      EXPECT_EQ(entries[0].entry.packSize, (data.size() + 15) / 16 * 16);
    else
      EXPECT_EQ(entries[0].entry.packSize, data.size());

    std::vector<uint8_t> plain = decrypted(entries[0], "swordfish");
    plain.resize(data.size());
    EXPECT_EQ(plain, data);
  }
}

TEST_F(Writer, OldFormatEntriesUseTheOldestCipher) {
  PackArchive archive;
  archive.format = PackFormat::Old;
  std::vector<uint8_t> data = randomBytes(999, 5);
  PackEntry entry = storedFile("LOCKED.BIN", data);
  entry.password = "pw";
  archive.items.push_back(entry);
  ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
  std::vector<ReadEntry> entries = walk();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].entry.flags & 0x04, 0x04);
  EXPECT_EQ(decrypted(entries[0], "pw"), data);
}

TEST_F(Writer, EncryptionLeavesTheEnginesCipherStateAlone) {
  initCipher("engine");
  CipherState before = cipherState;
  encryptPacked(randomBytes(64, 6), "other", 20);
  EXPECT_EQ(0, memcmp(&before, &cipherState, sizeof before));
}

TEST_F(Writer, EncoderOutputIsWrittenAsGivenWithTheOriginalsSizeAndCheck) {
  std::vector<uint8_t> original = randomBytes(4000, 7);
  std::vector<uint8_t> packed = randomBytes(1234, 8);
  PackArchive archive;
  archive.items.push_back(compressedFile("a.bin", original, packed, 15, 0x33));
  archive.items.push_back(compressedFile("b.bin", 777, 0x12345678, packed, 20, 0x35));
  ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
  std::vector<ReadEntry> entries = walk();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].packed, packed);
  EXPECT_EQ(entries[0].entry.unpSize, 4000u);
  EXPECT_EQ(entries[0].entry.fileCrc, fileChecksum(original));
  EXPECT_EQ(entries[0].entry.unpVer, 15);
  EXPECT_EQ(entries[0].entry.method, 0x33);
  EXPECT_EQ(entries[1].entry.unpSize, 777u);
  EXPECT_EQ(entries[1].entry.fileCrc, 0x12345678u);
  EXPECT_EQ(entries[1].entry.method, 0x35);
}

TEST_F(Writer, SubBlocksAreReportedAndOtherBlocksSkipped) {
  PackArchive archive;
  archive.items.push_back(storedFile("first", std::string("1")));
  PackBlock sub;
  sub.addData = randomBytes(50, 9);
  archive.items.push_back(sub);
  PackBlock unknown;
  unknown.headType = 0x7A;
  unknown.headerBody = {1, 2, 3};
  unknown.addData = randomBytes(30, 10);
  archive.items.push_back(unknown);
  archive.items.push_back(storedFile("second", std::string("2")));
  ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
  int subBlocks = 0;
  std::vector<ReadEntry> entries = walk(&subBlocks);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].name, "second");
  EXPECT_EQ(subBlocks, 1);
  EXPECT_TRUE(fakeHost.events.empty());
}

TEST_F(Writer, BrokenAndPaddedHeadersShowAsTheReaderSeesThem) {
  PackArchive archive;
  archive.breakArchiveHeadCrc = true;
  archive.archiveHeaderExtra = {9, 9, 9};
  PackEntry broken = storedFile("broken", std::string("x"));
  broken.breakHeadCrc = true;
  PackEntry padded = storedFile("padded", std::string("yy"));
  padded.headerPadding = 5;
  PackEntry paddedUnchecked = storedFile("quiet", std::string("zzz"));
  paddedUnchecked.headerPadding = 5;
  paddedUnchecked.checkCoversPadding = false;
  archive.items = {broken, padded, paddedUnchecked};

  ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"WARNING: Archive header broken"});
  std::vector<ReadEntry> entries = walk();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(statusTexts(), (std::vector<std::string>{"broken: file header broken",
                                                     "padded: file header broken"}));
  EXPECT_EQ(entries[1].entry.headSize, 32 + 6 + 5);
  EXPECT_EQ(std::string(entries[1].packed.begin(), entries[1].packed.end()), "yy");
  EXPECT_EQ(std::string(entries[2].packed.begin(), entries[2].packed.end()), "zzz");
}

TEST_F(Writer, ForcedFieldsAreWrittenAsGiven) {
  PackArchive archive;
  PackEntry entry = storedFile("odd", std::string("data"));
  entry.unpVer = 29;
  entry.method = 0x35;
  entry.hostOs = 3;
  entry.unpSize = 99;
  entry.fileCrc = 0xCAFEBABE;
  entry.extraFlags = 0x02;
  archive.items.push_back(entry);
  PackEntry forced = storedFile("forced", std::string("data"));
  forced.flags = 0x8000 | 0x01;
  archive.items.push_back(forced);
  ASSERT_EQ(open(buildArchive(archive)), PlainArchive);
  std::vector<ReadEntry> entries = walk();
  ASSERT_EQ(entries.size(), 2u);
  const FileEntry& e = entries[0].entry;
  EXPECT_EQ(e.unpVer, 29);
  EXPECT_EQ(e.method, 0x35);
  EXPECT_EQ(e.hostOs, 3);
  EXPECT_EQ(e.unpSize, 99u);
  EXPECT_EQ(e.fileCrc, 0xCAFEBABEu);
  EXPECT_EQ(e.flags, 0x8002);
  EXPECT_EQ(entries[1].entry.flags, 0x8001);
  EXPECT_TRUE(fakeHost.events.empty());
}

TEST_F(Writer, AnEndBlockBelowSevenBytesEndsTheWalkQuietly) {
  PackArchive archive;
  archive.items.push_back(storedFile("only", std::string("1")));
  archive.endBlockHeadSize = 0;
  archive.trailer = {0xEE, 0xEE};
  std::vector<uint8_t> image = buildArchive(archive);
  ASSERT_EQ(open(image), PlainArchive);
  EXPECT_EQ(walk().size(), 1u);
  EXPECT_TRUE(fakeHost.events.empty()) << "no unexpected end of archive";
  EXPECT_EQ(image[image.size() - 2 - 7 + 2], 0x7B);
}

TEST_F(Writer, FileOutputEqualsMemoryOutput) {
  PackArchive archive;
  archive.items.push_back(storedFile("a", randomBytes(10000, 11)));
  std::string path = dir / "out.rar";
  ASSERT_TRUE(writeArchiveFile(archive, path));
  EXPECT_EQ(readFile(path), buildArchive(archive));
  EXPECT_FALSE(writeArchiveFile(archive, dir / "missing/out.rar"));
}

TEST_F(Writer, StreamedArchivesEqualTheArchiveBuiltAtOnce) {
  // Data fed in uneven pieces, through each cipher (the 2.0 one pads its last block),
  // and an entry written twice, the first try dropped.
  PackEntry secret = storedFile("docs\\secret.txt", randomBytes(10001, 12));
  secret.password = "pw";
  PackEntry packed = compressedFile("p.bin", randomBytes(5000, 13), randomBytes(3001, 14), 15, 0x33);
  packed.password = "pw";
  PackEntry empty = storedFile("empty", std::vector<uint8_t>());
  const size_t pieces[] = {7, 4096, 1};
  struct Layout {
    PackFormat format;
    bool installer;
  };
  for (Layout layout : {Layout{PackFormat::New, false}, Layout{PackFormat::New, true}, Layout{PackFormat::Old, false}}) {
    PackArchive archive;
    archive.format = layout.format;
    if (layout.installer) {
      archive.prefix = executableStub(1000);
      archive.endBlockHeadSize = 0;
      archive.extraArchiveFlags = 0x08;
    }
    archive.items = {folder("docs"), secret, empty, packed};
    std::string path = dir / "streamed.rar";
    ArchiveStream a;
    ASSERT_TRUE(openArchiveStream(a, path, archive));
    for (size_t i = 0; i < archive.items.size(); i++) {
      const PackEntry& e = std::get<PackEntry>(archive.items[i]);
      if (i == 1) {
        beginEntry(a, e);
        writeEntryData(a, e.data.data(), 5000);
        restartEntry(a, e);
      } else {
        beginEntry(a, e);
      }
      const std::vector<uint8_t>& bytes = e.packed ? *e.packed : e.data;
      for (size_t at = 0, k = 0; at < bytes.size(); k++) {
        size_t n = std::min(pieces[k % 3], bytes.size() - at);
        writeEntryData(a, bytes.data() + at, n);
        at += n;
      }
      endEntry(a, e);
    }
    ASSERT_TRUE(closeArchiveStream(a)) << a.error;
    EXPECT_TRUE(readFile(path) == buildArchive(archive)) << "format " << (int)layout.format;
  }
  ArchiveStream missing;
  EXPECT_FALSE(openArchiveStream(missing, dir / "missing/out.rar", PackArchive()));
  EXPECT_NE(missing.error.find("missing/out.rar"), std::string::npos) << missing.error;
}

}  // namespace
