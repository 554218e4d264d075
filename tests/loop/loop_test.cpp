// The extraction loop driven in-process against the fake host, on archives made byte
// by byte.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "archive/checksum.h"
#include "extract/extract_loop.h"
#include "extract/name_list.h"
#include "extract/output_files.h"
#include "extract/session.h"
#include "tests/support/engine_test.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_archive.h"

using namespace testarchive;

namespace {

std::string formatted(const char* format, const std::string& argument) {
  char text[512];
  snprintf(text, sizeof text, format, argument.c_str());
  return text;
}

std::string text(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool contains(const std::vector<std::string>& texts, const std::string& wanted) {
  for (const std::string& text : texts)
    if (text == wanted) return true;
  return false;
}

class Loop : public ExtractTest {
 protected:
  std::string archive(const Bytes& bytes, const std::string& name = "a.rar") {
    std::string path = temp / name;
    writeFile(path, bytes);
    return path;
  }

  // The loop over the given archive files into `out`, as a run sets it up.
  int extract(const std::vector<std::string>& archives, bool testOnly = false) {
    return extractInProcess(archives, out, testOnly);
  }
  int extract(const std::string& archiveName, bool testOnly = false) {
    return extract(std::vector<std::string>{archiveName}, testOnly);
  }

  // The output path as the engine forms it and shows it.
  std::string shown(const std::string& name) { return out + "\\" + name; }
  // The same after the attempt to create its folders, which turns every separator into
  // a backslash.
  std::string shownAfterCreate(const std::string& name) {
    std::string path = shown(name);
    for (char& c : path)
      if (c == '/') c = '\\';
    return path;
  }
  std::vector<std::string> status() { return fakeHost.itemTexts(ItemStatus); }
};

// Death tests report what the dying child saw on stderr; the box texts go there.
void echoBoxes() { fakeHost.echoToStderr = true; }

TEST_F(Loop, EveryEntryExtractedAndCheckedEndsAllOk) {
  std::string name = archive(newArchive({file("a.txt", "first"), folder("sub"),
                                         file("sub\\b.txt", "second"), file("deep\\er\\c.txt", "")}));
  EXPECT_EQ(extract(name), 0);

  EXPECT_EQ(text(readFile(out + "/a.txt")), "first");
  EXPECT_EQ(text(readFile(out + "/sub/b.txt")), "second");
  EXPECT_TRUE(pathExists(out + "/deep/er/c.txt"));
  std::vector<std::string> lines = status();
  EXPECT_EQ(lines.front(), formatted("Extracting from %s", name));
  EXPECT_TRUE(contains(lines, formatted(statusExtracting, shown("a.txt"))));
  EXPECT_TRUE(contains(lines, formatted(statusExtracting, shown("sub\\b.txt"))));
  EXPECT_TRUE(contains(lines, formatted(statusCreating, "sub")));
  EXPECT_EQ(lines.back(), "All OK");
  EXPECT_EQ(fakeHost.itemTexts(ItemResult), std::vector<std::string>(3, "Ok"));
  EXPECT_TRUE(fakeHost.boxTexts().empty());
}

// Every status text is set, the dialog repainted for the first one and then at most
// every 50 ms; a box, a password request and the end of the run find the latest texts
// shown.
TEST_F(Loop, StatusTextsAreAllSetAndTheLatestShownBeforeBoxesAndAtTheEnd) {
  struct Case {
    const char* what;
    uint32_t millisecondsApart;  // between two readings of the host's clock
    bool damaged, encrypted;
    int fewestRepaints, mostRepaints;
  };
  const Case cases[] = {
      {"slow host: every text repainted", 1000, false, false, 11, 11},
      {"fast host: the first text and the end", 0, false, false, 2, 2},
      {"fast host, a box: repainted before it", 0, true, false, 3, 3},
      {"fast host, a password request: repainted before it", 0, false, true, 3, 3},
      {"20 ms apart: every third reading at most", 20, true, false, 4, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    resetEngineAndHost();
    fakeHost.clockStep = c.millisecondsApart;
    fakeHost.passwords.push_back(std::string("pw"));
    Entry second = c.encrypted ? encrypted("b.txt", "second", "pw") : file("b.txt", "second");
    second.wrongChecksum = c.damaged;
    extract(archive(newArchive({file("a.txt", "first"), second, file("sub\\c.txt", "third"),
                                file("sub\\d.txt", "fourth")}),
                    std::string(c.what).substr(0, 4) + ".rar"));
    EXPECT_TRUE(fakeHost.latestTextsShown());
    EXPECT_GE(fakeHost.repaints(), c.fewestRepaints);
    EXPECT_LE(fakeHost.repaints(), c.mostRepaints);
    // No text is dropped: each entry's name and result, and the run's end.
    EXPECT_EQ(fakeHost.itemTexts(ItemResult).size(), c.damaged ? 3u : 4u);
    EXPECT_TRUE(contains(status(), formatted(statusExtracting, shown("sub\\d.txt"))));
    if (!c.damaged) {
      EXPECT_EQ(status().back(), "All OK");
    }
  }
}

TEST_F(Loop, OldFormatArchivesUseTheSixteenBitChecksum) {
  Entry good = file("good.txt", "old format data");
  good.unpVer = 13;
  Entry bad = file("bad.txt", "damaged");
  bad.unpVer = 13;
  bad.wrongChecksum = true;
  EXPECT_EQ(extract(archive(oldArchive({good, bad}))), ExitCrc);
  EXPECT_EQ(text(readFile(out + "/good.txt")), "old format data");
  EXPECT_FALSE(pathExists(out + "/bad.txt"));
  EXPECT_EQ(fakeHost.boxTexts(),
            (std::vector<std::string>{formatted("%-20s : CRC failed", "bad.txt"), "Total errors: 1"}));
}

TEST_F(Loop, ChecksumFailureRemovesTheFileEvenWhenReadOnly) {
  Entry damaged = file("ro.txt", "contents");
  damaged.wrongChecksum = true;
  damaged.attr = 0x21;
  Entry fine = file("fine.txt", "fine");
  fine.attr = 0x21;
  EXPECT_EQ(extract(archive(newArchive({damaged, fine}))), ExitCrc);
  EXPECT_FALSE(pathExists(out + "/ro.txt"));
  // The entry that passed keeps its read-only attribute and its time.
  struct stat info;
  ASSERT_EQ(stat((out + "/fine.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u);
  EXPECT_EQ(fakeHost.boxTexts().front(), formatted("%-20s : CRC failed", "ro.txt"));
  EXPECT_EQ(fakeHost.boxTexts().back(), "Total errors: 1");
}

TEST_F(Loop, ExitCodeIsTheLastFailureNotTheWorst) {
  // A checksum failure followed by a file that cannot be created gives 1 ...
  writeFile(out + "/locked.txt", "old");
  chmod((out + "/locked.txt").c_str(), 0444);
  Entry damaged = file("damaged.txt", "x");
  damaged.wrongChecksum = true;
  EXPECT_EQ(extract(archive(newArchive({damaged, file("locked.txt", "new")}))), ExitWarning);
  EXPECT_EQ(text(readFile(out + "/locked.txt")), "old");
  EXPECT_EQ(fakeHost.boxTexts().back(), "Total errors: 2");

  // ... and the same two in the other order give 3.
  resetEngineAndHost();
  EXPECT_EQ(extract(archive(newArchive({file("locked.txt", "new"), damaged}), "b.rar")), ExitCrc);
}

TEST_F(Loop, ReadOnlyFileAtTheOutputPathIsOneError) {
  writeFile(out + "/locked.txt", "old");
  chmod((out + "/locked.txt").c_str(), 0444);
  EXPECT_EQ(extract(archive(newArchive({file("locked.txt", "new"), file("next.txt", "next")}))),
            ExitWarning);
  EXPECT_TRUE(contains(status(), formatted("Cannot create %s", shownAfterCreate("locked.txt"))));
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"Total errors: 1"});
  EXPECT_EQ(text(readFile(out + "/next.txt")), "next");
}

// A checked file that cannot be moved into place (its temporary taken over by a link
// meanwhile) is reported, and never shown as OK.
TEST_F(Loop, AFileThatCannotBeMovedIntoPlaceIsNotOk) {
  static std::string outside, folder;
  outside = temp / "outside.txt";
  folder = out;
  writeFile(outside, "outside");
  fakeHost.onItemText = [](int item, const char* text) {
    if (item != ItemStatus || strstr(text, "taken.txt") == nullptr) return;
    const char* name = outputTemporaryName();  // the engine's path: the name after the last separator
    std::string temporary = folder + "/" + (strrchr(name, '\\') != nullptr ? strrchr(name, '\\') + 1 : name);
    unlink(temporary.c_str());
    (void)symlink(outside.c_str(), temporary.c_str());
  };
  EXPECT_EQ(extract(archive(newArchive({file("taken.txt", "new"), file("next.txt", "next")}))), ExitWarning);
  EXPECT_FALSE(pathExists(out + "/taken.txt"));
  EXPECT_EQ(text(readFile(outside)), "outside");
  EXPECT_TRUE(contains(status(), formatted("Cannot create %s", shown("taken.txt"))));
  EXPECT_EQ(fakeHost.itemTexts(ItemResult), std::vector<std::string>{"Ok"});  // next.txt's
}

TEST_F(Loop, SolidArchiveDecodesEntriesItCannotWrite) {
  writeFile(out + "/locked.txt", "old");
  chmod((out + "/locked.txt").c_str(), 0444);
  Entry unknown = file("future.bin", "data of a later version");
  unknown.unpVer = 29;
  EXPECT_EQ(extract(archive(newArchive({file("locked.txt", "new"), unknown, file("next.txt", "next")},
                                       0x08))),
            ExitWarning);
  std::vector<std::string> lines = status();
  EXPECT_TRUE(contains(lines, formatted("Cannot create %s", shownAfterCreate("locked.txt"))));
  EXPECT_TRUE(contains(lines, formatted("Skipping    %-56s", "locked.txt")));
  EXPECT_TRUE(contains(lines, formatted("Skipping    %-56s", "future.bin")));
  EXPECT_FALSE(pathExists(out + "/future.bin"));
  EXPECT_EQ(text(readFile(out + "/next.txt")), "next");
  EXPECT_EQ(fakeHost.boxTexts(), (std::vector<std::string>{"future.bin: unknown method", "Total errors: 2"}));
}

TEST_F(Loop, UnknownVersionInAPlainArchiveIsSkipped) {
  Entry tooOld = file("old.bin", "x");
  tooOld.unpVer = 12;
  Entry tooNew = file("new.bin", "y");
  tooNew.unpVer = 21;
  Entry lowest = file("v13.txt", "13");
  lowest.unpVer = 13;
  EXPECT_EQ(extract(archive(newArchive({tooOld, tooNew, lowest, file("after.txt", "z")}))), ExitWarning);
  EXPECT_FALSE(pathExists(out + "/old.bin"));
  EXPECT_FALSE(pathExists(out + "/new.bin"));
  EXPECT_EQ(text(readFile(out + "/v13.txt")), "13");
  EXPECT_EQ(text(readFile(out + "/after.txt")), "z");
  EXPECT_EQ(fakeHost.boxTexts(), (std::vector<std::string>{"old.bin: unknown method", "new.bin: unknown method",
                                                           "Total errors: 2"}));
}

TEST_F(Loop, ExistingFolderSaysNothingAndCounts) {
  mkdir((out + "/there").c_str(), 0755);
  EXPECT_EQ(extract(archive(newArchive({folder("there")}))), 0);
  EXPECT_EQ(status().back(), "All OK");
  EXPECT_FALSE(contains(status(), formatted(statusCreating, "there")));
  EXPECT_TRUE(fakeHost.boxTexts().empty());
}

// A run that counted a failure never ends with "All OK".
TEST_F(Loop, UncreatableFolderIsOneErrorWithResultOne) {
  writeFile(out + "/blocker", "a file where a folder should be");
  EXPECT_EQ(extract(archive(newArchive({folder("blocker\\sub\\deeper"), file("a.txt", "a")}))), ExitWarning);
  std::vector<std::string> lines = status();
  EXPECT_TRUE(contains(lines, "Cannot create directory  blocker\\sub\\deeper"));
  EXPECT_FALSE(contains(lines, "All OK"));
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"Total errors: 1"});
}

TEST_F(Loop, FolderWhoseParentsCannotBeMadeIsReported) {
  // The link exists, so making the parents changes nothing, and the folder behind it
  // still cannot be made on the second attempt.
  ASSERT_EQ(symlink((temp.path + "/nowhere/at/all").c_str(), (out + "/dangling").c_str()), 0);
  EXPECT_EQ(extract(archive(newArchive({folder("dangling\\sub"), file("a.txt", "a")}))), ExitWarning);
  EXPECT_TRUE(contains(status(), "Cannot create directory  dangling\\sub"));
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"Total errors: 1"});
  EXPECT_FALSE(pathExists(temp.path + "/nowhere"));
}

