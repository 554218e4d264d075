#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "archive/checksum.h"
#include "archive/reader.h"
#include "extract/session.h"
#include "tests/support/engine_test.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace {

class Reader : public EngineTest {
 protected:
  TempDir dir;

  // Opens bytes as the session's archive file, positioned at offset 0.
  void open(const Bytes& bytes) { ASSERT_NE(openAsArchive(bytes, dir / "archive.bin"), nullptr); }
  void close() {
    fclose(archiveReader.archiveFile);
    archiveReader.archiveFile = nullptr;
  }
  long position() { return ftell(archiveReader.archiveFile); }
  // Identifies and moves to the first block, as the extraction loop does.
  void startWalk() {
    ASSERT_NE(identifyArchive(), 0);
    skipToFirstBlock();
  }
  void skipToFirstBlock() {
    fseek(archiveReader.archiveFile,
          archiveReader.archiveHeader.headSize - archiveReader.archiveHeaderRead, SEEK_CUR);
  }
  // Reads the next entry, skipping sub-blocks as the loop does; "" at the end.
  std::string nextEntry() {
    for (;;) {
      if (readNextBlock() == 0) return "";
      if (archiveReader.block.headType != SubBlock) break;
      fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);
    }
    fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);
    return archiveReader.fileName;
  }
};

Bytes plainArchive(uint16_t archiveFlags, const std::vector<EntryFields>& entries) {
  Bytes bytes = markerBytes();
  append(bytes, archiveHeaderBytes(archiveFlags));
  for (const EntryFields& entry : entries) append(bytes, fileHeaderBytes(entry));
  return bytes;
}

EntryFields entryNamed(const std::string& name, size_t dataSize = 5) {
  EntryFields entry;
  entry.name = name;
  entry.data.assign(dataSize, 0x11);
  return entry;
}

// An executable-like file of `size` filler bytes with an archive placed at `offset`.
Bytes embedded(size_t offset, const Bytes& archive, size_t size = 200000) {
  Bytes bytes(size, 0x90);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  if (bytes.size() < offset + archive.size()) bytes.resize(offset + archive.size(), 0);
  std::copy(archive.begin(), archive.end(), bytes.begin() + (long)offset);
  return bytes;
}

TEST_F(Reader, PlainArchivesAreKindOneOrTwoForVolumes) {
  open(plainArchive(ArchiveSolid, {entryNamed("a")}));
  EXPECT_EQ(identifyArchive(), PlainArchive);
  EXPECT_EQ(archiveReader.format, FormatNew);
  EXPECT_EQ(archiveReader.embeddedOffset, 0);
  EXPECT_EQ(archiveReader.archiveHeaderRead, 13);
  EXPECT_TRUE(archiveReader.solidArchive);
  EXPECT_EQ(position(), 20);
  EXPECT_TRUE(fakeHost.events.empty());
  close();

  open(plainArchive(ArchiveVolume, {}));
  EXPECT_EQ(identifyArchive(), VolumeArchive);
  EXPECT_FALSE(archiveReader.solidArchive);
}

TEST_F(Reader, TooShortFilesAreNotArchives) {
  open(Bytes{0x52, 0x61, 0x72, 0x21, 0x1A, 0x07});
  EXPECT_EQ(identifyArchive(), NotArchive);
  close();

  Bytes cut = markerBytes();
  Bytes header = archiveHeaderBytes(0);
  cut.insert(cut.end(), header.begin(), header.begin() + 12);
  open(cut);
  EXPECT_EQ(identifyArchive(), NotArchive);
  close();

  open(Bytes(90000, 0x52));  // shorter than the search window's start
  EXPECT_EQ(identifyArchive(), NotArchive);
  EXPECT_EQ(archiveReader.searchBuffer, nullptr);
}

TEST_F(Reader, BrokenArchiveHeaderCheckWarnsOnceAndIdentifies) {
  Bytes bytes = markerBytes();
  append(bytes, archiveHeaderBytes(0, 13, true));
  append(bytes, fileHeaderBytes(entryNamed("x")));
  open(bytes);
  EXPECT_EQ(identifyArchive(), PlainArchive);
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"WARNING: Archive header broken"});
  skipToFirstBlock();
  EXPECT_EQ(nextEntry(), "x");
  EXPECT_EQ(fakeHost.boxTexts().size(), 1u);
}

TEST_F(Reader, ArchiveHeaderCheckCoversOnlyTheFixedPart) {
  Bytes bytes = markerBytes();
  append(bytes, archiveHeaderBytes(0, 40));  // a comment after the fixed part
  append(bytes, fileHeaderBytes(entryNamed("after comment")));
  open(bytes);
  startWalk();
  EXPECT_TRUE(fakeHost.events.empty());
  EXPECT_EQ(nextEntry(), "after comment");
}

