#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/reader.h"
#include "extract/names.h"
#include "extract/session.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace {

// Listing a folder makes it the current directory: every test starts and ends in the
// directory the run started in, which outlives the temporary folders.
class Names : public ::testing::Test {
 protected:
  void SetUp() override {
    resetEngineAndHost();
    ASSERT_NE(getcwd(startDirectory, sizeof startDirectory), nullptr);
  }
  void TearDown() override {
    resetEngineForTests();
    ASSERT_EQ(chdir(startDirectory), 0);
  }
  char startDirectory[PATH_MAX];
};

std::vector<std::string> archiveList() {
  std::vector<std::string> names;
  char name[PathCapacity];
  while (nextName(&session.archiveList, name)) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(Names, PointToName) {
  EXPECT_STREQ(pointToName("C:name.txt"), "name.txt");
  EXPECT_STREQ(pointToName("dir\\sub/"), "");
  EXPECT_STREQ(pointToName("C:\\dir/sub\\file"), "file");
  EXPECT_STREQ(pointToName("a:b:c"), "b:c");
  EXPECT_STREQ(pointToName("plain"), "plain");
}

TEST_F(Names, SplitName) {
  char folder[PathCapacity], name[PathCapacity];
  EXPECT_TRUE(splitName("C:\\dir\\*.txt", folder, name, true));
  EXPECT_STREQ(folder, "\\dir\\");
  EXPECT_STREQ(name, "*.txt");
  EXPECT_FALSE(splitName("C:\\dir\\a.txt", folder, name, false));
  EXPECT_STREQ(folder, "C:\\dir\\");
  EXPECT_STREQ(name, "a.txt");
  // A wildcard in the folder part alone still counts.
  EXPECT_TRUE(splitName("d*r\\file", folder, name, true));
  EXPECT_STREQ(folder, "d*r\\");
  EXPECT_FALSE(splitName("C:name", folder, name, true));
  EXPECT_STREQ(folder, "");
  EXPECT_STREQ(name, "name");
}

TEST_F(Names, CaseFoldingTouchesOnlyAsciiLetters) {
  char text[] = "abz{AZ}\xE4\xC4 1";
  upperCase(text);
  EXPECT_STREQ(text, "ABZ{AZ}\xE4\xC4 1");
  EXPECT_EQ(compareNoCase("ReadMe.TXT", "readme.txt"), 0);
  EXPECT_NE(compareNoCase("\xE4", "\xC4"), 0);
  EXPECT_LT(compareNoCase("abc", "ABD"), 0);
  EXPECT_GT(compareNoCase("abd", "ABC"), 0);
  EXPECT_LT(compareNoCase("ab", "abc"), 0);
  EXPECT_GT(compareNoCase("\xE4", "a"), 0);  // bytes compare unsigned
  EXPECT_EQ(compareNoCaseN("dir\\sub\\", "DIR\\other", 4), 0);
  EXPECT_NE(compareNoCaseN("dir\\sub\\", "DIR\\other", 5), 0);
  EXPECT_EQ(compareNoCaseN("", "anything", 0), 0);
}

TEST_F(Names, WildcardTable) {
  struct Case {
    const char* mask;
    const char* name;
    bool match;
  } cases[] = {
      {"*.*", "name.txt", true}, {"*.*", "name", true},       {"*.*", "", true},
      {"*.*", "a.b.c", true},    {"*", "anything.at.all", true}, {"*", "", true},
      {"*.txt", "a.b.txt", false}, {"*.txt", "a.txt", true},  {"*.txt", "a.TXT", true},
      {"a*b.txt", "aXYZ.txt", true}, {"ab?", "ab", true},     {"ab?", "abc", true},
      {"ab?", "abcd", false},    {"a?c", "ac", false},        {"a?c", "abcd", false},
      {"a?c", "abc", true},      {"README", "readme", true},  {"README", "readme.txt", false},
      {"README", "READ", false}, {"*.", "abc", true},         {"*.", "abc.", true},
      {"*.", "abc.d", false},    {"*.t*", "a.txt", true},     {"*.t*", "a", false},
      {"a.*", "a", false},       {"a.*", "a.", true},        {"a.*", "b.x", false},
      // Folders and drives take no part.
      {"C:\\dir\\*.txt", "other\\a.txt", true}, {"x\\a.txt", "y\\A.TXT", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wildcardMatch(c.mask, c.name), c.match) << c.mask << " vs " << c.name;
}

TEST_F(Names, SelectionByMasksAndFolders) {
  struct Case {
    const char* entry;
    bool selected;
  };
  auto check = [](std::vector<std::string> masks, std::vector<Case> cases) {
    resetEngineAndHost();
    for (const std::string& mask : masks) addName(&session.masks, mask.c_str());
    for (const Case& c : cases) {
      strcpy(archiveReader.fileName, c.entry);
      EXPECT_EQ(isSelected(), c.selected) << masks[0] << " selects " << c.entry;
    }
  };
  check({"*.*"}, {{"f", true}, {"dir\\sub\\f.txt", true}, {"C:\\x\\y", true}});
  check({"docs\\*.txt"}, {{"docs\\a.txt", true},
                          {"DOCS\\sub\\b.txt", true},
                          {"other\\a.txt", false},
                          {"docs\\a.doc", false},
                          {"a.txt", false}});
  check({"docs\\readme"}, {{"docs\\README", true}, {"docs\\sub\\readme", false}, {"readme", false}});
  check({"*.doc", "bin\\*.exe"}, {{"x\\y.doc", true}, {"bin\\z.exe", true}, {"z.exe", false}});
  // Every walk starts from the first mask again.
  check({"a", "b"}, {{"b", true}, {"b", true}, {"a", true}, {"c", false}});
}

TEST_F(Names, ExpandArchiveNameListsMatchingFilesOnly) {
  TempDir dir;
  writeFile(dir / "a.rar", std::string("1"));
  writeFile(dir / "b.RAR", std::string("2"));
  writeFile(dir / "c.txt", std::string("3"));
  mkdir((dir / "d.rar").c_str(), 0777);
  strcpy(session.archiveName, (dir / "*.rar").c_str());
  expandArchiveName();
  EXPECT_EQ(session.archivesFound, 2);
  EXPECT_EQ(archiveList(), (std::vector<std::string>{dir / "a.rar", dir / "b.RAR"}));
}

TEST_F(Names, ExpandArchiveNameWithoutWildcards) {
  TempDir dir;
  writeFile(dir / "setup.exe", std::string("x"));
  strcpy(session.archiveName, (dir / "SETUP.EXE").c_str());
  expandArchiveName();
  // Found ignoring case, under the name the folder lists.
  EXPECT_EQ(archiveList(), std::vector<std::string>{dir / "setup.exe"});

  // One file per name: the exact spelling wins over case variants (a name spelled by
  // none takes one of them), and a name holding '?' or '*' is no mask for its neighbours.
  for (const char* planted : {"SETUP.EXE", "Setup.exe", "setup?.exe", "*.exe"}) writeFile(dir / planted, std::string("p"));
  for (const char* named : {"setup.exe", "SETUP.EXE", "setup?.exe", "*.exe", "setup.EXE"}) {
    resetEngineAndHost();
    strcpy(session.archiveName, (dir / named).c_str());
    expandArchiveName();
    std::vector<std::string> found = archiveList();
    EXPECT_TRUE(found.size() == 1 && (found[0] == dir / named || strcmp(named, "setup.EXE") == 0)) << named;
  }

  resetEngineAndHost();
  strcpy(session.archiveName, (dir / "missing.exe").c_str());
  expandArchiveName();
  EXPECT_EQ(session.archivesFound, 0);
  EXPECT_TRUE(archiveList().empty());

  resetEngineAndHost();
  strcpy(session.archiveName, (dir / "nofolder/setup.exe").c_str());
  expandArchiveName();
  EXPECT_EQ(session.archivesFound, 0);
}

TEST_F(Names, ExpansionMakesTheArchiveFolderCurrent) {
  TempDir dir;
  mkdir((dir / "sub").c_str(), 0777);
  writeFile(dir / "sub/x.rar", std::string("x"));
  strcpy(session.archiveName, (dir / "sub\\x.rar").c_str());
  expandArchiveName();
  EXPECT_EQ(archiveList(), std::vector<std::string>{dir / "sub\\x.rar"});
  char now[PATH_MAX];
  ASSERT_NE(getcwd(now, sizeof now), nullptr);
  EXPECT_EQ(std::string(now), dir / "sub");

  // No folder part: the current directory is listed, and stays current.
  resetEngineAndHost();
  strcpy(session.archiveName, "x.rar");
  expandArchiveName();
  EXPECT_EQ(archiveList(), std::vector<std::string>{"x.rar"});
}

TEST_F(Names, FolderScanListsEveryEntry) {
  TempDir dir;
  writeFile(dir / "one", std::string("1"));
  mkdir((dir / "two").c_str(), 0777);
  FolderScan* scan = openFolder((dir.path + "\\").c_str());
  ASSERT_NE(scan, nullptr);
  std::vector<std::string> names;
  for (const char* name = readFolder(scan); name != nullptr; name = readFolder(scan))
    names.push_back(name);
  closeFolder(scan);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "one", "two"}));

  bool isDirectory = false;
  EXPECT_TRUE(getFileInfo((dir / "two").c_str(), &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_TRUE(getFileInfo((dir / "one").c_str(), &isDirectory));
  EXPECT_FALSE(isDirectory);
  EXPECT_FALSE(getFileInfo((dir / "three").c_str(), &isDirectory));
  // A folder that cannot be made current leaves the current one to be listed.
  ASSERT_EQ(chdir((dir / "two").c_str()), 0);
  scan = openFolder((dir / "three\\").c_str());
  ASSERT_NE(scan, nullptr);
  names.clear();
  for (const char* name = readFolder(scan); name != nullptr; name = readFolder(scan))
    names.push_back(name);
  closeFolder(scan);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", ".."}));
}

}  // namespace