TEST_F(Loop, NothingProcessedSaysNoFiles) {
  Entry label = file("LABEL", "");
  label.attr = 0x08;
  EXPECT_EQ(extract(archive(newArchive({label}))), ExitWarning);
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"No files"});
  EXPECT_FALSE(pathExists(out + "/LABEL"));

  resetEngineAndHost();
  std::string notArchive = archive(Bytes(5000, 'x'), "notes.txt");
  EXPECT_EQ(extract(notArchive), ExitWarning);
  EXPECT_EQ(fakeHost.boxTexts(),
            (std::vector<std::string>{formatted("%s is not RAR archive", notArchive), "No files"}));

  resetEngineAndHost();
  EXPECT_EQ(extract(temp / "missing.rar"), ExitWarning);
  EXPECT_EQ(fakeHost.boxTexts().back(), "No files");
}

TEST_F(Loop, OutputOntoACharacterDeviceEndsWithAWriteError) {
  // A null device of the test's own, so that nothing outside the test folder is at stake.
  std::string device = out + "/device";
  if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) GTEST_SKIP() << "cannot make a device node";
  std::string name = archive(newArchive({file("device", "to a device"), file("after.txt", "after")}));
  EXPECT_EXIT(
      {
        echoBoxes();
        extract(name);
      },
      ::testing::ExitedWithCode(ExitWrite), "Write error\nProgram aborted");
  // The device is not a partly written file: it stays, and nothing after it was made.
  struct stat info;
  ASSERT_EQ(stat(device.c_str(), &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  EXPECT_FALSE(pathExists(out + "/after.txt"));
}

TEST_F(Loop, EmbeddedArchiveIsFoundAndExtracted) {
  Bytes installer = embedded(newArchive({file("payload.txt", std::string(5000, 'p'))}));
  EXPECT_EQ(extract(archive(installer, "setup.exe")), 0);
  EXPECT_EQ(readFile(out + "/payload.txt").size(), 5000u);
  std::vector<HostEvent> progress = fakeHost.progress();
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress[0].message, (unsigned)ProgressSetRange);
  uint32_t maximum = (uint32_t)((uintptr_t)progress[0].lParam >> 16);
  EXPECT_EQ(maximum, (installer.size() - 167936) / 1024);
  EXPECT_EQ(progress[1].message, (unsigned)ProgressSetStep);
  EXPECT_LE(progress.back().wParam, maximum);
}

