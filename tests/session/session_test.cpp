#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "archive/reader.h"
#include "extract/output_files.h"
#include "extract/session.h"
#include "platform/posix/signals_posix.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace {

class Session : public ::testing::Test {
 protected:
  void SetUp() override { resetEngineAndHost(); }
  void TearDown() override { resetEngineForTests(); }
};

// Death tests report what the dying child saw on stderr; the box texts go there.
void echoBoxes() { fakeHost.echoToStderr = true; }

TEST_F(Session, MessagesGoWhereTheirTargetSays) {
  showMessage(TargetInfo, "info %d", 1);
  showMessage(TargetStatus, "status %s", "two");
  showMessage(TargetResult, "result");
  showMessage(4, "dropped");
  showMessage(17, "dropped too");
  showMessage(TargetBox, "box %s", "text");
  ASSERT_EQ(fakeHost.events.size(), 4u);
  EXPECT_EQ(fakeHost.itemTexts(ItemInfo), std::vector<std::string>{"info 1"});
  EXPECT_EQ(fakeHost.itemTexts(ItemStatus), std::vector<std::string>{"status two"});
  EXPECT_EQ(fakeHost.itemTexts(ItemResult), std::vector<std::string>{"result"});
  ASSERT_EQ(fakeHost.boxTexts(), std::vector<std::string>{"box text"});
  EXPECT_EQ(fakeHost.events.back().caption, "Advanced Lumvard");
  EXPECT_EQ(fakeHost.events.back().style, (unsigned)BoxOk);
}

TEST_F(Session, MessageIdsLoadTheirTextAndLongArgumentsAreCut) {
  showMessageId(TargetBox, 23, "C:\\archive.exe");
  EXPECT_EQ(fakeHost.boxTexts().at(0), "C:\\archive.exe is not RAR archive");

  std::string longName(2000, 'x');
  showMessageId(TargetStatus, 34, longName.c_str());
  std::string shown = fakeHost.itemTexts(ItemStatus).at(0);
  EXPECT_EQ(shown.size(), 511u);
  EXPECT_EQ(shown.substr(0, 14), "Cannot create ");
}

TEST_F(Session, FatalErrorShowsTextAndAbortNoticeAndExits) {
  echoBoxes();
  EXPECT_EXIT(fatalError(WriteError, ExitWrite), ::testing::ExitedWithCode(5),
              "\nWrite error\nProgram aborted\n");
  // 4 is the open error and 7 the seek error: the string ids are not in order.
  EXPECT_EXIT(fatalError(OpenError, 2), ::testing::ExitedWithCode(2), "File open error");
  EXPECT_EXIT(fatalError(SeekError, 2), ::testing::ExitedWithCode(2), "Seek error");
  EXPECT_EXIT(fatalError(MemoryError, ExitMemory), ::testing::ExitedWithCode(8),
              "Not enough memory");
}

// Registered with atexit inside a dying child: tells on stderr whether the password
// was wiped before the process ended.
void reportPasswordAtExit() {
  bool wiped = true;
  for (char byte : passwordText) wiped = wiped && byte == 0;
  fputs(wiped ? "password wiped\n" : "password kept\n", stderr);
}

TEST_F(Session, SilentFatalErrorShowsNothing) {
  // Any box would be echoed on stderr; a silent end leaves it empty.
  EXPECT_EXIT(
      {
        echoBoxes();
        fatalError(SilentError, ExitUserBreak);
      },
      ::testing::ExitedWithCode(255), "^$");
}

int filesIn(const std::string& folder) {
  int count = 0;
  DIR* listing = opendir(folder.c_str());
  while (struct dirent* entry = listing != nullptr ? readdir(listing) : nullptr)
    count += entry->d_name[0] != '.';
  if (listing != nullptr) closedir(listing);
  return count;
}

// The output being written, in the session as the extraction loop keeps it: its
// temporary file open and named in currentOutputName.
void startOutput(const std::string& target) {
  char path[PathCapacity];
  snprintf(path, sizeof path, "%s", target.c_str());
  int outcome;
  session.outputFile = createOutputFile(path, &outcome);
  strcpy(session.currentOutputName, outputTemporaryName());
}

TEST_F(Session, FatalErrorDeletesThePartlyWrittenFileAndWipesThePassword) {
  TempDir dir;
  std::string target = dir / "target.bin";
  std::string kept = dir / "kept.bin";
  writeFile(kept, std::string("untouched"));
  writeFile(target, std::string("previous"));
  echoBoxes();
  EXPECT_EXIT(
      {
        strcpy(passwordText, "secret");
        startOutput(target);
        fputs("half", session.outputFile);
        archiveReader.archiveFile = fopen(kept.c_str(), "rb");
        atexit(reportPasswordAtExit);
        fatalError(ReadError, ExitFatal);
      },
      ::testing::ExitedWithCode(2), "Read error.*password wiped");
  EXPECT_EQ(filesIn(dir.path), 2) << "the partly written file is gone";
  EXPECT_EQ(readFile(target).size(), 8u) << "what it was to replace is whole";
  EXPECT_TRUE(pathExists(kept));

  // Between files nothing is deleted.
  EXPECT_EXIT(fatalError(ReadError, ExitFatal), ::testing::ExitedWithCode(2), "");
  EXPECT_TRUE(pathExists(kept));
}