TEST_F(Reader, InstallerPayloadIsFoundEmbedded) {
  open(embedded(167936, plainArchive(0, {entryNamed("setup.exe")})));
  EXPECT_EQ(identifyArchive(), EmbeddedArchive);
  EXPECT_EQ(archiveReader.format, FormatNew);
  EXPECT_EQ(archiveReader.embeddedOffset, 167936);
  EXPECT_EQ(position(), 167936 + 20);
  EXPECT_EQ(archiveReader.searchBuffer, nullptr);
  skipToFirstBlock();
  EXPECT_EQ(nextEntry(), "setup.exe");
  EXPECT_EQ(nextEntry(), "");
  close();

  open(embedded(100000, plainArchive(ArchiveVolume, {})));
  EXPECT_EQ(identifyArchive(), VolumeArchive);
  EXPECT_EQ(archiveReader.embeddedOffset, 100000);
}

TEST_F(Reader, SearchWindowBoundaries) {
  Bytes archive = plainArchive(0, {entryNamed("f")});
  struct Case {
    size_t offset;
    bool found;
  } cases[] = {{98303, false}, {98304, true}, {196598, true}, {196599, false}, {196608, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    resetEngineAndHost();
    open(embedded(c.offset, archive));
    EXPECT_EQ(identifyArchive(), c.found ? EmbeddedArchive : NotArchive);
    if (c.found) {
      EXPECT_EQ(archiveReader.embeddedOffset, (int32_t)c.offset);
    }
  }
}

TEST_F(Reader, EmbeddedMarkerNeedsArchiveHeaderTypeBehindIt) {
  Bytes archive = plainArchive(0, {});
  archive[9] = 0x74;
  open(embedded(120000, archive));
  EXPECT_EQ(identifyArchive(), NotArchive);
  close();

  // A false marker first, then a real one: the search goes on past the first hit.
  Bytes bytes = embedded(120000, archive);
  Bytes real = plainArchive(0, {});
  std::copy(real.begin(), real.end(), bytes.begin() + 130000);
  open(bytes);
  EXPECT_EQ(identifyArchive(), EmbeddedArchive);
  EXPECT_EQ(archiveReader.embeddedOffset, 130000);
}

TEST_F(Reader, EmbeddedOldArchiveNeedsTheSelfExtractorTag) {
  Bytes old = oldArchiveHeaderBytes(0x08);
  append(old, oldFileHeaderBytes(OldEntryFields()));
  Bytes bytes = embedded(110000, old);
  open(bytes);
  EXPECT_EQ(identifyArchive(), NotArchive);
  close();

  memcpy(bytes.data() + 28, "RSFX", 4);
  open(bytes);
  EXPECT_EQ(identifyArchive(), EmbeddedArchive);
  EXPECT_EQ(archiveReader.format, FormatOld);
  EXPECT_EQ(archiveReader.embeddedOffset, 110000);
  EXPECT_EQ(archiveReader.archiveHeaderRead, 7);
  EXPECT_TRUE(archiveReader.solidArchive);
  EXPECT_EQ(position(), 110007);
  skipToFirstBlock();
  EXPECT_EQ(nextEntry(), "OLD.TXT");
  close();

  Bytes volume = oldArchiveHeaderBytes(0x01);
  memcpy(bytes.data() + 110000, volume.data(), volume.size());
  open(bytes);
  EXPECT_EQ(identifyArchive(), VolumeArchive);
}

TEST_F(Reader, OldArchiveAtTheStart) {
  Bytes bytes = oldArchiveHeaderBytes(0xC1, 12);
  OldEntryFields first;
  first.name = "DIR/A.TXT";
  first.data = Bytes(10, 1);
  first.method = 3;
  first.fileCrc = 0xBEEF;
  first.fileTime = 0x12345678;
  first.fileAttr = 0x21;
  append(bytes, oldFileHeaderBytes(first));
  OldEntryFields second;
  second.versionCode = 1;
  append(bytes, oldFileHeaderBytes(second));
  open(bytes);
  EXPECT_EQ(identifyArchive(), VolumeArchive);
  EXPECT_EQ(archiveReader.archiveHeader.flags, 0x01);
  EXPECT_EQ(archiveReader.archiveHeader.headSize, 12);
  EXPECT_EQ(position(), 7);
  skipToFirstBlock();

  EXPECT_EQ(readNextBlock(), 21 + 9);
  const FileEntry& entry = archiveReader.entry;
  EXPECT_EQ(archiveReader.block.headType, FileBlock);
  EXPECT_STREQ(archiveReader.fileName, "DIR\\A.TXT");
  EXPECT_EQ(entry.flags, 0x8000);
  EXPECT_EQ(entry.unpVer, 13);
  EXPECT_EQ(entry.method, 0x33);
  EXPECT_EQ(entry.fileCrc, 0xBEEFu);
  EXPECT_EQ(entry.fileTime, 0x12345678u);
  EXPECT_EQ(entry.fileAttr, 0x21u);
  EXPECT_EQ(entry.packSize, 10u);
  EXPECT_EQ(archiveReader.curBlockPos, 12);
  EXPECT_EQ(archiveReader.nextBlockPos, 12 + 30 + 10);
  EXPECT_EQ(position(), 12 + 30);
  fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);

  EXPECT_GT(readNextBlock(), 0);
  EXPECT_EQ(entry.unpVer, 10);  // any other accepted version code
  fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);
  EXPECT_EQ(readNextBlock(), 0);
  EXPECT_EQ(archiveReader.block.headType, 0);
}