TEST_F(Loop, ManyEntriesMoveTheBarAtMostAThousandTimesAndEndItAtTheArchivesEnd) {
  std::vector<Entry> entries;
  for (int i = 0; i < 1501; i++) entries.push_back(file("f" + std::to_string(i), std::string(2000 + i % 7, 'x')));
  Bytes installer = embedded(newArchive(entries));
  EXPECT_EQ(extract(archive(installer, "setup.exe"), true), 0);
  std::vector<HostEvent> progress = fakeHost.progress();
  ASSERT_GE(progress.size(), 3u);
  uint32_t maximum = (uint32_t)((uintptr_t)progress[0].lParam >> 16);
  ASSERT_GT(maximum, 2000u);
  EXPECT_LE(progress.size(), 2u + 1001u);
  for (size_t i = 3; i < progress.size(); i++) EXPECT_GT(progress[i].wParam, progress[i - 1].wParam);
  EXPECT_EQ(progress.back().wParam, maximum) << "the walk ends at the end of the file";
}

TEST_F(Loop, SubBlocksAreSteppedOver) {
  Entry sub;
  sub.subBlock = true;
  sub.data = Bytes(40, 0xEE);
  EXPECT_EQ(extract(archive(newArchive({file("a.txt", "a"), sub, file("b.txt", "b")}))), 0);
  EXPECT_EQ(text(readFile(out + "/a.txt")), "a");
  EXPECT_EQ(text(readFile(out + "/b.txt")), "b");
}

