#include <gtest/gtest.h>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "archive/reader.h"
#include "extract/output_files.h"
#include "extract/session.h"
#include "platform/platform.h"
#include "platform/posix/beneath_posix.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

// The current entry's time and read-only attribute, given to a file by its path, as
// the platform layer does to a finished output before moving it into place.
static void setFileInfo(const char* path) {
  platformSetFileTime(path, archiveReader.entry.fileTime);
  platformSetReadOnly(path, (archiveReader.entry.fileAttr & 0x01) != 0);
}


namespace {

class OutputFiles : public ::testing::Test {
 protected:
  TempDir dir;
  void SetUp() override { resetEngineAndHost(); }
  void TearDown() override { resetEngineForTests(); }
};

std::string stripped(const char* name) {
  char buffer[PathCapacity];
  strcpy(buffer, name);
  stripNamePrefix(buffer);
  return buffer;
}

uint32_t dosTime(int year, int month, int day, int hour, int minute, int second) {
  return (uint32_t)(year - 1980) << 25 | (uint32_t)month << 21 | (uint32_t)day << 16 |
         (uint32_t)hour << 11 | (uint32_t)minute << 5 | (uint32_t)(second / 2);
}

time_t localTime(int year, int month, int day, int hour, int minute, int second) {
  struct tm local = {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return mktime(&local);
}

// createOutputFile on a copy of path (it rewrites separators), outcome dropped.
FILE* createOutput(const std::string& path) {
  char name[PathCapacity];
  snprintf(name, sizeof name, "%s", path.c_str());
  int outcome;
  return createOutputFile(name, &outcome);
}

struct stat statOf(const std::string& path) {
  struct stat info = {};
  stat(path.c_str(), &info);
  return info;
}

TEST_F(OutputFiles, StripNamePrefix) {
  EXPECT_EQ(stripped("..\\a\\b"), "a\\b");
  EXPECT_EQ(stripped("C:\\x\\y"), "x\\y");
  EXPECT_EQ(stripped(".\\x"), "x");
  EXPECT_EQ(stripped("\\x"), "x");
  EXPECT_EQ(stripped("C:x"), "x");
  EXPECT_EQ(stripped("C:.\\..\\x"), "..\\x");  // the dot goes, so ".." is not leading
  EXPECT_EQ(stripped("..\\..\\x"), "..\\x");  // one level only
  EXPECT_EQ(stripped("a\\..\\b"), "a\\..\\b");
  EXPECT_EQ(stripped(".x"), ".x");
  EXPECT_EQ(stripped("..x"), "..x");
  EXPECT_EQ(stripped("\\\\x"), "\\x");
  EXPECT_EQ(stripped("C"), "C");
  EXPECT_EQ(stripped(""), "");
}

TEST_F(OutputFiles, NamesThatWouldLeaveTheDestinationAreUnsafe) {
  const char* destination = "C:\\dest\\";
  for (const char* name : {"..\\x", "a\\..\\b", "a\\..", "..", "a/../b", "...\\x", ".. \\x", ". .\\x"})
    EXPECT_FALSE(isSafeEntryName(destination, name)) << name;
  for (const char* name : {"a..b", ".hidden", "a\\.\\b", "x..\\y", "..a\\b", "a\\b.."})
    EXPECT_TRUE(isSafeEntryName(destination, name)) << name;

  std::string longDestination(200, 'd');
  EXPECT_TRUE(isSafeEntryName(longDestination.c_str(), std::string(59, 'n').c_str()));
  EXPECT_FALSE(isSafeEntryName(longDestination.c_str(), std::string(60, 'n').c_str()));
}

TEST_F(OutputFiles, UnixHostsBecomeFoldersOrPlainFiles) {
  FileEntry& entry = archiveReader.entry;
  entry.hostOs = 3;
  entry.flags = 0x8000 | 0xE0;
  entry.fileAttr = 0x41ED;
  convertAttributes();
  EXPECT_EQ(entry.fileAttr, 0x10u);
  entry.flags = 0x8000 | 0x60;
  entry.fileAttr = 0x41ED;
  convertAttributes();
  EXPECT_EQ(entry.fileAttr, 0x20u);
  entry.hostOs = 2;
  entry.flags = 0xE0;
  entry.fileAttr = 0x21;
  convertAttributes();
  EXPECT_EQ(entry.fileAttr, 0x21u);
}

TEST_F(OutputFiles, MakeDirectoryTellsWhyItFailed) {
  int reason = -1;
  EXPECT_EQ(makeDirectory((dir / "new").c_str(), 0x10, &reason), 0);
  EXPECT_TRUE(S_ISDIR(statOf(dir / "new").st_mode));
  EXPECT_EQ(makeDirectory((dir / "new").c_str(), 0x10, &reason), -1);
  EXPECT_EQ(reason, DirectoryExists);
  EXPECT_EQ(makeDirectory((dir.path + "\\missing\\leaf").c_str(), 0x10, &reason), -1);
  EXPECT_EQ(reason, DirectoryPathNotFound);
  writeFile(dir / "file", std::string("f"));
  EXPECT_EQ(makeDirectory((dir / "file/sub").c_str(), 0x10, &reason), -1);
  EXPECT_EQ(reason, DirectoryOtherFailure);
  // Only a folder counts as one already there: a file or a link (even to a folder) at
  // the name leaves the folder missing.
  ASSERT_EQ(symlink((dir / "new").c_str(), (dir / "linked").c_str()), 0);
  for (const char* taken : {"file", "linked"}) {
    reason = -1;
    EXPECT_EQ(makeDirectory((dir / taken).c_str(), 0x10, &reason), -1) << taken;
    EXPECT_EQ(reason, DirectoryOtherFailure) << taken;
  }

  // A read-only folder stays writable: it still takes new files.
  EXPECT_EQ(makeDirectory((dir / "locked").c_str(), 0x11, &reason), 0);
  EXPECT_NE(statOf(dir / "locked").st_mode & S_IWUSR, 0u);
}

TEST_F(OutputFiles, OutputIntoMissingFoldersCreatesThemAndAnnouncesEach) {
  mkdir((dir / "out").c_str(), 0777);
  std::string wanted = dir.path + "/out\\a/b\\c.txt";
  char path[PathCapacity];
  strcpy(path, wanted.c_str());
  int outcome = -1;
  FILE* file = createOutputFile(path, &outcome);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(outcome, OutputCreated);
  fputs("data", file);
  EXPECT_TRUE(commitOutputFile(file));
  closeFile(&file);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(readFile(dir / "out/a/b/c.txt").size(), 4u);

  std::string backslashed = wanted;
  for (char& c : backslashed)
    if (c == '/') c = '\\';
  EXPECT_STREQ(path, backslashed.c_str());
  std::vector<std::string> shown = fakeHost.itemTexts(ItemStatus);
  ASSERT_EQ(shown.size(), 2u);  // only the folders that were missing
  std::string a = backslashed.substr(0, backslashed.size() - 8);
  std::string b = backslashed.substr(0, backslashed.size() - 6);
  char expected[600];
  snprintf(expected, sizeof expected, "Creating    %-56s Ok", a.c_str());
  EXPECT_EQ(shown[0], expected);
  snprintf(expected, sizeof expected, "Creating    %-56s Ok", b.c_str());
  EXPECT_EQ(shown[1], expected);

  // Folders made on the way are plain writable folders.
  EXPECT_NE(statOf(dir / "out/a").st_mode & S_IWUSR, 0u);
}

TEST_F(OutputFiles, ExistingFilesAreReplacedOnCommitButReadOnlyOnesCannotBeCreated) {
  std::string path = dir / "old.txt";
  writeFile(path, std::string("previous contents"));
  FILE* file = createOutput(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(readFile(path).size(), 17u) << "untouched until the new file is committed";
  EXPECT_TRUE(commitOutputFile(file));
  closeFile(&file);
  EXPECT_TRUE(readFile(path).empty());
  EXPECT_STREQ(outputTemporaryName(), "");

  // No write permission counts as read-only, also for a process running as root.
  writeFile(path, std::string("keep me"));
  chmod(path.c_str(), 0444);
  EXPECT_EQ(createOutput(path), nullptr);
  EXPECT_EQ(readFile(path).size(), 7u);
  EXPECT_TRUE(fakeHost.events.empty());
}

// Makes openat2 fail with EPERM for the rest of the process, as container sandboxes
// that predate it do; false when the system takes no such filter.
bool refuseOpenat2() {
  struct sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog program = {sizeof filter / sizeof filter[0], filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Below the destination no link is followed, with openat2 and with the component walk
// used where the kernel lacks it or a sandbox refuses it; the destination itself may be
// a link.
TEST_F(OutputFiles, NothingBelowTheDestinationIsFollowedAsALink) {
  std::string outside = dir / "outside", real = dir / "real", root = dir / "root";
  for (const std::string& folder : {outside, outside + "/b", real, real + "/plain", real + "/plain/deeper"})
    mkdir(folder.c_str(), 0755);
  ASSERT_EQ(symlink(real.c_str(), root.c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (real + "/link").c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (real + "/plain/link").c_str()), 0);
  ASSERT_EQ(symlink("..", (real + "/up").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/gone").c_str(), (real + "/dangling").c_str()), 0);
  writeFile(real + "/file", std::string("f"));
  std::string destination = root + "\\";

  struct Row {
    const char* name;
    int created;  // platformCreateOutput
    int made;     // platformMakeDirectory
  } rows[] = {
      {"x", PlatformOutputOpened, PlatformDirectoryMade},
      {"plain\\deeper\\x", PlatformOutputOpened, PlatformDirectoryMade},
      {"plain\\.\\y", PlatformOutputOpened, PlatformDirectoryMade},
      {"link\\x", PlatformOutputRefused, PlatformOtherFailure},
      {"link\\b\\x", PlatformOutputRefused, PlatformOtherFailure},
      {"plain\\link\\x", PlatformOutputRefused, PlatformOtherFailure},
      {"up\\outside\\x", PlatformOutputRefused, PlatformOtherFailure},
      {"dangling\\x", PlatformOutputRefused, PlatformOtherFailure},
      {"file\\x", PlatformOutputRefused, PlatformOtherFailure},
      {"missing\\x", PlatformOutputPathNotFound, PlatformPathNotFound},
  };
  enum { Openat2, Walk, Openat2Refused } modes[] = {Openat2, Walk, Openat2Refused};
  for (int mode : modes) {
    // The sandbox's filter stays for the rest of a process: a child of its own runs it.
    pid_t child = mode == Openat2Refused ? fork() : 0;
    if (child > 0) {
      int status = -1;
      waitpid(child, &status, 0);
      EXPECT_EQ(status, 0) << "with openat2 refused, a row went otherwise (its failure is above)";
      continue;
    }
    if (mode == Openat2Refused && !refuseOpenat2()) _exit(0);
    beneathUsesOpenat2 = mode != Walk;
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (mode == Openat2 ? " (openat2)" : mode == Walk ? " (walk)" : " (refused)"));
      std::string path = destination + row.name;
      int result = -1;
      FILE* file = platformCreateOutput(destination.c_str(), path.c_str(), nullptr, &result);
      EXPECT_EQ(result, row.created);
      EXPECT_EQ(file != nullptr, row.created == PlatformOutputOpened);
      if (file != nullptr) fclose(file);
      platformDiscardOutput();
      EXPECT_EQ(platformMakeDirectory(destination.c_str(), path.c_str()), row.made);
      std::string made = real + "/" + row.name;
      for (char& c : made)
        if (c == '\\') c = '/';
      rmdir(made.c_str());
    }
    if (mode == Openat2Refused) _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  beneathUsesOpenat2 = true;
  struct stat info;
  EXPECT_EQ(lstat((outside + "/x").c_str(), &info), -1);
  EXPECT_EQ(lstat((outside + "/b/x").c_str(), &info), -1);
  EXPECT_EQ(lstat((outside + "/gone").c_str(), &info), -1);
}

// Times are read as local time, with daylight saving decided for their own date.
class FileTimes : public OutputFiles {
 protected:
  std::string savedZone;
  bool hadZone = false;
  void SetUp() override {
    OutputFiles::SetUp();
    const char* zone = getenv("TZ");
    hadZone = zone != nullptr;
    if (hadZone) savedZone = zone;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  void TearDown() override {
    if (hadZone)
      setenv("TZ", savedZone.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
    OutputFiles::TearDown();
  }
};

TEST_F(FileTimes, ReadOnlyEntriesEndReadOnlyWithTheirTime) {
  std::string path = dir / "ro.bin";
  writeFile(path, std::string("x"));
  archiveReader.entry.fileAttr = 0x21;
  archiveReader.entry.fileTime = dosTime(2001, 7, 14, 13, 45, 58);
  setFileInfo(path.c_str());
  struct stat info = statOf(path);
  EXPECT_EQ(info.st_mode & 0222, 0u);
  EXPECT_EQ(info.st_mtime, 995111158);  // 11:45:58 UTC, summer time
  EXPECT_EQ(info.st_atime, info.st_mtime);
  EXPECT_EQ(createOutput(path), nullptr);

  // A writable entry gives the write permission back.
  archiveReader.entry.fileAttr = 0x20;
  archiveReader.entry.fileTime = dosTime(1995, 1, 2, 3, 4, 6);
  setFileInfo(path.c_str());
  info = statOf(path);
  EXPECT_NE(info.st_mode & S_IWUSR, 0u);
  EXPECT_EQ(info.st_mtime, 789012246);  // 02:04:06 UTC, winter time
}

// The time and the read-only bit go to the file written, whatever is put at its
// temporary name before the commit; a name taken over is not moved over the target.
TEST_F(FileTimes, CommitMarksTheFileWrittenNeverWhatTookItsName) {
  typedef void (*Swap)(const char* temporary, const char* outside);
  struct Row {
    const char* what;
    Swap swap;  // null: nothing put there
    bool committed;
  } rows[] = {
      {"nothing", nullptr, true},
      {"symbolic link", [](const char* t, const char* o) { unlink(t), (void)symlink(o, t); }, false},
      {"hard link", [](const char* t, const char* o) { unlink(t), (void)link(o, t); }, false},
  };
  auto text = [](const std::string& path) {
    std::vector<unsigned char> bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
  };
  const time_t entryTime = 995111158;
  std::string outside = dir / "outside.txt";
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    writeFile(outside, std::string("outside"));
    chmod(outside.c_str(), 0644);
    std::string target = dir / ("target" + std::to_string(index++));
    writeFile(target, std::string("old"));
    FILE* file = createOutput(target);
    ASSERT_NE(file, nullptr);
    fputs("new", file);
    std::string temporary = outputTemporaryName();
    if (row.swap != nullptr) row.swap(temporary.c_str(), outside.c_str());
    archiveReader.entry.fileAttr = 0x21;
    archiveReader.entry.fileTime = dosTime(2001, 7, 14, 13, 45, 58);
    EXPECT_EQ(commitOutputFile(file), row.committed);
    closeFile(&file);
    discardOutputFile();
    EXPECT_EQ(text(target), row.committed ? "new" : "old");
    EXPECT_EQ((statOf(target).st_mode & 0222) == 0, row.committed);
    EXPECT_EQ(statOf(target).st_mtime == entryTime, row.committed);
    EXPECT_EQ(text(outside), "outside");
    EXPECT_EQ(statOf(outside).st_mode & 0777, 0644u);
    EXPECT_NE(statOf(outside).st_mtime, entryTime);
    unlink(temporary.c_str());
  }
}

TEST_F(FileTimes, InvalidDosTimesLeaveTheFileTimeAlone) {
  std::string path = dir / "t.bin";
  writeFile(path, std::string("x"));
  archiveReader.entry.fileAttr = 0x20;
  archiveReader.entry.fileTime = dosTime(2010, 5, 6, 7, 8, 10);
  setFileInfo(path.c_str());
  time_t valid = localTime(2010, 5, 6, 7, 8, 10);
  ASSERT_EQ(statOf(path).st_mtime, valid);
  uint32_t invalid[] = {
      dosTime(2010, 0, 6, 7, 8, 10),  dosTime(2010, 13, 6, 7, 8, 10),
      dosTime(2010, 5, 0, 7, 8, 10),  dosTime(2010, 5, 6, 24, 8, 10),
      dosTime(2010, 5, 6, 7, 60, 10), dosTime(2010, 5, 6, 7, 8, 0) | 30,
      dosTime(2010, 2, 29, 7, 8, 10), dosTime(2010, 4, 31, 7, 8, 10),
  };
  for (uint32_t time : invalid) {
    archiveReader.entry.fileTime = time;
    setFileInfo(path.c_str());
    EXPECT_EQ(statOf(path).st_mtime, valid) << std::hex << time;
  }
  archiveReader.entry.fileTime = dosTime(2012, 2, 29, 23, 59, 58);  // a leap day is fine
  setFileInfo(path.c_str());
  EXPECT_EQ(statOf(path).st_mtime, localTime(2012, 2, 29, 23, 59, 58));
}

TEST_F(OutputFiles, SetExtension) {
  char name[PathCapacity];
  strcpy(name, "C:\\dir\\archive.exe");
  setExtension(name, "rar");
  EXPECT_STREQ(name, "C:\\dir\\archive.rar");
  strcpy(name, "archive");
  setExtension(name, "exe");
  EXPECT_STREQ(name, "archive.exe");
  strcpy(name, "name.");
  setExtension(name, "rar");
  EXPECT_STREQ(name, "name.rar");
  strcpy(name, "C:\\my.dir\\setup");  // the search covers the folders too
  setExtension(name, "rar");
  EXPECT_STREQ(name, "C:\\my.rar");
  std::string full(257, 'n');
  strcpy(name, full.c_str());
  setExtension(name, "rar");  // would not fit
  EXPECT_EQ(std::string(name), full);
}

TEST_F(OutputFiles, ArchiveFilesOpenAndCloseOrReport) {
  writeFile(dir / "a.rar", std::string("R"));
  FILE* file = openArchiveFile((dir / "a.rar").c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(isCharacterDevice(file));
  closeFile(&file);
  EXPECT_EQ(file, nullptr);
  closeFile(&file);  // absent: nothing happens
  EXPECT_TRUE(fakeHost.events.empty());

  std::string missing = dir / "none.rar";
  EXPECT_EQ(openArchiveFile(missing.c_str()), nullptr);
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"ERROR: Cannot open " + missing});

  EXPECT_TRUE(fileExists((dir / "a.rar").c_str()));
  EXPECT_TRUE(fileExists(dir.path.c_str()));
  EXPECT_FALSE(fileExists(missing.c_str()));

  FILE* device = fopen("/dev/null", "w+b");
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(isCharacterDevice(device));
  fclose(device);
}

TEST_F(OutputFiles, FailingCloseIsFatal) {
  fakeHost.echoToStderr = true;
  EXPECT_EXIT(
      {
        FILE* full = fopen("/dev/full", "wb");
        if (full == nullptr) exit(2);  // keeps the expectation meaningful below
        fputs("pending bytes the close must write", full);
        session.outputFile = full;
        closeFile(&session.outputFile);
        exit(0);
      },
      ::testing::ExitedWithCode(2), "File close error");
}

}  // namespace