TEST_F(Reader, OldHeadersBreakingAValidityRuleEndTheWalk) {
  auto rejected = [](OldEntryFields fields) {
    Bytes bytes = oldArchiveHeaderBytes(0);
    append(bytes, oldFileHeaderBytes(fields));
    return bytes;
  };
  OldEntryFields method;
  method.method = 8;
  OldEntryFields noName;
  noName.nameSize = 0;
  noName.headSize = 21 + 7;
  OldEntryFields longName;
  longName.name = std::string(81, 'n');
  OldEntryFields version0;
  version0.versionCode = 0;
  OldEntryFields version21;
  version21.versionCode = 21;
  OldEntryFields shortHead;
  shortHead.headSize = 21;
  shortHead.flags = 8;
  OldEntryFields sizeMismatch;
  sizeMismatch.headSize = 21 + 7 + 3;
  OldEntryFields valid;  // a mismatch is allowed from flag value 8 on
  valid.headSize = 21 + 7 + 3;
  valid.flags = 8;
  valid.data = Bytes(3, 0);

  for (const OldEntryFields& fields :
       {method, noName, longName, version0, version21, shortHead, sizeMismatch}) {
    resetEngineAndHost();
    open(rejected(fields));
    startWalk();
    EXPECT_EQ(readNextBlock(), 0);
    EXPECT_EQ(archiveReader.block.headType, 0);
  }
  resetEngineAndHost();
  open(rejected(valid));
  startWalk();
  EXPECT_EQ(readNextBlock(), 28);
  EXPECT_EQ(archiveReader.nextBlockPos, 7 + 31 + 3);
}

TEST_F(Reader, OldHeaderWhoseNextBlockDoesNotLieAfterItEndsTheWalk) {
  Bytes bytes = oldArchiveHeaderBytes(0);
  append(bytes, oldFileHeaderBytes(OldEntryFields()));
  // packSize so large that the next block position wraps back before the header.
  bytes[7] = 0x00;
  bytes[8] = bytes[9] = bytes[10] = 0xFF;
  open(bytes);
  startWalk();
  EXPECT_EQ(readNextBlock(), 0);
  EXPECT_EQ(archiveReader.block.headType, 0);
}

TEST_F(Reader, FileEntriesAreDecodedAndPositioned) {
  EntryFields fields = entryNamed("dir/sub\\name.txt", 7);
  fields.flags = 0x8000 | EntryEncrypted | EntrySolid;
  fields.hostOs = 3;
  fields.unpSize = 1234;
  fields.fileCrc = 0xCAFEBABE;
  fields.fileTime = 0x2F5A6B7C;
  fields.unpVer = 15;
  fields.method = 0x33;
  fields.fileAttr = 0x81A4;
  open(plainArchive(0, {fields, entryNamed("second")}));
  startWalk();
  EXPECT_EQ(readNextBlock(), 32 + 16);
  const FileEntry& entry = archiveReader.entry;
  EXPECT_STREQ(archiveReader.fileName, "dir\\sub\\name.txt");
  EXPECT_EQ(entry.nameSize, 16);
  EXPECT_EQ(entry.flags, fields.flags);
  EXPECT_EQ(entry.hostOs, 3);  // kept: the loop turns Unix attributes into DOS ones
  EXPECT_EQ(entry.fileAttr, 0x81A4u);
  EXPECT_EQ(entry.unpSize, 1234u);
  EXPECT_EQ(entry.packSize, 7u);
  EXPECT_EQ(entry.fileCrc, 0xCAFEBABEu);
  EXPECT_EQ(entry.fileTime, 0x2F5A6B7Cu);
  EXPECT_EQ(entry.unpVer, 15);
  EXPECT_EQ(entry.method, 0x33);
  EXPECT_EQ(archiveReader.block.headType, FileBlock);
  EXPECT_EQ(archiveReader.block.addSize, 7u);
  EXPECT_EQ(archiveReader.curBlockPos, 20);
  EXPECT_EQ(archiveReader.nextBlockPos, 20 + 48 + 7);
  EXPECT_EQ(position(), 20 + 48);
  EXPECT_TRUE(fakeHost.events.empty());
}