TEST_F(Loop, WalkNeverGoesBackwards) {
  // The folder header starts at 20 + 38 and is 35 bytes long: its claimed packed data
  // (flag 0x8000 missing) begins at 20, the first entry's header. The walk ends there
  // instead of reading the same entries forever (the alarm ends a walk that loops).
  Entry strange = folder("dir");
  strange.noAddSize = true;
  strange.packSize = 58 + 35 - 20;
  std::string name = archive(newArchive({file("a.txt", "a"), strange, file("b.txt", "b")}));
  EXPECT_EXIT(
      {
        alarm(10);
        int result = extract(name);
        int extracting = 0;
        for (const std::string& line : status()) extracting += line == formatted(statusExtracting, shown("a.txt"));
        exit(result == 0 && extracting == 1 && status().back() == "All OK" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(text(readFile(out + "/a.txt")), "a");
  EXPECT_TRUE(pathExists(out + "/dir"));
}

TEST_F(Loop, EntryContinuedInAMissingVolumeIsOneError) {
  Entry split = folder("split");
  split.flags |= 0x02;
  EXPECT_EQ(extract(archive(newArchive({file("a.txt", "a"), split}))), ExitWarning);
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"Total errors: 1"});
}

TEST_F(Loop, NamesLeavingTheDestinationAreRefused) {
  std::string escape = "..\\..\\escaped.txt";  // one leading "..\" is dropped, one remains
  EXPECT_EQ(extract(archive(newArchive({file(escape, "bad"), file("ok.txt", "ok")}))), ExitWarning);
  EXPECT_FALSE(pathExists(temp.path + "/escaped.txt"));
  EXPECT_FALSE(pathExists(out + "/escaped.txt"));
  EXPECT_TRUE(contains(status(), formatted("Cannot create %s", shown("..\\escaped.txt"))));
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"Total errors: 1"});
  EXPECT_EQ(text(readFile(out + "/ok.txt")), "ok");
}

