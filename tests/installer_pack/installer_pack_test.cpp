// lumvard-pack --installer: the archive lands where the installer searches for it,
// behind an untouched executable, closed by an end block, and the installer's engine
// finds and extracts it; stubs that cannot carry an archive are refused.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/reader.h"
#include "pack/installer_layout.h"
#include "pack/stub_locate.h"
#include "tests/support/fake_host.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {
typedef std::vector<uint8_t> Bytes;

const uint8_t marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};

// An executable stand-in: "MZ", then bytes that are never 0x52, so that no archive
// start can hide in it.
Bytes stubOf(size_t size) {
  Bytes stub(size);
  for (size_t i = 0; i < size; i++) stub[i] = (uint8_t)(i * 7 % 251 == 0x52 ? 1 : i * 7 % 251);
  stub[0] = 'M';
  stub[1] = 'Z';
  for (size_t i = 28; i < 32 && i < size; i++) stub[i] = 0;
  return stub;
}

typedef ProgramOutcome Outcome;

Outcome run(const std::string& program, const std::vector<std::string>& arguments, const TempDir& temp,
            const char* password = nullptr) {
  return runProgram(program, arguments, temp.path, password);
}

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(InstallerLayout, ArchiveStartsAtTheFirstAlignedOffsetInTheWindow) {
  EXPECT_EQ(installerArchiveOffset(0), 98304u);
  EXPECT_EQ(installerArchiveOffset(55000), 98304u);
  EXPECT_EQ(installerArchiveOffset(98304), 98304u);
  EXPECT_EQ(installerArchiveOffset(98305), 98320u);
  EXPECT_EQ(installerArchiveOffset(120001), 120016u);
  // The marker and the archive header's type byte must both lie in the window.
  EXPECT_EQ(installerArchiveOffset(196592), 196592u);
  EXPECT_EQ(installerArchiveOffset(196593), 0u);
  EXPECT_EQ(installerArchiveOffset(400000), 0u);
}

TEST(InstallerLayout, StubsThatCannotCarryAnArchiveAreRefused) {
  Bytes prefix;
  std::string error;
  Bytes notExecutable = stubOf(1000);
  notExecutable[0] = 'X';
  EXPECT_FALSE(makeInstallerPrefix(notExecutable, PackFormat::New, &prefix, &error));
  EXPECT_NE(error.find("MZ"), std::string::npos);
  EXPECT_FALSE(makeInstallerPrefix(Bytes{'M', 'Z'}, PackFormat::New, &prefix, &error));
  EXPECT_FALSE(makeInstallerPrefix(stubOf(196593), PackFormat::New, &prefix, &error));
  EXPECT_NE(error.find("196593 bytes"), std::string::npos) << error;

  // An archive start of the stub's own inside the window would be found first.
  Bytes shadowing = stubOf(110000);
  memcpy(&shadowing[100000], marker, 7);
  shadowing[100009] = 0x73;
  EXPECT_FALSE(makeInstallerPrefix(shadowing, PackFormat::New, &prefix, &error));
  // Before the window it is never looked at.
  Bytes early = stubOf(110000);
  memcpy(&early[90000], marker, 7);
  early[90009] = 0x73;
  EXPECT_TRUE(makeInstallerPrefix(early, PackFormat::New, &prefix, &error)) << error;
  EXPECT_EQ(prefix.size(), 110000u);

  // What lumvard-pack may replace when the output lies among its inputs: an archive or
  // an installer, and nothing else.
  Bytes plain(marker, marker + 7), old = {'R', 'E', '~', '^', 0};
  const struct {
    const Bytes& head;
    bool archive;
  } heads[] = {{shadowing, true}, {early, false}, {plain, true}, {old, true}, {stubOf(5000), false},
               {notExecutable, false}, {Bytes(), false}};
  for (const auto& h : heads) EXPECT_EQ(startsAnArchive(h.head), h.archive) << h.head.size();
}

TEST(InstallerLayout, StubIsKeptAndPaddedWithZeros) {
  Bytes stub = stubOf(70001);
  Bytes prefix;
  std::string error;
  ASSERT_TRUE(makeInstallerPrefix(stub, PackFormat::New, &prefix, &error)) << error;
  ASSERT_EQ(prefix.size(), 98304u);
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), prefix.begin()));
  EXPECT_TRUE(std::all_of(prefix.begin() + 70001, prefix.end(), [](uint8_t b) { return b == 0; }));
}