TEST_F(Reader, ForeignHostsAreNormalised) {
  EntryFields folder = entryNamed("tree");
  folder.hostOs = 7;
  folder.flags = 0x8000 | 0xE0;
  folder.fileAttr = 0x41ED;
  EntryFields file = entryNamed("leaf");
  file.hostOs = 4;
  file.flags = 0x8000 | 0xA0;
  file.fileAttr = 0x1;
  open(plainArchive(0, {folder, file}));
  startWalk();
  EXPECT_EQ(nextEntry(), "tree");
  EXPECT_EQ(archiveReader.entry.hostOs, 0);
  EXPECT_EQ(archiveReader.entry.fileAttr, 0x10u);
  EXPECT_EQ(nextEntry(), "leaf");
  EXPECT_EQ(archiveReader.entry.hostOs, 0);
  EXPECT_EQ(archiveReader.entry.fileAttr, 0x20u);
}

TEST_F(Reader, BrokenFileHeaderCheckIsReportedAndTheEntryKept) {
  EntryFields broken = entryNamed("broken.bin");
  broken.breakCheck = true;
  open(plainArchive(0, {broken, entryNamed("next.bin")}));
  startWalk();
  EXPECT_EQ(nextEntry(), "broken.bin");
  EXPECT_EQ(nextEntry(), "next.bin");
  EXPECT_EQ(nextEntry(), "");
  EXPECT_EQ(fakeHost.itemTexts(ItemStatus),
            std::vector<std::string>{"broken.bin: file header broken"});
}

TEST_F(Reader, NamesAreClampedTo259Bytes) {
  std::string whole(259, 'w');
  std::string tooLong = std::string(259, 'c') + "X";
  open(plainArchive(0, {entryNamed(whole, 3), entryNamed(tooLong, 4), entryNamed("z")}));
  startWalk();
  EXPECT_EQ(readNextBlock(), 32 + 259);
  EXPECT_EQ(archiveReader.fileName, whole);
  EXPECT_TRUE(fakeHost.events.empty());
  fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);

  EXPECT_EQ(readNextBlock(), 32 + 259);
  EXPECT_EQ(archiveReader.fileName, std::string(259, 'c'));
  EXPECT_EQ(archiveReader.entry.nameSize, 259);
  EXPECT_EQ(fakeHost.itemTexts(ItemStatus),
            std::vector<std::string>{std::string(259, 'c') + ": file header broken"});
  // The packed data is still found behind the whole header.
  EXPECT_EQ(archiveReader.nextBlockPos - (int32_t)archiveReader.entry.packSize,
            archiveReader.curBlockPos + 32 + 260);
  fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);
  EXPECT_GT(readNextBlock(), 0);
  EXPECT_STREQ(archiveReader.fileName, "z");
}

TEST_F(Reader, BytesAfterTheNameFailTheCheckButTheDataIsFound) {
  EntryFields fields = entryNamed("extra", 6);
  fields.extraHeaderBytes = 9;
  open(plainArchive(0, {fields, entryNamed("next")}));
  startWalk();
  EXPECT_EQ(readNextBlock(), 32 + 5);
  EXPECT_EQ(fakeHost.itemTexts(ItemStatus), std::vector<std::string>{"extra: file header broken"});
  EXPECT_EQ(archiveReader.nextBlockPos - (int32_t)archiveReader.entry.packSize,
            archiveReader.curBlockPos + 32 + 5 + 9);
  fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);
  EXPECT_GT(readNextBlock(), 0);
  EXPECT_STREQ(archiveReader.fileName, "next");
}

TEST_F(Reader, OtherBlocksAreSkippedWithAndWithoutData) {
  Bytes bytes = markerBytes();
  append(bytes, archiveHeaderBytes(0));
  append(bytes, blockBytes(0x75, 0, 9));
  append(bytes, blockBytes(0x76, 0x8000, 15, 40));
  append(bytes, fileHeaderBytes(entryNamed("after")));
  append(bytes, blockBytes(0x7B, 0, 7));  // a 7-byte end block closes the archive
  open(bytes);
  startWalk();
  EXPECT_EQ(nextEntry(), "after");
  EXPECT_EQ(archiveReader.curBlockPos, 20 + 9 + 15 + 40);
  EXPECT_EQ(nextEntry(), "");
  EXPECT_TRUE(fakeHost.events.empty());
}

