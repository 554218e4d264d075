// lumvard-extract end to end: the built binary run on archives in a temporary folder,
// its exit status, stdout (status lines) and stderr (boxes) looked at.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_archive.h"

using namespace testarchive;
using namespace clitest;

namespace {

TEST_F(Cli, ExtractsAPlainNewFormatArchive) {
  std::string name = archive(newArchive({folder("docs"), file("docs\\readme.txt", "read me"),
                                         file("top.bin", std::string(100000, '\x01'))}));
  Outcome result = run({name, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/docs/readme.txt")), "read me");
  EXPECT_EQ(readFile(out + "/top.bin").size(), 100000u);
  EXPECT_TRUE(has(result.out, "Extracting from " + name));
  EXPECT_TRUE(has(result.out, "All OK"));
  EXPECT_EQ(result.err, "");
}

TEST_F(Cli, RelativePathsAndAnOldFormatArchive) {
  Entry old = file("OLD.TXT", "old format");
  old.unpVer = 13;
  archive(oldArchive({old}), "old.arc");
  Outcome result = run({"old.arc", "out"}, nullptr, temp.path);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/OLD.TXT")), "old format");
}

TEST_F(Cli, ExtractsThePayloadOfAnExecutable) {
  std::string name = archive(embedded(newArchive({file("setup.ini", "[setup]")})), "installer.exe");
  Outcome result = run({name, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/setup.ini")), "[setup]");
  // The payload moves the progress bar, which is drawn on a terminal only.
  EXPECT_EQ(result.err, "");
}

TEST_F(Cli, ChecksumFailureIsExitThreeAndLeavesNoFile) {
  Entry damaged = file("damaged.txt", "damaged");
  damaged.wrongChecksum = true;
  Outcome result = run({archive(newArchive({file("good.txt", "g"), damaged})), out});
  EXPECT_EQ(result.status, 3);
  EXPECT_FALSE(pathExists(out + "/damaged.txt"));
  EXPECT_EQ(text(readFile(out + "/good.txt")), "g");
  EXPECT_TRUE(has(result.err, "lumvard-extract: damaged.txt          : CRC failed\n"));
  EXPECT_TRUE(has(result.err, "lumvard-extract: Total errors: 1\n"));
}

TEST_F(Cli, TestRunChecksWithoutWriting) {
  Entry damaged = file("damaged.txt", "damaged");
  damaged.wrongChecksum = true;
  std::string good = archive(newArchive({folder("d"), file("d\\good.txt", "g")}), "good.rar");
  Outcome result = run({"--test", good, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_FALSE(pathExists(out + "/d"));
  EXPECT_TRUE(has(result.out, "All OK"));

  result = run({"--test", archive(newArchive({damaged}), "bad.rar"), out});
  EXPECT_EQ(result.status, 3);
  EXPECT_TRUE(has(result.err, "CRC failed"));
  EXPECT_FALSE(pathExists(out + "/damaged.txt"));
}

TEST_F(Cli, NotAnArchiveIsExitOne) {
  std::string name = archive(Bytes(1000, 'z'), "notes.txt");
  Outcome result = run({name, out});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "lumvard-extract: " + name + " is not RAR archive\nlumvard-extract: No files\n");
}

TEST_F(Cli, EncryptedEntryWithoutAnyPasswordEndsWith255) {
  Outcome result = run({archive(newArchive({encrypted("secret.txt", "s", "pw")})), out});
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "");
  EXPECT_FALSE(pathExists(out + "/secret.txt"));
}

TEST_F(Cli, EncryptedArchivesTakeThePasswordFromTheOptionOrTheEnvironment) {
  std::string name = archive(newArchive({encrypted("a.txt", "alpha", "s3cret"),
                                         encrypted("b.txt", "beta", "s3cret", 15)}));
  Outcome result = run({"--password", "s3cret", name, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/a.txt")), "alpha");
  EXPECT_EQ(text(readFile(out + "/b.txt")), "beta");
  // The question whether to keep the password, due at b.txt, is answered Yes without
  // a terminal: nothing is asked.
  EXPECT_EQ(result.err, "");

  std::string other = temp / "other";
  result = run({name, other}, "s3cret");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(other + "/b.txt")), "beta");

  // The option wins over the environment.
  result = run({"--password", "wrong", name, temp / "third"}, "s3cret");
  EXPECT_EQ(result.status, 3);
  EXPECT_TRUE(has(result.err, "lumvard-extract: Encrypted file:  CRC failed in a.txt (password incorrect ?)\n"));
  EXPECT_FALSE(pathExists(temp / "third/a.txt"));
}

TEST_F(Cli, EncryptedPayloadOfAnExecutableInBothFormatsAndUnderTest) {
  std::string exe = archive(embedded(newArchive({encrypted("p.txt", "payload", "pw")}, 0x08)), "setup.exe");
  Outcome result = run({"--test", "--password", "pw", exe, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_FALSE(pathExists(out + "/p.txt"));
  result = run({"--password", "pw", exe, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/p.txt")), "payload");

  std::string old = archive(oldArchive({encrypted("OLD.TXT", "old secret", "pw", 13)}), "old.arc");
  result = run({old, out}, "pw");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/OLD.TXT")), "old secret");
}

TEST_F(Cli, TraversalIsRefused) {
  Outcome result = run({archive(newArchive({file("..\\..\\..\\evil.txt", "e"), file("ok.txt", "ok")})), out});
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(pathExists(temp / "evil.txt"));
  EXPECT_TRUE(has(result.out, "Cannot create "));
  EXPECT_TRUE(has(result.err, "Total errors: 1"));
}

}  // namespace
