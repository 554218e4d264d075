// The localised text file: built with the writer tool's library, read back by the
// installer's reader, and damaged in the ways the reader must survive.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "pack/localtext/local_text_writer.h"
#include "shell/local_text.h"
#include "tests/shell/shell_fakes.h"
#include "tests/support/temp_dir.h"

namespace {
typedef std::vector<unsigned char> Bytes;

Bytes sampleFile() {
  return buildLocalTextFile({{9, {"Advanced Sample", "D:\\SAMPLE"}},
                             {7, {"Erweitertes Beispiel", "D:\\BEISPIEL"}},
                             {0x15, {"", "D:\\PRZYKLAD"}}});
}

uint32_t number(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | (uint32_t)bytes[at + 3] << 24;
}
void setNumber(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = (unsigned char)(value >> (8 * i));
}
// Offset of StringEntry k of the language at directory index l.
size_t stringEntry(const Bytes& bytes, int l, int k) {
  return number(bytes, 12 + 8 * l + 4) + 4 + (k - 1) * 12;
}
class LocalText : public ::testing::Test {
 protected:
  TempDir dir;
  std::string previous;
  void SetUp() override {
    shellFakes.reset();
    localTextValidated = false;
    char cwd[4096];
    previous = getcwd(cwd, sizeof cwd) ? cwd : ".";
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
  }
  void TearDown() override {
    localTextValidated = false;
    (void)!chdir(previous.c_str());
  }
  void install(const Bytes& bytes, const std::string& name = "lmvtid.tdx") { writeFile(dir / name, bytes); }
  // Reads entry with the reader, from a buffer holding "keep".
  std::pair<int, std::string> read(uint32_t entry, int capacity = 200) {
    char buffer[512] = "keep";
    const int result = readLocalText(entry, buffer, capacity);
    return {result, buffer};
  }
  std::pair<int, std::string> lookup(const Bytes& bytes, uint32_t language, uint32_t entry,
                                     int* capacity) {
    install(bytes, "direct.tdx");
    FILE* file = fopen((dir / "direct.tdx").c_str(), "rb");
    char buffer[512] = "keep";
    const int result = lookupLocalText(file, language, entry, buffer, capacity);
    fclose(file);
    return {result, buffer};
  }
};

TEST_F(LocalText, DeliversTheSystemLanguageEntries) {
  install(sampleFile());
  shellFakes.systemLanguage = 0x0407;  // German (Germany): only the primary language counts
  EXPECT_EQ(read(1), std::make_pair(1, std::string("Erweitertes Beispiel")));
  EXPECT_EQ(read(2), std::make_pair(1, std::string("D:\\BEISPIEL")));
  EXPECT_TRUE(localTextValidated);
}

TEST_F(LocalText, UnknownLanguageFallsBackToTheFirst) {
  install(sampleFile());
  shellFakes.systemLanguage = 0x0412;  // Korean is not in the file
  EXPECT_EQ(read(1), std::make_pair(1, std::string("Advanced Sample")));
  shellFakes.systemLanguage = 0x0415;  // Polish is the last in the directory
  EXPECT_EQ(read(2), std::make_pair(1, std::string("D:\\PRZYKLAD")));
}

TEST_F(LocalText, EntryAboveTheCountFailsAndLeavesTheBuffer) {
  install(sampleFile());
  EXPECT_EQ(read(3), std::make_pair(0, std::string("keep")));
  EXPECT_EQ(read(0), std::make_pair(0, std::string("keep")));
}

TEST_F(LocalText, EmptyEntryIsDeliveredWithoutTouchingTheBuffer) {
  install(sampleFile());
  shellFakes.systemLanguage = 0x15;
  EXPECT_EQ(read(1), std::make_pair(1, std::string("keep")));
  int capacity = 200;
  lookup(sampleFile(), 0x15, 1, &capacity);
  EXPECT_EQ(capacity, 0);
}

TEST_F(LocalText, TrailingEmptyEntriesAreNotStoredSoTheBuiltInTextStays) {
  // A stored empty entry 2 would be delivered and leave the folder field empty.
  std::vector<LocalTextLanguage> languages;
  std::string error;
  ASSERT_TRUE(parseLocalTextDescription("language en\n1 = Title\n2 =\nlanguage de\n1 =\n", languages, error))
      << error;
  install(buildLocalTextFile(languages));
  EXPECT_EQ(read(1), std::make_pair(1, std::string("Title")));
  EXPECT_EQ(read(2), std::make_pair(0, std::string("keep")));
  shellFakes.systemLanguage = 7;
  EXPECT_EQ(read(1), std::make_pair(0, std::string("keep")));
}

TEST_F(LocalText, LongTextIsCutToCapacityLessOneWithItsLastByteAsStored) {
  install(sampleFile());
  auto [result, text] = read(1, 5);  // "Advanced Sample" into 5 bytes
  EXPECT_EQ(result, 1);
  ASSERT_EQ(text.size(), 4u);
  EXPECT_EQ(text.substr(0, 3), "Adv");
  EXPECT_EQ((unsigned char)text[3], (unsigned char)('a' ^ (0x6D + 3)));
  int capacity = 5;
  lookup(sampleFile(), 9, 1, &capacity);
  EXPECT_EQ(capacity, 4);
}

TEST_F(LocalText, ShortStringAtTheEndDeliversWhatIsThere) {
  Bytes bytes = buildLocalTextFile({{9, {"Title"}}});
  setNumber(bytes, stringEntry(bytes, 0, 1) + 4, 1000);  // claims more than the file holds
  localTextValidated = true;
  int capacity = 200;
  auto [result, text] = lookup(bytes, 9, 1, &capacity);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(capacity, 6);  // five scrambled characters and the stored zero
  EXPECT_EQ(text, "Title");
}

TEST_F(LocalText, ChecksumMismatchFailsEveryLookupUntilAGoodFile) {
  Bytes bytes = sampleFile();
  bytes[8] ^= 0x40;
  install(bytes);
  EXPECT_EQ(read(1), std::make_pair(0, std::string("keep")));
  EXPECT_EQ(read(2), std::make_pair(0, std::string("keep")));
  EXPECT_FALSE(localTextValidated);
  install(sampleFile());
  EXPECT_EQ(read(1).first, 1);
  EXPECT_TRUE(localTextValidated);
}

TEST_F(LocalText, AfterOneValidationLaterFilesAreNotChecked) {
  install(sampleFile());
  EXPECT_EQ(read(1).first, 1);
  Bytes damaged = sampleFile();
  damaged[8] ^= 0xFF;
  install(damaged);
  EXPECT_EQ(read(2), std::make_pair(1, std::string("D:\\SAMPLE")));
}

TEST_F(LocalText, EmptyOrNegativeStringAreaIsRejected) {
  Bytes bytes = buildLocalTextFile({{9, {"Title"}}});
  const size_t first = stringEntry(bytes, 0, 1);
  for (uint32_t start : {(uint32_t)bytes.size(), (uint32_t)bytes.size() + 1, 0xFFFFFFF0u}) {
    Bytes changed = bytes;
    setNumber(changed, first + 8, start);
    changed[8] = 0;  // XOR of nothing
    install(changed);
    FILE* file = fopen((dir / "lmvtid.tdx").c_str(), "rb");
    EXPECT_EQ(validateLocalTextFile(file), 0) << start;
    fclose(file);
    EXPECT_EQ(read(1).first, 0) << start;
  }
}

TEST_F(LocalText, FormatBelowTwoIsUnusable) {
  Bytes bytes = sampleFile();
  setNumber(bytes, 0, 1);
  install(bytes);
  EXPECT_EQ(read(1).first, 0);
  localTextValidated = true;
  EXPECT_EQ(read(1).first, 0);
}

TEST_F(LocalText, TruncatedRecordsFailInsteadOfReadingGarbage) {
  const Bytes whole = sampleFile();
  localTextValidated = true;  // only the lookup's own reads are under test here
  const size_t cuts[] = {0, 7, 11, 15, 12 + 8 * 3 - 1, stringEntry(whole, 0, 1) - 1,
                         stringEntry(whole, 1, 2) + 11};
  for (size_t cut : cuts) {
    Bytes bytes(whole.begin(), whole.begin() + cut);
    int capacity = 200;
    EXPECT_EQ(lookup(bytes, 7, 2, &capacity), std::make_pair(0, std::string("keep"))) << cut;
  }
}

TEST_F(LocalText, ZeroLanguageCountStillReadsOneEntry) {
  Bytes bytes = sampleFile();
  setNumber(bytes, 4, 0);
  int capacity = 200;
  EXPECT_EQ(lookup(bytes, 7, 1, &capacity).second, "Advanced Sample");
  setNumber(bytes, 4, 0x80000000u);  // negative as a signed count
  capacity = 200;
  EXPECT_EQ(lookup(bytes, 7, 1, &capacity).second, "Advanced Sample");
}

TEST_F(LocalText, ExecutableFolderShadowsTheWindowsFolder) {
  TempDir windows;
  shellFakes.windowsFolder = windows.path;
  writeFile(windows / "lmvtid.tdx", buildLocalTextFile({{9, {"From Windows"}}}));
  EXPECT_EQ(read(1), std::make_pair(1, std::string("From Windows")));
  install(buildLocalTextFile({{9, {"From Beside"}}}));
  EXPECT_EQ(read(1), std::make_pair(1, std::string("From Beside")));
}

TEST_F(LocalText, NoFileAnywhereLeavesTheBuffer) {
  EXPECT_EQ(read(1), std::make_pair(0, std::string("keep")));
  shellFakes.windowsFolder = dir.path + "/missing";
  EXPECT_EQ(read(1), std::make_pair(0, std::string("keep")));
}

TEST(LocalTextBytes, ScramblingLeavesTheLastByteAndIsItsOwnInverse) {
  char text[] = "abcdef";
  unscrambleText(text, 6);
  EXPECT_EQ(text[5], 'f');
  EXPECT_EQ((unsigned char)text[0], (unsigned char)('a' ^ 0x6D));
  unscrambleText(text, 6);
  EXPECT_STREQ(text, "abcdef");
  unscrambleText(text, 1);
  unscrambleText(text, 0);
  EXPECT_STREQ(text, "abcdef");
  // Past 256 bytes the key wraps around.
  std::vector<char> longText(300, 0);
  unscrambleText(longText.data(), 300);
  EXPECT_EQ((unsigned char)longText[0x93], 0x00);  // 0x6D + 0x93 = 0x100
  EXPECT_EQ((unsigned char)longText[0x94], 0x01);
  const uint8_t bytes[] = {0x0F, 0xF0, 0x33};
  EXPECT_EQ(xorBytes(bytes, 3), 0xCC);
  EXPECT_EQ(xorBytes(bytes, 1), 0x0F);
}

TEST(LocalTextDescription, ParsesNamesNumbersAndGaps) {
  std::vector<LocalTextLanguage> languages;
  std::string error;
  ASSERT_TRUE(parseLocalTextDescription(
      "# product texts\nlanguage en\n1 = Lumvard Deluxe\n2 = C:\\DELUXE\r\n"
      "language 0x15\n2 = C:\\LUKS  \n",
      languages, error))
      << error;
  ASSERT_EQ(languages.size(), 2u);
  EXPECT_EQ(languages[0].languageId, 9u);
  EXPECT_EQ(languages[0].entries, (std::vector<std::string>{"Lumvard Deluxe", "C:\\DELUXE"}));
  EXPECT_EQ(languages[1].languageId, 0x15u);
  EXPECT_EQ(languages[1].entries, (std::vector<std::string>{"", "C:\\LUKS  "}));
}

TEST(LocalTextDescription, RejectsWhatCannotMakeAReadableFile) {
  std::vector<LocalTextLanguage> languages;
  std::string error;
  EXPECT_FALSE(parseLocalTextDescription("1 = x\n", languages, error));
  EXPECT_FALSE(parseLocalTextDescription("language xx\n1 = x\n", languages, error));
  EXPECT_FALSE(parseLocalTextDescription("language de\n0 = x\n", languages, error));
  EXPECT_FALSE(parseLocalTextDescription("language de\nlanguage en\n1 = x\n", languages, error));
  EXPECT_FALSE(parseLocalTextDescription("language de\n1 =\n", languages, error));
  // The first language is the fallback: it needs a text of its own.
  EXPECT_FALSE(parseLocalTextDescription("language de\n1 =\nlanguage en\n1 = x\n", languages, error));
  EXPECT_FALSE(parseLocalTextDescription("language en\n1 = x\n2 =\n3 = y\n", languages, error));
  EXPECT_NE(error.find("entry 2"), std::string::npos) << error;
  EXPECT_FALSE(parseLocalTextDescription("language de\ntitle\n", languages, error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}
}  // namespace

namespace {

// The writer tool's description: language names, one block per language, texts
// converted from UTF-8 into each language's code page (or the one asked for), and
// refusals that name the line.
TEST(LocalTextDescription, ConvertsIntoTheCodePageAndRefusesWithTheLine) {
  struct Case {
    std::string description;
    int codePage;            // LanguageCodePage (0): each language's own
    std::string firstText;   // the first language's first text, converted; "" when refused
    uint32_t firstId;
    std::string error;       // piece of the refusal
  } cases[] = {
      {"language de\n1 = Gr\xC3\xB6\xC3\x9F" "e\n", 0, "Gr\xF6\xDF" "e", 7, ""},
      {"language pl\n1 = \xC5\x81\xC3\xB3" "d\xC5\xBA\n", 0, "\xA3\xF3" "d\x9F", 0x15, ""},
      {"language ru\n1 = \xD0\x94\xD0\xB0\n", 0, "\xC4\xE0", 0x19, ""},
      {"language ko\n1 = \xED\x95\x9C\n", 0, "\xC7\xD1", 0x12, ""},
      {"language fr\n1 = \xC3\xA9t\xC3\xA9\n", 850, "\x82t\x82", 0x0C, ""},
      {"language el\n1 = x\nlanguage tr\n1 = y\nlanguage ja\n1 = z\nlanguage zh\n1 = w\n", 0, "x", 0x08, ""},
      {"language de\n1 = x\nlanguage en\n1 = y\nlanguage 7\n1 = z\n", 0, "", 0, "line 5: language '7' has a block already, from line 1"},
      {"language en\n1 = x\n\nlanguage qq\n", 0, "", 0, "line 4: unknown language 'qq'"},
      {"language en\n1 = ok\n2 = \xE2\x82\xAC\xE6\x97\xA5\n", 0, "", 0, "line 3: the text is not UTF-8 or has a character code page 1252"},
      {"language en\n1 = \xF6\n", 0, "", 0, "line 2: the text is not UTF-8"},
      {"language en\n1 = " + std::string(255, 'a') + "\n", 0, std::string(255, 'a'), 9, ""},
      {"language en\n1 = x\n2 = " + std::string(256, 'a') + "\n", 0, "", 0, "line 3: the text takes 256 bytes"},
      {"language de\n1 = " + std::string(128, 'a') + "\xC3\xA4" + std::string(126, 'a') + "\n", 0,
       std::string(128, 'a') + "\xE4" + std::string(126, 'a'), 7, ""},
  };
  for (const Case& c : cases) {
    std::vector<LocalTextLanguage> languages;
    std::string error;
    bool taken = parseLocalTextDescription(c.description, languages, error, c.codePage);
    EXPECT_EQ(taken, c.error.empty()) << c.description << error;
    if (!taken) {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      continue;
    }
    EXPECT_EQ(languages[0].languageId, c.firstId);
    EXPECT_EQ(languages[0].entries[0], c.firstText);
  }
}

}  // namespace
