// lumvard-pack --method 1.5 and --format old, end to end: archives made by the
// built packer, extracted by the built console host, compared file by file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/random_bytes.h"
#include "tests/support/temp_dir.h"

using namespace clitest;

namespace {

std::vector<uint8_t> textOf(size_t size, uint32_t seed) {
  static const char* const words[] = {"setup", "copies", "the", "files", "of", "Lumvard", "into", "a",
                                      "folder", "and", "checks", "every", "one", "with", "its", "sum"};
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += std::string(words[random() % 16]) + (random() % 8 ? " " : "\r\n");
  text.resize(size);
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Program-like records, with copies of earlier stretches up to 64 KiB back.
std::vector<uint8_t> binaryOf(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  while (bytes.size() < size) {
    if (bytes.size() > 70000 && random() % 8 == 0) {
      size_t from = bytes.size() - 1 - random() % 65000;
      for (int i = 0; i < 40; i++) bytes.push_back(bytes[from + i]);
      continue;
    }
    uint32_t value = random() % 3 == 0 ? uint32_t(random()) : 0x401000 + (random() % 64) * 4;
    for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(value >> (8 * i)));
  }
  bytes.resize(size);
  return bytes;
}

struct InputFile {
  std::string name;
  std::vector<uint8_t> data;
};

class PackV15 : public Cli {
 protected:
  std::string in = temp / "in";
  std::vector<InputFile> files;

  int runPack(const std::vector<std::string>& arguments) {
    return runProgram(builtProgram("pack/lumvard-pack", LUMVARD_PACK_BINARY), arguments, temp.path).status;
  }

  void SetUp() override {
    // Names sort so that the empty file comes first: in a solid archive it is the
    // entry that starts the run.
    files = {{"a-empty.txt", {}},
             {"b-text.txt", textOf(120000, 1)},
             {"c-noise.bin", randomBytes(40000, 2)},
             {"docs/d-binary.dll", binaryOf(150000, 3)},
             {"docs/e-large.dat", binaryOf(1100000, 4)},  // beyond the 1 MiB window
             {"f-tiny.txt", textOf(3, 5)}};
    ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((in + "/docs").c_str(), 0755), 0);
    for (const InputFile& f : files) writeFile(in + "/" + f.name, f.data);
  }

  void expectExtracted(const std::string& archivePath, const std::string& destination, const char* what,
                       const char* password = nullptr) {
    std::vector<std::string> arguments;
    if (password != nullptr) arguments = {"--password", password};
    arguments.push_back(archivePath);
    arguments.push_back(destination);
    Outcome result = run(arguments);
    EXPECT_EQ(result.status, 0) << what << ": " << result.err;
    for (const InputFile& f : files)
      EXPECT_TRUE(readFile(destination + "/" + f.name) == f.data) << what << ": " << f.name;
  }
};

TEST_F(PackV15, RoundTripsInBothFormatsSolidOrNotEncryptedOrNot) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    const char* password;
  } cases[] = {
      {"new solid", {"--method", "1.5"}, nullptr},
      {"new non-solid encrypted, the noise stored", {"--method", "1.5", "--no-solid", "--password", "pw"}, "pw"},
      {"new solid encrypted", {"--method", "1.5", "--password", "Kennwort"}, "Kennwort"},
      {"old solid", {"--format", "old"}, nullptr},
      {"old non-solid encrypted", {"--format", "old", "--no-solid", "--password", "x"}, "x"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string archivePath = temp / ("a" + std::to_string(n) + ".rar");
    std::vector<std::string> arguments = c.options;
    for (const char* a : {"-C", in.c_str(), "-o", archivePath.c_str(), "."}) arguments.push_back(a);
    ASSERT_EQ(runPack(arguments), 0) << c.what;
    expectExtracted(archivePath, temp / ("out" + std::to_string(n++)), c.what, c.password);

    std::vector<uint8_t> image = readFile(archivePath);
    size_t total = 0;
    for (const InputFile& f : files) total += f.data.size();
    EXPECT_LT(image.size(), total * 80 / 100) << c.what;
    if (c.options[0] == std::string("--format")) {
      ASSERT_GE(image.size(), 7u + 21);
      EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 4), std::vector<uint8_t>({0x52, 0x45, 0x7E, 0x5E}));
      EXPECT_EQ(image[7 + 18], 2) << "version code 2: unpack version 13";
    } else {
      // Folders come first in a solid archive; their headers carry no data.
      size_t at = 20;
      while (at + 32 <= image.size() && (image[at + 3] & 0xE0) == 0xE0) at += image[at + 5] | image[at + 6] << 8;
      ASSERT_GE(image.size(), at + 32);
      EXPECT_EQ(image[at + 24], 15) << "unpack version of the first file";
    }
  }
}

TEST_F(PackV15, TheCipherFollowsTheFormat) {
  // A wrong password shows as a checksum failure, so the right one proves the
  // entries were enciphered the way the engine deciphers them: 1.5 in the new
  // format, 1.3 in the old.
  for (const char* format : {"new", "old"}) {
    std::string archivePath = temp / (std::string(format) + ".rar");
    ASSERT_EQ(runPack({"--method", "1.5", "--format", format, "--password", "right", "-C", in, "-o", archivePath,
                       "b-text.txt"}),
              0);
    Outcome wrong = run({"--password", "wrong", archivePath, temp / (std::string(format) + "-wrong")});
    EXPECT_EQ(wrong.status, 3) << format;
    Outcome right = run({"--password", "right", archivePath, temp / (std::string(format) + "-right")});
    EXPECT_EQ(right.status, 0) << format << ": " << right.err;
    EXPECT_TRUE(readFile(temp / (std::string(format) + "-right/b-text.txt")) == files[1].data) << format;
  }
}

TEST_F(PackV15, OldFormatTakesOnlyMethodsItCanCarry) {
  EXPECT_EQ(runPack({"--format", "old", "--method", "2.0", "-C", in, "-o", temp / "x.rar", "."}), 64);
  EXPECT_EQ(runPack({"--format", "older", "-C", in, "-o", temp / "x.rar", "."}), 64);
  EXPECT_FALSE(pathExists(temp / "x.rar"));
  ASSERT_EQ(runPack({"--format", "old", "--method", "store", "-C", in, "-o", temp / "s.rar", "."}), 0);
  expectExtracted(temp / "s.rar", temp / "s", "old stored");
}

TEST_F(PackV15, OldFormatNamesTakeAtMost80Bytes) {
  // "names\\" and 74 more bytes: 80 in all.
  std::string name80 = std::string(74, 'n');
  ASSERT_EQ(mkdir((in + "/names").c_str(), 0755), 0);
  writeFile(in + "/names/" + name80, "eighty");
  ASSERT_EQ(runPack({"--format", "old", "-C", in, "-o", temp / "ok.rar", "names"}), 0);
  Outcome result = run({temp / "ok.rar", temp / "ok"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(temp / "ok/names/" + name80)), "eighty");

  writeFile(in + "/names/" + name80 + "x", "eighty-one");
  EXPECT_EQ(runPack({"--format", "old", "-C", in, "-o", temp / "long.rar", "names"}), 1);
  EXPECT_FALSE(pathExists(temp / "long.rar"));
  EXPECT_EQ(runPack({"-C", in, "-o", temp / "new.rar", "names"}), 0) << "the new format takes it";
}

}  // namespace
