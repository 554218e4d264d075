// Hand-assembled version 2.0 streams inside real archives, through the extraction
// loop: the solid flag of the entries, the checksum of what the decoder wrote, and
// encrypted packed data.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "archive/checksum.h"
#include "extract/extract_loop.h"
#include "extract/name_list.h"
#include "extract/session.h"
#include "pack/archive_writer.h"
#include "tests/support/engine_test.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"
#include "tests/v20/v20_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

class V20Extract : public ExtractTest {
 protected:

  int extract(const PackArchive& archive) {
    std::string path = temp / "a.rar";
    EXPECT_TRUE(writeArchiveFile(archive, path));
    return extractInProcess({path}, out);
  }
};

struct SolidSet {
  Bytes textFile, soundFile, lastFile;
  Bytes textPacked, soundPacked, lastPacked;
};

// Three files of one solid stream: text with a trailing switch to a stereo audio
// block, the audio bytes, then a switch back to LZ and a match into the first file.
SolidSet makeSolidSet() {
  SolidSet set;
  V20Stream s;
  s.lzHeader();
  const std::string words = "solid archives share one window; ";
  for (char c : words) s.literal((uint8_t)c);
  s.match(3 * (uint32_t)words.size(), (uint32_t)words.size());
  set.textFile.assign(words.begin(), words.end());
  for (int i = 0; i < 3; i++) set.textFile.insert(set.textFile.end(), words.begin(), words.end());
  s.newTables();
  s.audioHeader(2, true);
  set.textPacked = s.finish();

  s.bits = BitWriter();
  for (int i = 0; i < 400; i++) {
    uint8_t b = (uint8_t)(128 + ((i / 2) % 40) * ((i & 1) ? 2 : -1));
    s.audioByte(b);
    set.soundFile.push_back(b);
  }
  s.audioTableSwitch();
  s.lzHeader(true);
  set.soundPacked = s.finish();

  s.bits = BitWriter();
  s.literals("end: ");
  s.match(20, (uint32_t)(set.textFile.size() + set.soundFile.size() + 5));
  set.lastFile.assign({'e', 'n', 'd', ':', ' '});
  set.lastFile.insert(set.lastFile.end(), set.textFile.begin(), set.textFile.begin() + 20);
  set.lastPacked = s.finish();
  return set;
}

PackArchive solidArchive(const SolidSet& set, const std::string& password) {
  PackArchive archive;
  archive.solid = true;
  PackEntry entries[] = {compressedFile("text.txt", set.textFile, set.textPacked, 20, 0x33),
                         compressedFile("sound.raw", set.soundFile, set.soundPacked, 20, 0x35),
                         compressedFile("last.txt", set.lastFile, set.lastPacked, 20, 0x33)};
  for (PackEntry& entry : entries) {
    entry.password = password;
    archive.items.push_back(entry);
  }
  return archive;
}

TEST_F(V20Extract, SolidArchiveCarriesTablesModeAndWindowAcrossEntries) {
  SolidSet set = makeSolidSet();
  EXPECT_EQ(extract(solidArchive(set, "")), 0);
  EXPECT_EQ(readFile(out + "/text.txt"), set.textFile);
  EXPECT_EQ(readFile(out + "/sound.raw"), set.soundFile);
  EXPECT_EQ(readFile(out + "/last.txt"), set.lastFile);
}

TEST_F(V20Extract, EncryptedSolidArchive) {
  SolidSet set = makeSolidSet();
  fakeHost.passwords.push_back(std::string("Lumvard 2026"));
  EXPECT_EQ(extract(solidArchive(set, "Lumvard 2026")), 0);
  EXPECT_EQ(readFile(out + "/sound.raw"), set.soundFile);
  EXPECT_EQ(readFile(out + "/last.txt"), set.lastFile);
}

TEST_F(V20Extract, StreamThatStallsEndsAsAChecksumFailure) {
  V20Stream s;
  std::vector<uint8_t> m(298, 0);
  m[256] = 1;
  s.lzHeader(false, m, std::vector<uint8_t>(48, 0), std::vector<uint8_t>(28, 0));
  s.repeatLast();
  PackArchive archive;
  archive.items.push_back(compressedFile("stall.bin", Bytes(5000, 'x'), s.finish(), 20, 0x33));
  archive.items.push_back(storedFile("after.txt", "after"));
  EXPECT_EQ(extract(archive), ExitCrc);
  EXPECT_FALSE(pathExists(out + "/stall.bin"));
  EXPECT_EQ(readFile(out + "/after.txt"), Bytes({'a', 'f', 't', 'e', 'r'}));
}

}  // namespace
