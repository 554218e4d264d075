// lumvard-extract on a terminal (a pseudo-terminal here): the password prompt without
// echo, the [y/n/c] question, the progress bar, and a terminal left as it was found.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_archive.h"

using namespace testarchive;
using namespace clitest;

namespace {

class Terminal : public Cli {
 protected:
  int master = -1;
  pid_t child = -1;
  std::string screen;  // everything the program wrote to the terminal so far

  void TearDown() override {
    if (child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
    if (master >= 0) close(master);
  }

  // stdoutFile, when given, takes stdout instead of the terminal.
  void start(const std::vector<std::string>& arguments, std::string program = binary(),
             const std::string& stdoutFile = "") {
    child = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
      unsetenv("LUMVARD_PASSWORD");
      // As from a shell on a terminal, whatever the test run inherited (a run started in
      // the background ignores the interrupt and the quit key, and the program keeps that).
      signal(SIGINT, SIG_DFL);
      signal(SIGQUIT, SIG_DFL);
      if (!stdoutFile.empty()) dup2(open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      std::vector<char*> argv;
      argv.push_back(program.data());
      std::vector<std::string> copies = arguments;
      for (std::string& argument : copies) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(121);
    }
  }

  // Reads what the program writes until `wanted` shows up (true) or it stays silent
  // for ten seconds or closes the terminal (false).
  bool waitFor(const std::string& wanted) {
    while (screen.find(wanted) == std::string::npos) {
      struct pollfd poller = {master, POLLIN, 0};
      if (poll(&poller, 1, 10000) <= 0) return false;
      char buffer[4096];
      ssize_t got = read(master, buffer, sizeof buffer);
      if (got <= 0) return false;
      screen.append(buffer, (size_t)got);
    }
    return true;
  }

  void type(const std::string& keys) { ASSERT_EQ(write(master, keys.data(), keys.size()), (ssize_t)keys.size()); }

  bool echoing() {
    struct termios settings;
    return tcgetattr(master, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  }

  // The prompt is written before echo goes off: give the program a moment.
  bool turnsQuiet() {
    for (int i = 0; i < 500 && echoing(); i++) usleep(10000);
    return !echoing();
  }

  // The lines a reader sees at the end: a carriage return starts over at the left, so
  // what a line ends with is the text drawn over it.
  std::vector<std::string> visibleLines() {
    std::vector<std::string> lines(1);
    size_t column = 0;
    for (char c : screen) {
      if (c == '\n') {
        lines.push_back("");
        column = 0;
      } else if (c == '\r') {
        column = 0;
      } else {
        std::string& line = lines.back();
        if (column < line.size()) line[column] = c; else line += c;
        column++;
      }
    }
    for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
    return lines;
  }

  // The exit code, or -1 when the program is killed by a signal or still runs ten
  // seconds after it fell silent (killed then, so that no test waits forever).
  int finish() {
    waitFor("\x04never");  // collects the rest of the output until the terminal closes
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 1000 && (ended = waitpid(child, &status, WNOHANG)) == 0; i++) usleep(10000);
    if (ended == 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    }
    child = -1;
    if (ended == 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(Terminal, PasswordIsAskedWithoutEchoAndTheQuestionTakesAnAnswer) {
  std::string exe = archive(embedded(newArchive({encrypted("a.txt", "alpha", "pw"), encrypted("b.txt", "beta", "pw"),
                                                 file("c.bin", std::string(300000, 'c'))})),
                            "setup.exe");
  start({exe, out});
  ASSERT_TRUE(waitFor("Enter password: ")) << screen;
  EXPECT_TRUE(turnsQuiet());
  type("pw\n");
  ASSERT_TRUE(waitFor("lumvard-extract: b.txt - use current password ? [y/n/c] ")) << screen;
  EXPECT_TRUE(echoing());
  type("y\n");
  EXPECT_EQ(finish(), 0) << screen;
  EXPECT_EQ(text(readFile(out + "/a.txt")), "alpha");
  EXPECT_EQ(text(readFile(out + "/b.txt")), "beta");
  EXPECT_EQ(screen.find("pw\r\n"), std::string::npos) << screen;
  // The payload lies inside an executable, so the bar moves, up to its end.
  EXPECT_TRUE(has(screen, "] 100%")) << screen;
  EXPECT_TRUE(has(screen, "All OK")) << screen;
  // The bar is redrawn in place and erased at the end: no line keeps it.
  for (const std::string& line : visibleLines()) EXPECT_FALSE(has(line, "%")) << line;
}

TEST_F(Terminal, ProgressBarNeedsOnlyStderrOnATerminal) {
  std::string exe = archive(embedded(newArchive({file("a.bin", std::string(300000, 'a')), file("b.txt", "b")})),
                            "setup.exe");
  std::string log = temp / "status.txt";
  start({exe, out}, binary(), log);
  EXPECT_EQ(finish(), 0) << screen;
  EXPECT_TRUE(has(screen, "] 100%")) << screen;
  EXPECT_FALSE(has(screen, "Extracting")) << screen;
  std::string status = text(readFile(log));
  EXPECT_TRUE(has(status, "Extracting  b.txt")) << status;
  EXPECT_FALSE(has(status, "%]")) << status;

  // -q: problems only, and no bar either.
  close(master);
  master = -1;
  screen.clear();
  start({"-q", exe, temp / "quiet"}, binary(), log);
  EXPECT_EQ(finish(), 0) << screen;
  EXPECT_EQ(screen, "");
  EXPECT_EQ(text(readFile(log)), "");
}

TEST_F(Terminal, CancelInTheQuestionEndsWith255) {
  // "c" cancels; the interrupt key ends the run as a break while the question waits,
  // rather than after it or taken for an answer.
  struct Case {
    const char* keys;
    bool userBreak;
  } cases[] = {{"c\n", false}, {"\x03", true}};
  std::string name = archive(newArchive({encrypted("a.txt", "alpha", "pw"), encrypted("b.txt", "beta", "pw")}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    if (master >= 0) close(master);
    master = -1;
    screen.clear();
    std::string target = out + (c.userBreak ? "-break" : "-cancel");
    start({"--password", "pw", name, target});
    ASSERT_TRUE(waitFor("[y/n/c] ")) << screen;
    type(c.keys);
    EXPECT_EQ(finish(), 255) << screen;
    EXPECT_FALSE(pathExists(target + "/b.txt"));
    EXPECT_EQ(has(screen, "User break"), c.userBreak) << screen;
  }
}

TEST_F(Terminal, BreakAtThePasswordPromptLeavesTheTerminalEchoing) {
  start({archive(newArchive({encrypted("a.txt", "alpha", "pw")})), out});
  ASSERT_TRUE(waitFor("Enter password: ")) << screen;
  EXPECT_TRUE(turnsQuiet());
  type("\x03");  // the interrupt key
  EXPECT_EQ(finish(), 255) << screen;
  EXPECT_TRUE(has(screen, "User break")) << screen;
  EXPECT_TRUE(echoing());
}

TEST_F(Terminal, PackerShowsItsProgressBarOnATerminalOnly) {
  std::string in = temp / "in";
  ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
  writeFile(in + "/a.txt", std::string(200000, 'a'));
  std::string pack = builtProgram("pack/lumvard-pack", LUMVARD_PACK_BINARY);
  start({"-C", in, "-o", temp / "a.rar", "."}, pack);
  EXPECT_EQ(finish(), 0) << screen;
  EXPECT_TRUE(has(screen, "[########################################] 100%")) << screen;
  Outcome piped = runProgram(pack, {"-C", in, "-o", temp / "b.rar", "."}, temp.path);
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
}

// --encrypt asks twice without echo; answers that differ, or an interrupt, write no
// archive, and the terminal echoes again afterwards.
TEST_F(Terminal, PackerAsksTheEncryptPasswordTwiceWithoutEcho) {
  std::string in = temp / "in";
  ASSERT_EQ(mkdir(in.c_str(), 0755), 0);
  writeFile(in + "/a.txt", std::string("alpha"));
  std::string pack = builtProgram("pack/lumvard-pack", LUMVARD_PACK_BINARY);
  const struct {
    const char* first;
    const char* second;
    int status;
    const char* said;
  } cases[] = {{"pw\n", "pw\n", 0, "1 entries"}, {"pw\n", "px\n", 1, "the passwords typed differ"},
               {"\x03", nullptr, -1, ""}};
  for (const auto& c : cases) {
    std::string archive = temp / "e.rar";
    screen.clear();
    start({"--encrypt", "-C", in, "-o", archive, "."}, pack);
    ASSERT_TRUE(waitFor("Enter password: ")) << screen;
    EXPECT_TRUE(turnsQuiet());
    type(c.first);
    if (c.second != nullptr) {
      ASSERT_TRUE(waitFor("Enter it again: ")) << screen;
      type(c.second);
    }
    EXPECT_EQ(finish(), c.status) << screen;
    EXPECT_TRUE(echoing());
    close(master);
    master = -1;
    EXPECT_TRUE(has(screen, c.said)) << screen;
    EXPECT_FALSE(has(screen, "pw\r")) << screen;
    EXPECT_EQ(pathExists(archive), c.status == 0);
    if (c.status != 0) continue;
    Outcome right = runProgram(binary(), {"-p", "pw", archive, temp / "e"}, temp.path);
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(text(readFile(temp / "e/a.txt")), "alpha");
    unlink(archive.c_str());
  }
}

}  // namespace