TEST_F(Loop, FolderNamesLeavingTheDestinationAreRefused) {
  EXPECT_EQ(extract(archive(newArchive({folder("a\\..\\..\\outside")}))), ExitWarning);
  EXPECT_FALSE(pathExists(temp.path + "/outside"));
  EXPECT_TRUE(contains(status(), formatted("Cannot create %s", shown("a\\..\\..\\outside"))));
  // Not counted as processed: nothing else was, so the run has no files.
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"No files"});
}

TEST_F(Loop, RefusedNamesInSolidArchivesAreStillDecoded) {
  std::string tooLong(300 - out.size(), 'n');
  EXPECT_EQ(extract(archive(newArchive({file("x\\..\\..\\up.txt", "u"), file(tooLong.substr(0, 250), "l"),
                                        file("last.txt", "last")},
                                       0x08))),
            ExitWarning);
  EXPECT_FALSE(pathExists(temp.path + "/up.txt"));
  EXPECT_TRUE(contains(status(), formatted("Skipping    %-56s", "x\\..\\..\\up.txt")));
  EXPECT_EQ(text(readFile(out + "/last.txt")), "last");
  EXPECT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"Total errors: 2"});
}

TEST_F(Loop, TestOnlyRunWritesNothingButChecksEverything) {
  Entry damaged = file("damaged.txt", "x");
  damaged.wrongChecksum = true;
  EXPECT_EQ(extract(archive(newArchive({folder("dir"), file("dir\\a.txt", "a"), damaged})), true), ExitCrc);
  EXPECT_FALSE(pathExists(out + "/dir"));
  EXPECT_FALSE(pathExists(out + "/damaged.txt"));
  EXPECT_EQ(fakeHost.itemTexts(ItemResult), std::vector<std::string>{"Ok"});
  EXPECT_EQ(fakeHost.boxTexts(),
            (std::vector<std::string>{formatted("%-20s : CRC failed", "damaged.txt"), "Total errors: 1"}));

  resetEngineAndHost();
  EXPECT_EQ(extract(archive(newArchive({file("a.txt", "a")}), "b.rar"), true), 0);
  EXPECT_FALSE(pathExists(out + "/a.txt"));
  EXPECT_EQ(status().back(), "All OK");
}

// Password questions. The entries are stored unencrypted but flagged as encrypted:
// decryption garbles them, which shows the encrypted entry's checksum message.
Entry flaggedEncrypted(const std::string& name) {
  Entry entry = file(name, "secret " + name);
  entry.flags = 0x04;
  return entry;
}

