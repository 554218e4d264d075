#include "tests/support/engine_test.h"

#include <sys/stat.h>

#include "archive/checksum.h"
#include "archive/reader.h"
#include "extract/extract_loop.h"
#include "extract/name_list.h"
#include "extract/session.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

void EngineTest::SetUp() {
  resetEngineAndHost();
  buildCrcTable();
}

void EngineTest::TearDown() { resetEngineForTests(); }

void ExtractTest::SetUp() {
  EngineTest::SetUp();
  ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
}

FILE* openAsArchive(const std::vector<uint8_t>& bytes, const std::string& path) {
  writeFile(path, bytes);
  archiveReader.archiveFile = fopen(path.c_str(), "rb");
  EXPECT_NE(archiveReader.archiveFile, nullptr) << path;
  return archiveReader.archiveFile;
}

void captureUnpackedOutput() {
  session.outputFile = tmpfile();
  EXPECT_NE(session.outputFile, nullptr);
}

std::vector<uint8_t> capturedOutput() {
  std::vector<uint8_t> bytes;
  fflush(session.outputFile);
  rewind(session.outputFile);
  int c;
  while ((c = fgetc(session.outputFile)) != EOF) bytes.push_back((uint8_t)c);
  return bytes;
}

int extractInProcess(const std::vector<std::string>& archives, const std::string& destination,
                     bool testOnly) {
  buildCrcTable();
  for (const std::string& name : archives) addName(&session.archiveList, name.c_str());
  rewindNames(&session.archiveList);
  session.archivesFound = (int)archives.size();
  snprintf(session.destination, sizeof session.destination, "%s\\", destination.c_str());
  addName(&session.masks, "*.*");
  rewindNames(&session.masks);
  session.testOnly = testOnly;
  extractArchives();
  return session.exitCode;
}
