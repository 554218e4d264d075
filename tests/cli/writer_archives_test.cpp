// lumvard-extract on archives made by the archive writer: the two sides of the format
// must agree on every header field, flag and cipher they share.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "tests/cli/cli_runner.h"
#include "tests/support/temp_dir.h"

using clitest::Cli;
using clitest::has;
using clitest::Outcome;
using clitest::text;

namespace {

std::vector<uint8_t> bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST_F(Cli, WriterInstallerWithFoldersEncryptionAndATimeExtracts) {
  PackArchive archive;
  archive.prefix = executableStub(150000);
  archive.items.push_back(folder("docs"));
  PackEntry readme = storedFile("docs\\readme.txt", "read me first");
  readme.attributes = 0x21;  // read-only
  readme.dosTime = dosTime(2020, 2, 29, 23, 58, 10);
  archive.items.push_back(readme);
  for (uint8_t version : {13, 15, 20}) {
    PackEntry secret = storedFile("secret" + std::to_string(version) + ".bin",
                                  std::vector<uint8_t>(33333, (uint8_t)version));
    secret.password = "pass word";
    secret.unpVer = version;
    archive.items.push_back(secret);
  }
  std::string exe = temp / "setup.exe";
  ASSERT_TRUE(writeArchiveFile(archive, exe));

  Outcome result = run({"--password", "pass word", exe, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/docs/readme.txt")), "read me first");
  for (int version : {13, 15, 20})
    EXPECT_EQ(readFile(out + "/secret" + std::to_string(version) + ".bin"),
              std::vector<unsigned char>(33333, (unsigned char)version));
  struct stat info;
  ASSERT_EQ(stat((out + "/docs/readme.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u);
  struct tm local = {};
  localtime_r(&info.st_mtime, &local);
  EXPECT_EQ(local.tm_year, 120);
  EXPECT_EQ(local.tm_mon, 1);
  EXPECT_EQ(local.tm_mday, 29);
  EXPECT_EQ(local.tm_hour, 23);
  EXPECT_EQ(local.tm_min, 58);
}

TEST_F(Cli, WriterOldFormatInstallerExtracts) {
  PackArchive archive;
  archive.format = PackFormat::Old;
  archive.prefix = executableStub(100000, true);
  archive.items.push_back(storedFile("OLD.TXT", "old format payload"));
  PackEntry secret = storedFile("SECRET.TXT", "old secret");
  secret.password = "pw";
  archive.items.push_back(secret);
  std::string exe = temp / "old.exe";
  ASSERT_TRUE(writeArchiveFile(archive, exe));

  Outcome result = run({exe, out}, "pw");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/OLD.TXT")), "old format payload");
  EXPECT_EQ(text(readFile(out + "/SECRET.TXT")), "old secret");
}

TEST_F(Cli, WriterSolidEncryptedArchiveUnderTest) {
  PackArchive archive;
  archive.solid = true;
  for (int i = 0; i < 3; i++) {
    PackEntry entry = storedFile("f" + std::to_string(i), bytes(std::string(1000 + i, 'a' + i)));
    entry.password = "solid";
    archive.items.push_back(entry);
  }
  std::string name = temp / "solid.rar";
  ASSERT_TRUE(writeArchiveFile(archive, name));

  Outcome result = run({"--test", name}, "solid");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(has(result.out, "All OK"));
  EXPECT_FALSE(clitest::has(result.out, "Skipping"));

  result = run({"--test", name}, "wrong");
  EXPECT_EQ(result.status, 3);
  EXPECT_TRUE(has(result.err, "Total errors: 3"));
}

}  // namespace