TEST_F(Session, ShutdownWipesThePasswordAndClosesFiles) {
  TempDir dir;
  strcpy(passwordText, "secret");
  startOutput(dir / "out.bin");
  addName(&session.masks, "*.*");
  shutdownSession(FreeMemory);  // memory only: the file stays open and in place
  for (char byte : passwordText) ASSERT_EQ(byte, 0);
  EXPECT_NE(session.outputFile, nullptr);
  EXPECT_EQ(filesIn(dir.path), 1);
  EXPECT_EQ(session.masks.count, 0);

  shutdownSession(CloseFiles);
  EXPECT_EQ(session.outputFile, nullptr);
  EXPECT_EQ(filesIn(dir.path), 0);
}

TEST_F(Session, SignalsEndWithUserBreak) {
  echoBoxes();
  EXPECT_EXIT(onSignal(2), ::testing::ExitedWithCode(255), "User break");
  EXPECT_EXIT(
      {
        onSignal(15);
      },
      ::testing::ExitedWithCode(255), "^$");
}

TEST_F(Session, RaisedSignalsReachTheHandlerUnlessInheritedAsIgnored) {
  TempDir dir;
  std::string archive = dir / "a.rar";
  writeFile(archive, std::string("not an archive"));
  EXPECT_EXIT(
      {
        signal(SIGINT, SIG_DFL);  // not as this test run may have inherited it
        echoBoxes();
        runExtraction(nullptr, archive.c_str(), dir.path.c_str());
        raise(SIGINT);
        // The handler only notes it (it may have interrupted malloc or stdio); the
        // run ends at the engine's next look.
        fputs("noted\n", stderr);
        servicePendingSignal();
        _exit(0);
      },
      ::testing::ExitedWithCode(255), "noted.*User break");
  EXPECT_EXIT(
      {
        signal(SIGTERM, SIG_IGN);
        runExtraction(nullptr, archive.c_str(), dir.path.c_str());
        raise(SIGTERM);
        servicePendingSignal();
        _exit(7);
      },
      ::testing::ExitedWithCode(7), "");
  // A signal landing between the question and the wait for its answer still ends the
  // run, and the answer is not waited for (the alarm fails the test if it is).
  EXPECT_EXIT(
      {
        int neverAnswered[2];
        if (pipe(neverAnswered) != 0 || dup2(neverAnswered[0], STDIN_FILENO) < 0) _exit(3);
        signal(SIGINT, SIG_DFL);
        echoBoxes();
        runExtraction(nullptr, archive.c_str(), dir.path.c_str());
        alarm(10);
        raise(SIGINT);
        char answer[8];
        readLineUnlessSignalled(answer, sizeof answer);
        _exit(0);
      },
      ::testing::ExitedWithCode(255), "User break");
}

TEST_F(Session, SetupAppendsRarOnlyWhenTheNameHasNoDotAndNamesNothing) {
  TempDir dir;
  setupSession((dir / "payload").c_str(), "C:\\Target");
  EXPECT_EQ(std::string(session.archiveName), dir / "payload.rar");
  EXPECT_EQ(std::string(session.destination), "C:\\Target\\");
  ASSERT_EQ(session.masks.count, 1);
  EXPECT_STREQ(session.masks.storage, "*.*");

  resetEngineAndHost();
  writeFile(dir / "payload", std::string("x"));
  setupSession((dir / "payload").c_str(), "C:\\");
  EXPECT_EQ(std::string(session.archiveName), dir / "payload");
  EXPECT_EQ(std::string(session.destination), "C:\\\\");  // a root ends in two
  EXPECT_EQ(session.archivesFound, 1);

  // A dot in a folder does not count; a dot in the last component does.
  resetEngineAndHost();
  setupSession((dir / "x.d/payload").c_str(), "D:");
  EXPECT_EQ(std::string(session.archiveName), dir / "x.d/payload.rar");
  resetEngineAndHost();
  setupSession((dir / "payload.bin").c_str(), "D:");
  EXPECT_EQ(std::string(session.archiveName), dir / "payload.bin");
  EXPECT_EQ(session.archivesFound, 0);
}

TEST_F(Session, SetupKeepsNamesAndDestinationInsideTheirFields) {
  std::string longPath(400, 'a');
  setupSession(longPath.c_str(), longPath.c_str());
  EXPECT_EQ(strlen(session.archiveName), 259u);
  EXPECT_EQ(strlen(session.destination), 259u);
  EXPECT_EQ(session.destination[258], '\\');
}

}  // namespace