int questions() {
  int count = 0;
  for (const HostEvent& event : fakeHost.events)
    if (event.kind == HostEvent::Box && event.caption == "Password required.") count++;
  return count;
}

// Sizes of 2 GiB and more count down without overflow (the sanitizer build checks the
// arithmetic); the entries end with their packed data and fail their checksum, and no
// file is left behind.
TEST_F(Loop, EntriesClaimingTwoGibibytesOrMoreFailTheirChecksum) {
  Bytes junk;
  for (int i = 0; i < 3000; i++) junk.push_back((unsigned char)(i * 37 + (i >> 3)));
  for (uint32_t claimed : {0x80000000u, 0xFFFFFFFFu}) {
    for (uint8_t unpVer : {20, 15}) {
      for (uint8_t method : {0x30, 0x33}) {
        SCOPED_TRACE(std::to_string(claimed) + " bytes, version " + std::to_string(unpVer) + ", method " +
                     std::to_string(method));
        resetEngineAndHost();
        Entry entry = file("huge.bin", "");
        entry.data = junk;
        entry.unpSize = claimed;
        entry.unpVer = unpVer;
        entry.method = method;
        entry.wrongChecksum = true;  // a stored copy ends with the packed data, which would match
        EXPECT_EQ(extract(archive(newArchive({entry, file("after.txt", "after")}))), ExitCrc);
        EXPECT_FALSE(pathExists(out + "/huge.bin"));
        EXPECT_EQ(text(readFile(out + "/after.txt")), "after");
      }
    }
  }
}

TEST_F(Loop, EncryptedEntryWithAWrongPasswordFailsItsChecksum) {
  fakeHost.passwords.push_back(std::string("pw"));
  EXPECT_EQ(extract(archive(newArchive({flaggedEncrypted("e.txt")}))), ExitCrc);
  EXPECT_FALSE(pathExists(out + "/e.txt"));
  EXPECT_EQ(fakeHost.boxTexts().front(), "Encrypted file:  CRC failed in e.txt (password incorrect ?)");
  // The password asked for is wiped at the end.
  EXPECT_EQ(passwordText[0], 0);
}

TEST_F(Loop, EncryptedEntriesOfEveryCipherDecrypt) {
  fakeHost.passwords.push_back(std::string("Lumvard 2026"));
  std::string name = archive(newArchive({encrypted("v13.txt", "one-three", "Lumvard 2026", 13),
                                         encrypted("v15.txt", "one-five", "Lumvard 2026", 15),
                                         encrypted("v20.txt", std::string(70000, 'q'), "Lumvard 2026", 20)},
                                        0x08));
  EXPECT_EQ(extract(name), 0);
  EXPECT_EQ(text(readFile(out + "/v13.txt")), "one-three");
  EXPECT_EQ(text(readFile(out + "/v15.txt")), "one-five");
  EXPECT_EQ(text(readFile(out + "/v20.txt")), std::string(70000, 'q'));
  EXPECT_EQ(fakeHost.passwordRequests(), 1);

  resetEngineAndHost();
  fakeHost.passwords.push_back(std::string("old"));
  Entry old = encrypted("OLD.TXT", "old and encrypted", "old", 13);
  EXPECT_EQ(extract(archive(oldArchive({old}), "old.arc")), 0);
  EXPECT_EQ(text(readFile(out + "/OLD.TXT")), "old and encrypted");
}

TEST_F(Loop, AnsweringNoAsksForAnotherPassword) {
  fakeHost.passwords = {std::string("one"), std::string("two")};
  fakeHost.boxAnswers = {AnswerNo};
  EXPECT_EQ(extract(archive(newArchive({encrypted("1.txt", "first", "one"), encrypted("2.txt", "second", "two")}))),
            0);
  EXPECT_EQ(text(readFile(out + "/1.txt")), "first");
  EXPECT_EQ(text(readFile(out + "/2.txt")), "second");
}