TEST(InstallerLayout, OldFormatTagsTheExecutableHeader) {
  Bytes prefix;
  std::string error;
  ASSERT_TRUE(makeInstallerPrefix(stubOf(5000), PackFormat::Old, &prefix, &error)) << error;
  EXPECT_EQ(std::string(prefix.begin() + 28, prefix.begin() + 32), "RSFX");
  Bytes used = stubOf(5000);
  used[30] = 9;
  EXPECT_FALSE(makeInstallerPrefix(used, PackFormat::Old, &prefix, &error));
  EXPECT_TRUE(makeInstallerPrefix(used, PackFormat::New, &prefix, &error)) << "the new format needs no tag";
}

TEST(InstallerStubLookup, BesideTheToolThenItsOwnBuildTree) {
  const std::string share = "/share/lumvard/lumvard-install.exe";
  const std::string built = "/src/build/win32/shell/lumvard-install.exe";
  struct Case {
    const char* executable;
    const char* buildTree;
    std::vector<std::string> expected;
  } cases[] = {
      {"/usr/bin/lumvard-pack", "/src/build/native", {"/usr" + share}},
      {"/opt/lv/bin/lumvard-pack", "", {"/opt/lv" + share}},
      {"/bin/lumvard-pack", "/src/build/native", {share}},
      {"/src/build/native/pack/lumvard-pack", "/src/build/native", {"/src/build/native" + share, built}},
      {"/src/build/native/pack/lumvard-pack", "/src/build/native/", {"/src/build/native" + share, built}},
      // A neighbour whose name starts like the tree is not inside it.
      {"/src/build/native2/pack/lumvard-pack", "/src/build/native", {"/src/build/native2" + share}},
      {"", "/src/build/native", {}},
      {"lumvard-pack", "/src/build/native", {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(installerStubCandidates(c.executable, c.buildTree, built), c.expected) << c.executable;
  EXPECT_EQ(installerStubCandidates("/src/build/native/pack/lumvard-pack", "/src/build/native", ""),
            std::vector<std::string>{"/src/build/native" + share});
}

class InstallerPack : public ::testing::Test {
 protected:
  TempDir temp;
  std::string input = temp / "in";
  std::string out = temp / "out";
  std::string installer = temp / "setup-lumvard.exe";
  std::string pack = builtProgram("pack/lumvard-pack", LUMVARD_PACK_BINARY);
  std::string extract = builtProgram("cli/lumvard-extract", LUMVARD_EXTRACT_BINARY);

  void SetUp() override {
    mkdir(input.c_str(), 0755);
    mkdir((input + "/docs").c_str(), 0755);
    writeFile(input + "/readme.txt", "read me first\r\n");
    std::string manual;
    for (int i = 0; i < 2000; i++) manual += "Chapter " + std::to_string(i % 37) + ": install, then run.\n";
    writeFile(input + "/docs/manual.txt", manual);
  }

  Outcome build(size_t stubSize, std::vector<std::string> extra = {}) {
    writeFile(temp / "stub.exe", stubOf(stubSize));
    std::vector<std::string> arguments = {"--installer", temp / "stub.exe"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    for (const char* a : {"-C", input.c_str(), "-o", installer.c_str(), "."}) arguments.push_back(a);
    return run(pack, arguments, temp);
  }

  void expectExtracted() {
    EXPECT_EQ(text(readFile(out + "/readme.txt")), "read me first\r\n");
    EXPECT_EQ(readFile(out + "/docs/manual.txt"), readFile(input + "/docs/manual.txt"));
  }
};

TEST_F(InstallerPack, MarkerInTheWindowBehindTheStubAndAnEndBlockLast) {
  mkdir((input + "/setup.exe").c_str(), 0755);  // a folder starts nothing
  Outcome packed = build(55000);
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_NE(packed.err.find("warning: the payload holds no setup.exe at its top"), std::string::npos) << packed.err;
  Bytes image = readFile(installer);
  ASSERT_GT(image.size(), 98304u + 20);
  EXPECT_EQ(Bytes(image.begin(), image.begin() + 55000), stubOf(55000));
  EXPECT_EQ(memcmp(&image[98304], marker, 7), 0);
  EXPECT_EQ(image[98304 + 9], 0x73);
  // Solid by default: archive flag 0x08.
  EXPECT_EQ(image[98304 + 10] & 0x08, 0x08);
  // The last 7 bytes: check, type 0x7B, flags 0, header size 0.
  const uint8_t* end = &image[image.size() - 7];
  EXPECT_EQ(end[2], 0x7B);
  EXPECT_EQ(end[3] | end[4] << 8, 0);
  EXPECT_LT(end[5] | end[6] << 8, 7);

  // The installer's engine finds it by its search, as an embedded archive.
  resetEngineAndHost();
  archiveReader.archiveFile = fopen(installer.c_str(), "rb");
  ASSERT_NE(archiveReader.archiveFile, nullptr);
  EXPECT_EQ(identifyArchive(), EmbeddedArchive);
  EXPECT_EQ(archiveReader.embeddedOffset, 98304);
  EXPECT_TRUE(archiveReader.solidArchive);
  fclose(archiveReader.archiveFile);
  archiveReader.archiveFile = nullptr;

  Outcome checked = run(extract, {"--test", installer}, temp);
  EXPECT_EQ(checked.status, 0) << checked.err;
  EXPECT_NE(checked.out.find("All OK"), std::string::npos) << checked.out;
  Outcome extracted = run(extract, {installer, out}, temp);
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(extracted.err, "");
  expectExtracted();
}

TEST_F(InstallerPack, LargeStubMovesTheArchiveBehindIt) {
  writeFile(input + "/SETUP.EXE", "MZ");  // the installer's name for it ignores case
  Outcome packed = build(150001);
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(packed.err, "");
  Bytes image = readFile(installer);
  EXPECT_EQ(memcmp(&image[150016], marker, 7), 0);
  EXPECT_EQ(run(extract, {installer, out}, temp).status, 0);
  expectExtracted();
}

TEST_F(InstallerPack, ASignatureAppendedLaterIsNotReadAsArchiveData) {
  ASSERT_EQ(build(55000).status, 0);
  // What a code signature adds at the end of the file: a certificate entry (length
  // 4096, revision 2.0, type 2) with signed data after it.
  Bytes signature = {0x00, 0x10, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x30, 0x82, 0x0F, 0xF8};
  uint32_t seed = 12345;
  while (signature.size() < 4096) {
    seed = seed * 1103515245u + 12345u;
    signature.push_back((uint8_t)(seed >> 16));
  }
  Bytes image = readFile(installer);
  Bytes signedImage = image;
  signedImage.insert(signedImage.end(), signature.begin(), signature.end());
  writeFile(installer, signedImage);
  Outcome extracted = run(extract, {installer, out}, temp);
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(extracted.err, "") << "no warning about the bytes after the archive";
  EXPECT_EQ(extracted.out.find("Unexpected end"), std::string::npos) << extracted.out;
  expectExtracted();

  // Without the end block the same signature is read as blocks of the archive.
  Bytes unclosed(image.begin(), image.end() - 7);
  unclosed.insert(unclosed.end(), signature.begin(), signature.end());
  writeFile(installer, unclosed);
  Outcome misread = run(extract, {installer, temp / "misread"}, temp);
  EXPECT_TRUE(misread.out.find("Unexpected end") != std::string::npos || !misread.err.empty())
      << "the signature no longer disturbs an unclosed archive: this case proves nothing";
}

TEST_F(InstallerPack, OtherOptionsApplyToTheAppendedArchive) {
  ASSERT_EQ(build(60000, {"--password", "open sesame", "--method", "1.5", "--no-solid"}).status, 0);
  Outcome wrong = run(extract, {installer, out}, temp, "wrong");
  EXPECT_NE(wrong.status, 0);
  Outcome right = run(extract, {installer, out}, temp, "open sesame");
  EXPECT_EQ(right.status, 0) << right.err;
  expectExtracted();

  ASSERT_EQ(build(60000, {"--format", "old"}).status, 0);
  Bytes image = readFile(installer);
  EXPECT_EQ(std::string(image.begin() + 28, image.begin() + 32), "RSFX");
  EXPECT_EQ(std::string(image.begin() + 98304, image.begin() + 98308), "RE~^");
  std::string oldOut = temp / "old";
  EXPECT_EQ(run(extract, {installer, oldOut}, temp).status, 0);
  EXPECT_EQ(text(readFile(oldOut + "/readme.txt")), "read me first\r\n");
}

TEST_F(InstallerPack, RefusalsLeaveNoInstallerBehind) {
  Outcome tooLarge = build(200000);
  EXPECT_EQ(tooLarge.status, 1);
  EXPECT_NE(tooLarge.err.find("200000 bytes"), std::string::npos) << tooLarge.err;
  EXPECT_FALSE(pathExists(installer));

  // A huge (sparse) stub is refused by its size, never read into memory.
  std::string huge = temp / "huge.exe";
  writeFile(huge, stubOf(64));
  ASSERT_EQ(truncate(huge.c_str(), 1ll << 40), 0);
  Outcome hugeStub = run(pack, {"--installer", huge, "-C", input, "-o", installer, "."}, temp);
  EXPECT_EQ(hugeStub.status, 1);
  EXPECT_NE(hugeStub.err.find("1099511627776 bytes"), std::string::npos) << hugeStub.err;
  EXPECT_FALSE(pathExists(installer));

  Outcome missing = run(pack, {"--installer", temp / "nothing.exe", "-C", input, "-o", installer, "."}, temp);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nothing.exe"), std::string::npos) << missing.err;
  EXPECT_FALSE(pathExists(installer));

  Outcome folderStub = run(pack, {"--installer", input, "-C", input, "-o", installer, "."}, temp);
  EXPECT_EQ(folderStub.status, 1);
  EXPECT_FALSE(pathExists(installer));

  // A pipe as the stub is opened without waiting for a writer, and refused.
  std::string pipe = temp / "pipe.exe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  Outcome pipeStub = run(pack, {"--installer", pipe, "-C", input, "-o", installer, "."}, temp);
  EXPECT_EQ(pipeStub.status, 1);
  EXPECT_NE(pipeStub.err.find("pipe.exe: not a file"), std::string::npos) << pipeStub.err;
  EXPECT_FALSE(pathExists(installer));

  // A stub that is the output, named as it or through a link, would be lost under the
  // installer; a link at the output is replaced and the stub it leads to kept.
  std::string stub = temp / "stub.exe", link = temp / "link.exe";
  writeFile(stub, stubOf(5000));
  ASSERT_EQ(symlink("stub.exe", link.c_str()), 0);
  for (auto [named, output] : {std::pair{stub, stub}, {link, stub}, {stub, link}}) {
    Outcome r = run(pack, {"--installer", named, "-C", input, "-o", output, "."}, temp);
    EXPECT_EQ(r.status, output == link ? 0 : 1) << named << " " << output << ": " << r.err;
    EXPECT_EQ(r.err.find("the installer stub is the output itself") != std::string::npos, output != link) << r.err;
    EXPECT_EQ(readFile(stub), stubOf(5000)) << named << " " << output;
  }
}

// An installed copy of the tool: --exe takes the executable in ../share/lumvard/, a
// named one wins, and without one nothing is written.
TEST_F(InstallerPack, ExeFindsTheStubInstalledBesideTheTool) {
  const std::string prefix = temp / "prefix";
  for (const char* folder : {"", "/bin", "/share", "/share/lumvard"}) mkdir((prefix + folder).c_str(), 0755);
  const std::string tool = prefix + "/bin/lumvard-pack";
  writeFile(tool, readFile(pack));
  chmod(tool.c_str(), 0755);
  const std::string installed = prefix + "/share/lumvard/lumvard-install.exe";
  writeFile(installed, stubOf(50000));
  writeFile(temp / "named.exe", stubOf(60000));
  struct Case {
    std::vector<std::string> options;
    bool stubInstalled;
    int status;
    size_t stubSize;  // of the stub the installer starts with
    const char* message;
  } cases[] = {
      {{"--exe"}, true, 0, 50000, ""},
      {{"--exe", "--installer", temp / "named.exe"}, true, 0, 60000, ""},
      {{"--installer", temp / "named.exe", "--exe"}, true, 0, 60000, ""},
      {{"--exe"}, false, 1, 0, "share/lumvard/lumvard-install.exe"},
  };
  for (const Case& c : cases) {
    if (!c.stubInstalled) unlink(installed.c_str());
    unlink(installer.c_str());
    std::vector<std::string> arguments = c.options;
    for (const char* a : {"-C", input.c_str(), "-o", installer.c_str(), "."}) arguments.push_back(a);
    Outcome packed = run(tool, arguments, temp);
    EXPECT_EQ(packed.status, c.status) << c.options[0] << ": " << packed.err;
    EXPECT_NE(packed.err.find(c.message), std::string::npos) << packed.err;
    if (c.status != 0) {
      EXPECT_FALSE(pathExists(installer));
      continue;
    }
    Bytes image = readFile(installer);
    ASSERT_GT(image.size(), c.stubSize);
    EXPECT_EQ(Bytes(image.begin(), image.begin() + c.stubSize), stubOf(c.stubSize));
    EXPECT_EQ(run(extract, {installer, out}, temp).status, 0);
    expectExtracted();
  }
  // --help names what --exe would take.
  writeFile(installed, stubOf(50000));
  EXPECT_NE(run(tool, {"--help"}, temp).out.find("for --exe: " + installed + "\n"), std::string::npos);
  unlink(installed.c_str());
  EXPECT_NE(run(tool, {"--help"}, temp).out.find("for --exe: none found"), std::string::npos);
}
}  // namespace