TEST_F(Reader, SubBlocksComeBackWithThePreviousEntryIntact) {
  Bytes bytes = plainArchive(0, {entryNamed("first", 3)});
  size_t subStart = bytes.size();
  append(bytes, blockBytes(SubBlock, 0x8000, 14, 6));
  append(bytes, fileHeaderBytes(entryNamed("second")));
  open(bytes);
  startWalk();
  ASSERT_GT(readNextBlock(), 0);
  FileEntry first = archiveReader.entry;
  fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);

  EXPECT_GT(readNextBlock(), 0);
  EXPECT_EQ(archiveReader.block.headType, SubBlock);
  EXPECT_EQ(archiveReader.block.headSize, 14);
  EXPECT_EQ(archiveReader.block.addSize, 6u);
  EXPECT_EQ(memcmp(&archiveReader.entry, &first, sizeof first), 0);
  EXPECT_STREQ(archiveReader.fileName, "first");
  EXPECT_EQ(position(), (long)subStart);
  EXPECT_EQ(archiveReader.nextBlockPos, (int32_t)subStart + 20);

  fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);
  EXPECT_GT(readNextBlock(), 0);
  EXPECT_STREQ(archiveReader.fileName, "second");
}

// A sub-block followed by nothing readable must not leave the block type at 0x77, or
// the loop would seek back to the sub-block for ever.
TEST_F(Reader, EveryZeroResultLeavesBlockTypeZero) {
  Bytes tail = blockBytes(SubBlock, 0x8000, 14, 2);
  auto walkAfterSubBlock = [&](const Bytes& after) {
    resetEngineAndHost();
    Bytes bytes = plainArchive(0, {entryNamed("e")});
    append(bytes, tail);
    append(bytes, after);
    open(bytes);
    startWalk();
    EXPECT_EQ(nextEntry(), "e");
    EXPECT_GT(readNextBlock(), 0);
    EXPECT_EQ(archiveReader.block.headType, SubBlock);
    fseek(archiveReader.archiveFile, archiveReader.nextBlockPos, SEEK_SET);
    EXPECT_EQ(readNextBlock(), 0);
    EXPECT_EQ(archiveReader.block.headType, 0);
    EXPECT_STREQ(archiveReader.fileName, "e");
  };
  walkAfterSubBlock({});                                   // the end of the file
  walkAfterSubBlock(blockBytes(0x74, 0, 5));                // headSize below 7
  Bytes cut = fileHeaderBytes(entryNamed("cut"));
  walkAfterSubBlock(Bytes(cut.begin(), cut.begin() + 20));  // fixed header cut short
  EntryFields wrapping = entryNamed("wraps");
  Bytes wraps = fileHeaderBytes(wrapping);
  wraps[7] = 0x00;  // packSize so large the block would end before it starts
  wraps[8] = wraps[9] = wraps[10] = 0xFF;
  walkAfterSubBlock(wraps);
}

TEST_F(Reader, UnexpectedEndOnlyWhenTheLastBlockReachesBeyondTheFile) {
  Bytes whole = plainArchive(0, {entryNamed("a", 50)});
  open(whole);
  startWalk();
  EXPECT_EQ(nextEntry(), "a");
  EXPECT_EQ(nextEntry(), "");
  EXPECT_TRUE(fakeHost.events.empty());
  close();

  resetEngineAndHost();
  whole.resize(whole.size() - 10);
  open(whole);
  startWalk();
  EXPECT_EQ(nextEntry(), "a");
  EXPECT_EQ(nextEntry(), "");
  EXPECT_EQ(fakeHost.itemTexts(ItemStatus), std::vector<std::string>{"Unexpected end of archive"});
  close();

  // Cut inside the next header: the entry it described is lost, which is said too.
  resetEngineAndHost();
  Bytes two = plainArchive(0, {entryNamed("a", 50), entryNamed("b", 5)});
  two.resize(two.size() - 5 - 33 + 12);
  open(two);
  startWalk();
  EXPECT_EQ(nextEntry(), "a");
  EXPECT_EQ(nextEntry(), "");
  EXPECT_EQ(fakeHost.itemTexts(ItemStatus), std::vector<std::string>{"Unexpected end of archive"});
}

}  // namespace