TEST_F(Loop, NoThenCancelKeepsTheCurrentPassword) {
  fakeHost.passwords = {std::string("same"), std::nullopt};
  fakeHost.boxAnswers = {AnswerNo, AnswerYes};
  EXPECT_EQ(extract(archive(newArchive({encrypted("1.txt", "first", "same"), encrypted("2.txt", "second", "same"),
                                        encrypted("3.txt", "third", "same")}))),
            0);
  EXPECT_EQ(text(readFile(out + "/2.txt")), "second");
  EXPECT_EQ(text(readFile(out + "/3.txt")), "third");
  // The question came again for the third entry: No left the mode as it was.
  EXPECT_EQ(questions(), 2);
}

TEST_F(Loop, NonSolidArchiveAsksWhetherToKeepThePassword) {
  fakeHost.passwords.push_back(std::string("first"));
  fakeHost.passwords.push_back(std::nullopt);  // No, then the dialog is cancelled
  fakeHost.boxAnswers = {AnswerNo, AnswerYes};
  extract(archive(newArchive({flaggedEncrypted("1"), flaggedEncrypted("2"), flaggedEncrypted("3"),
                              flaggedEncrypted("4")})));
  EXPECT_EQ(fakeHost.passwordRequests(), 2);
  EXPECT_EQ(questions(), 2);  // for entries 2 and 3; Yes stops them
  for (const HostEvent& event : fakeHost.events) {
    if (event.caption != "Password required.") continue;
    EXPECT_EQ(event.style, (unsigned)(BoxYesNoCancel | BoxIconQuestion));
    EXPECT_TRUE(event.text == "2 - use current password ?" || event.text == "3 - use current password ?");
  }
}

TEST_F(Loop, SolidArchiveAsksOnceAndEachArchiveAsksAgain) {
  fakeHost.passwords = {std::string("one"), std::string("two")};
  Bytes solid = newArchive({flaggedEncrypted("1"), flaggedEncrypted("2"), flaggedEncrypted("3")}, 0x08);
  extract(std::vector<std::string>{archive(solid, "a.rar"), archive(solid, "b.rar")});
  EXPECT_EQ(fakeHost.passwordRequests(), 2);
  EXPECT_EQ(questions(), 0);
}

TEST_F(Loop, CancellingThePasswordEndsTheRunSilently) {
  std::string name = archive(newArchive({file("plain.txt", "p"), flaggedEncrypted("e.txt")}));
  EXPECT_EXIT(
      {
        echoBoxes();
        extract(name);
      },
      ::testing::ExitedWithCode(255), "^$");
  EXPECT_EXIT(
      {
        echoBoxes();
        fakeHost.passwords.push_back(std::string("pw"));
        fakeHost.boxAnswers.push_back(AnswerCancel);
        extract(archive(newArchive({flaggedEncrypted("1"), flaggedEncrypted("2")}), "b.rar"));
      },
      ::testing::ExitedWithCode(255), "use current password");
}

TEST_F(Loop, SolidSetWithoutItsFirstVolume) {
  Entry continued = file("rest.txt", "rest");
  continued.flags = 0x01;
  Bytes laterVolume = newArchive({continued}, 0x08 | 0x01);

  // Named .rar: nothing else is tried.
  std::string rarName = archive(laterVolume, "set.rar");
  EXPECT_EXIT(
      {
        echoBoxes();
        extract(rarName);
      },
      ::testing::ExitedWithCode(2), "^$");

  // Named .exe with no .rar beside it: the archive is not taken as its own first volume.
  std::string exeName = archive(laterVolume, "set2.exe");
  EXPECT_EXIT(extract(exeName), ::testing::ExitedWithCode(2), "");

  // With several archives the run goes on with the next one.
  std::string other = archive(newArchive({file("other.txt", "o")}), "other.rar");
  EXPECT_EQ(extract(std::vector<std::string>{rarName, other}), 0);
  EXPECT_TRUE(contains(status(), "ERROR: Solid archive. First volume required"));
  EXPECT_EQ(text(readFile(out + "/other.txt")), "o");
}

TEST_F(Loop, SolidSetRestartsFromItsFirstVolume) {
  Entry continued = file("rest.txt", "rest");
  continued.flags = 0x01;
  std::string later = archive(newArchive({continued}, 0x08 | 0x01), "set.exe");
  archive(newArchive({file("first.txt", "first")}, 0x08 | 0x01), "set.rar");
  EXPECT_EQ(extract(later), 0);
  EXPECT_EQ(text(readFile(out + "/first.txt")), "first");
  EXPECT_FALSE(pathExists(out + "/rest.txt"));
}

}  // namespace
