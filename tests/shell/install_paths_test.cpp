// The install run's path handling: the destination as extracted into, the drive and
// folder the setup program starts in, and the companion copies' source and target.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "shell/install_paths.h"

namespace {
std::string dropped(const char* path) {
  char buffer[64];
  strcpy(buffer, path);
  dropTrailingBackslash(buffer);
  return buffer;
}

std::string upper(const char* text) {
  char buffer[64];
  strcpy(buffer, text);
  upperCaseAscii(buffer);
  return buffer;
}

// The setup program's path the way the run forms it: the destination with one
// backslash dropped, then upper-cased, then the name appended.
std::string setupPath(const char* typed, const char* name = "setup.exe") {
  char destination[256];
  strcpy(destination, typed);
  dropTrailingBackslash(destination);
  upperCaseAscii(destination);
  char program[256 + 32];
  if (!joinPath(destination, name, program, sizeof program)) return "<too long>";
  return program;
}

TEST(InstallDestination, OnlyOneTrailingBackslashIsDropped) {
  EXPECT_EQ(dropped("D:\\Target\\"), "D:\\Target");
  EXPECT_EQ(dropped("D:\\"), "D:");
  EXPECT_EQ(dropped("D:\\Target\\\\"), "D:\\Target\\");
  EXPECT_EQ(dropped("D:\\Target"), "D:\\Target");
  EXPECT_EQ(dropped("\\"), "");
  EXPECT_EQ(dropped(""), "");
}

TEST(InstallDestination, UpperCasingTouchesOnlyTheLettersAToZ) {
  EXPECT_EQ(upper("d:\\Target\\sub-1_x"), "D:\\TARGET\\SUB-1_X");
  // Bytes of a single-byte code page above 127 stay as they are.
  EXPECT_EQ(upper("c:\\\xe4\xf6z{"), "C:\\\xe4\xf6Z{");
}

TEST(InstallDestination, DriveNumberComesFromALetterBeforeAColon) {
  EXPECT_EQ(driveNumberOf("A:\\"), 1);
  EXPECT_EQ(driveNumberOf("C:"), 3);
  EXPECT_EQ(driveNumberOf("D:\\TARGET"), 4);
  EXPECT_EQ(driveNumberOf("z:relative"), 26);
  // No drive: the current drive is kept.
  EXPECT_EQ(driveNumberOf("\\TARGET"), 0);
  EXPECT_EQ(driveNumberOf("\\\\SERVER\\SHARE"), 0);
  EXPECT_EQ(driveNumberOf("TARGET"), 0);
  EXPECT_EQ(driveNumberOf("D"), 0);
  EXPECT_EQ(driveNumberOf(""), 0);
  EXPECT_EQ(driveNumberOf("1:\\"), 0);
  EXPECT_EQ(driveNumberOf("\xc4:\\"), 0);
}

TEST(InstallDestination, SetupProgramPathKeepsTheNamesCase) {
  EXPECT_EQ(setupPath("D:\\Target\\"), "D:\\TARGET\\setup.exe");
  EXPECT_EQ(setupPath("D:\\"), "D:\\setup.exe");
  EXPECT_EQ(setupPath("c:\\Program Files\\Lumvard"), "C:\\PROGRAM FILES\\LUMVARD\\setup.exe");
  EXPECT_EQ(setupPath("\\target"), "\\TARGET\\setup.exe");
}

TEST(InstallDestination, AFolderFillingItsWholeBufferStillGetsTheSetupName) {
  std::string folder = "C:\\" + std::string(252, 'a');  // 255 characters
  EXPECT_EQ(setupPath(folder.c_str()), "C:\\" + std::string(252, 'A') + "\\setup.exe");
}

TEST(InstallDestination, APathThatDoesNotFitIsRefusedNotCut) {
  char out[12];
  memset(out, 'x', sizeof out);
  EXPECT_FALSE(joinPath("C:\\ABCDE", "setup.exe", out, sizeof out));
  EXPECT_STREQ(out, "");
  EXPECT_TRUE(joinPath("C:", "abcd.exe", out, sizeof out));  // 11 characters and the zero
  EXPECT_STREQ(out, "C:\\abcd.exe");
  EXPECT_FALSE(joinPath("C:", "abcde.exe", out, sizeof out));  // one too many
}

TEST(InstallDestination, SetupProgramPathWithABlankIsQuotedOnItsCommandLine) {
  const struct {
    const char* path;
    size_t capacity;
    const char* expected;  // null: refused, out empty
  } cases[] = {
      {"C:\\TARGET\\setup.exe", 64, "C:\\TARGET\\setup.exe"},
      {"C:\\PROGRAM FILES\\LUMVARD\\setup.exe", 64, "\"C:\\PROGRAM FILES\\LUMVARD\\setup.exe\""},
      {"C:\\TAB\tFOLDER\\setup.exe", 64, "\"C:\\TAB\tFOLDER\\setup.exe\""},
      {"C:\\A B\\s.exe", 15, "\"C:\\A B\\s.exe\""},  // 14 characters and the zero
      {"C:\\A B\\s.exe", 14, nullptr},  // the closing quote would be cut
      {"C:\\AB\\s.exe", 10, nullptr},
  };
  for (const auto& c : cases) {
    char out[64];
    memset(out, 'x', sizeof out);
    const bool fits = commandLineArgument(c.path, out, c.capacity);
    EXPECT_EQ(fits, c.expected != nullptr) << c.path;
    EXPECT_STREQ(out, c.expected ? c.expected : "") << c.path;
  }
}

TEST(CompanionFiles, ArePatternsInTheirCopyOrder) {
  const char* expected[] = {"*.txt", "*.wri", "*.doc", "lumvar.ini", "ruvexa.dll", "*.tdx", "*.bmp"};
  ASSERT_EQ((int)CompanionPatternCount, 7);
  for (int i = 0; i < CompanionPatternCount; ++i) EXPECT_STREQ(companionPatterns[i], expected[i]);
}

TEST(CompanionFiles, SourceIsTheExecutablesFolderAndTheName) {
  char out[64];
  ASSERT_TRUE(besideExecutable("C:\\inst\\setup-lumvard.exe", "*.txt", out, sizeof out));
  EXPECT_STREQ(out, "C:\\inst\\*.txt");
  ASSERT_TRUE(besideExecutable("C:\\inst\\setup-lumvard.exe", "readme.txt", out, sizeof out));
  EXPECT_STREQ(out, "C:\\inst\\readme.txt");
  ASSERT_TRUE(besideExecutable("D:\\setup.exe", "lumvar.ini", out, sizeof out));
  EXPECT_STREQ(out, "D:\\lumvar.ini");
  ASSERT_TRUE(besideExecutable("a.exe", "lumvar.ini", out, sizeof out));
  EXPECT_STREQ(out, "lumvar.ini");
  EXPECT_FALSE(besideExecutable("C:\\inst\\x.exe", "a-rather-long-name.txt", out, 20));
  EXPECT_STREQ(out, "");
}

TEST(CompanionFiles, TargetGetsOneSeparator) {
  char out[64];
  // The destination as the run hands it on: its one trailing backslash dropped.
  ASSERT_TRUE(intoDestination("D:\\Target", "readme.txt", out, sizeof out));
  EXPECT_STREQ(out, "D:\\Target\\readme.txt");
  ASSERT_TRUE(intoDestination("D:", "readme.txt", out, sizeof out));
  EXPECT_STREQ(out, "D:\\readme.txt");
  ASSERT_TRUE(intoDestination("D:\\", "readme.txt", out, sizeof out));
  EXPECT_STREQ(out, "D:\\readme.txt");
  EXPECT_FALSE(intoDestination("D:\\Target", "readme.txt", out, 20));
  EXPECT_STREQ(out, "");
}
}  // namespace
