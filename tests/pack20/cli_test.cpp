// lumvard-pack end to end: archives it writes are extracted by lumvard-extract and
// compared with the inputs; its refusals leave no archive behind.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "tests/pack20/test_data.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

using namespace pack20test;

namespace {

typedef ProgramOutcome Outcome;

// Every file and folder below root, with contents ("/" marks a folder).
void listTree(const std::string& root, const std::string& prefix, std::map<std::string, Bytes>* out) {
  DIR* d = opendir((root + "/" + prefix).c_str());
  if (d == nullptr) return;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string rel = prefix.empty() ? name : prefix + "/" + name;
    struct stat st;
    stat((root + "/" + rel).c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      (*out)[rel + "/"] = Bytes();
      listTree(root, rel, out);
    } else {
      (*out)[rel] = readFile(root + "/" + rel);
    }
  }
  closedir(d);
}

class Pack20Cli : public ::testing::Test {
 protected:
  TempDir temp;
  std::string input = temp / "in";

  void SetUp() override { mkdir(input.c_str(), 0755); }

  void put(const std::string& name, const Bytes& bytes) {
    std::string path = input + "/" + name;
    for (size_t at = path.find('/', input.size() + 1); at != std::string::npos; at = path.find('/', at + 1))
      mkdir(path.substr(0, at).c_str(), 0755);
    writeFile(path, bytes);
  }

  Outcome pack(std::vector<std::string> arguments, const char* environmentPassword = nullptr) {
    return runProgram(builtProgram("pack/lumvard-pack"), arguments, temp.path, environmentPassword);
  }

  Outcome extract(const std::string& archive, const std::string& destination, const std::string& password = "") {
    std::vector<std::string> arguments;
    if (!password.empty()) arguments = {"--password", password};
    arguments.push_back(archive);
    arguments.push_back(destination);
    return runProgram(builtProgram("cli/lumvard-extract"), arguments, temp.path);
  }

  void expectSameTree(const std::string& a, const std::string& b) {
    std::map<std::string, Bytes> left, right;
    listTree(a, "", &left);
    listTree(b, "", &right);
    ASSERT_EQ(left.size(), right.size());
    for (auto& [name, bytes] : left) {
      ASSERT_TRUE(right.count(name)) << name << " missing";
      EXPECT_TRUE(bytes == right[name]) << name << " differs";
    }
  }

  size_t sizeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (size_t)st.st_size : 0;
  }
};

}  // namespace

TEST_F(Pack20Cli, EveryKindOfInputRoundTripsSolidAndNotWithAndWithoutPassword) {
  put("readme.txt", text(60000, 1));
  put("bin/tool.exe", structured(50000, 2));
  put("bin/noise.dat", noise(30000, 3));
  put("bin/empty", Bytes());
  put("big/window.dat", text(1100000, 4));  // larger than the window
  for (int i = 0; i < 40; i++) put("small/f" + std::to_string(i) + ".txt", text(50 + i * 13, 10 + i % 3));
  put("media/m8.wav", wav(8, 1, 6000));
  put("media/s8.wav", wav(8, 2, 4000));
  put("media/m16.wav", wav(16, 1, 4000));
  put("media/s16.wav", wav(16, 2, 3000));
  put("media/pic.bmp", bmp24(50, 30));
  mkdir((input + "/empty-folder").c_str(), 0755);
  struct Case {
    std::vector<std::string> options;
    std::string password;
  };
  const Case cases[] = {{{}, ""},
                        {{"--no-solid"}, ""},
                        {{"--password", "s3cret"}, "s3cret"},
                        {{"--no-solid", "--password", "pw"}, "pw"},
                        {{"--method", "store", "--password", "x"}, "x"},
                        {{"--level", "1", "--threads", "3"}, ""},
                        {{"--level", "5", "--no-solid"}, ""},
                        {{"--order", "name", "--level", "2"}, ""},
                        {{"--method", "1.5", "--password", "pw"}, "pw"},
                        {{"--format", "old", "--password", "pw"}, "pw"},
                        {{"--encrypt", "--level", "1"}, "from the environment"}};
  int index = 0;
  for (const Case& c : cases) {
    std::string archive = temp / ("a" + std::to_string(index) + ".rar");
    std::string out = temp / ("out" + std::to_string(index++));
    std::vector<std::string> arguments = c.options;
    for (const char* a : {"-C", input.c_str(), "-o", archive.c_str(), "."}) arguments.push_back(a);
    bool fromEnvironment = !c.options.empty() && c.options[0] == "--encrypt";
    Outcome p = pack(arguments, fromEnvironment ? c.password.c_str() : nullptr);
    ASSERT_EQ(p.status, 0) << p.err;
    Outcome x = extract(archive, out, c.password);
    ASSERT_EQ(x.status, 0) << x.err;
    expectSameTree(input, out);
    if (!c.password.empty()) {
      Outcome wrong = extract(archive, temp / "wrong", c.password + "!");
      EXPECT_EQ(wrong.status, 3) << wrong.err;
    }
  }
  // Compressed is smaller than stored, and solid smaller than not.
  EXPECT_LT(sizeOf(temp / "a0.rar"), sizeOf(temp / "a1.rar"));
  EXPECT_LT(sizeOf(temp / "a1.rar") * 2, sizeOf(temp / "a4.rar"));
  // The input spans more than one piece of the compressor: the archive is the same
  // byte for byte with 1 and 4 threads.
  std::string one = temp / "one.rar", four = temp / "four.rar";
  ASSERT_EQ(pack({"--mtime", "2024-01-02T03:04:06", "--threads", "1", "-C", input, "-o", one, "."}).status, 0);
  ASSERT_EQ(pack({"--mtime", "2024-01-02T03:04:06", "--threads", "4", "-C", input, "-o", four, "."}).status, 0);
  EXPECT_TRUE(readFile(one) == readFile(four));
}

TEST_F(Pack20Cli, MultimediaModeShrinksSoundAndPictures) {
  put("s16.wav", wav(16, 2, 6000));
  put("m8.wav", wav(8, 1, 8000));
  put("pic.bmp", bmp24(80, 50));
  std::string on = temp / "on.rar", off = temp / "off.rar";
  ASSERT_EQ(pack({"-C", input, "-o", on, "."}).status, 0);
  ASSERT_EQ(pack({"--multimedia", "off", "-C", input, "-o", off, "."}).status, 0);
  EXPECT_LT(sizeOf(on) * 10, sizeOf(off) * 8);
  ASSERT_EQ(extract(on, temp / "out").status, 0);
  expectSameTree(input, temp / "out");
}

TEST_F(Pack20Cli, PathsAreStoredAsGivenAndTimesCanBeFixed) {
  put("docs/a.txt", text(3000, 1));
  put("docs/sub/b.txt", text(2000, 2));
  put("c.txt", text(100, 3));
  chmod((input + "/c.txt").c_str(), 0444);
  std::string first = temp / "1.rar", second = temp / "2.rar";
  ASSERT_EQ(pack({"--mtime", "2024-05-06T07:08:10", "-C", input, "-o", first, "./docs/sub", "c.txt"}).status, 0);
  // Other modification times, same stamp: the same bytes.
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, (input + "/c.txt").c_str(), times, 0);
  ASSERT_EQ(pack({"--mtime", "2024-05-06T07:08:10", "-C", input, "-o", second, "./docs/sub", "c.txt"}).status, 0);
  EXPECT_TRUE(readFile(first) == readFile(second));
  EXPECT_EQ(pack({"--mtime", "2024-02-29T23:59:58", "-C", input, "-o", temp / "leap.rar", "c.txt"}).status, 0);

  std::string out = temp / "out";
  ASSERT_EQ(extract(first, out).status, 0);
  std::map<std::string, Bytes> tree;
  listTree(out, "", &tree);
  EXPECT_EQ(tree.size(), 4u);  // docs/, docs/sub/, docs/sub/b.txt, c.txt
  EXPECT_TRUE(tree.count("docs/sub/b.txt"));
  struct stat st;
  ASSERT_EQ(stat((out + "/c.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);  // read-only came along
  struct tm local;
  localtime_r(&st.st_mtime, &local);
  EXPECT_EQ(local.tm_year + 1900, 2024);
  EXPECT_EQ(local.tm_mon + 1, 5);
  EXPECT_EQ(local.tm_mday, 6);
  EXPECT_EQ(local.tm_hour, 7);
  EXPECT_EQ(local.tm_min, 8);
  EXPECT_EQ(local.tm_sec, 10);

  // --exclude: "./" before and '/' after a pattern are dropped; names match with case.
  std::string some = temp / "some";
  ASSERT_EQ(pack({"--exclude", "./sub/", "--exclude", "*.TXT", "-C", input, "-o", temp / "ex.rar", "."}).status, 0);
  ASSERT_EQ(extract(temp / "ex.rar", some).status, 0);
  tree.clear();
  listTree(some, "", &tree);
  EXPECT_EQ(tree.size(), 3u);  // docs/, docs/a.txt, c.txt
  EXPECT_TRUE(tree.count("docs/a.txt") && tree.count("c.txt"));
}

TEST_F(Pack20Cli, RefusalsExplainAndLeaveNoArchive) {
  put("ok.txt", text(100, 1));
  put("caf\xC3\xA9.txt", text(100, 1));
  std::string archive = temp / "x.rar";
  ASSERT_EQ(mkfifo((temp / "pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink("pipe", (temp / "pipe-link").c_str()), 0);
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"--bogus", "-o", archive, "ok.txt"}, 64, "unknown option"},
      {{"ok.txt"}, 64, "no OUTPUT given"},
      {{"-o", archive}, 64, "no INPUT given"},
      {{"-x", "-o", archive, "ok.txt"}, 64, "unknown option '-x'\nTry 'lumvard-pack --help'"},
      {{"-o", archive, "ok.txt", "--password"}, 64, "option '--password' needs a value"},
      {{"-o", "-", "ok.txt"}, 64, "not written to standard output"},
      {{"-o", archive, "-"}, 64, "'-' is not read"},
      {{"--mtime", "2024-05-06T07:08", "-o", archive, "ok.txt"}, 64, "--mtime"},
      {{"--mtime", "@99", "-o", archive, "ok.txt"}, 64, "--mtime"},
      {{"--mtime", "2024-05-06x", "-o", archive, "ok.txt"}, 64, "--mtime"},
      {{"-C", temp / "nope", "-o", archive, "ok.txt"}, 1, "cannot enter " + temp / "nope" + ": No such file"},
      {{"-o", temp.path, "ok.txt"}, 1, "cannot write " + temp.path + ": Is a directory"},
      {{"-o", temp / "no/such/x.rar", "ok.txt"}, 1, "folder " + temp / "no/such" + ": No such file"},
      {{"-o", archive, "gone1", "ok.txt", "gone2"}, 1, "gone1: No such file or directory\nlumvard-pack: gone2: No"},
      {{"--method", "9.9", "-o", archive, "ok.txt"}, 64, "unknown method"},
      {{"--multimedia", "maybe", "-o", archive, "ok.txt"}, 64, "--multimedia"},
      {{"--mtime", "2024-13-01T00:00:00", "-o", archive, "ok.txt"}, 64, "--mtime"},
      {{"--mtime", "1979-12-31T23:59:59", "-o", archive, "ok.txt"}, 64, "--mtime"},
      {{"--mtime", "2023-02-29T12:00:00", "-o", archive, "ok.txt"}, 64, "--mtime"},
      {{"--mtime", "2024-04-31T12:00:00", "-o", archive, "ok.txt"}, 64, "--mtime"},
      {{"--codepage", "abc", "-o", archive, "ok.txt"}, 64, "--codepage"},
      {{"--exclude", ".//", "-o", archive, "ok.txt"}, 64, "--exclude wants a pattern"},
      {{"--level", "0", "-o", archive, "ok.txt"}, 64, "--level"},
      {{"--order", "size", "-o", archive, "ok.txt"}, 64, "unknown order size"},
      // No password in the environment and no terminal to ask on.
      {{"--encrypt", "-o", archive, "ok.txt"}, 64, "--encrypt takes the password from LUMVARD_PASSWORD"},
      {{"--encrypt", "--password", "pw", "-o", archive, "ok.txt"}, 64, "give one of them"},
      {{"--level", "6", "-o", archive, "ok.txt"}, 64, "--level"},
      {{"--threads", "0", "-o", archive, "ok.txt"}, 64, "--threads"},
      {{"--threads", "2x", "-o", archive, "ok.txt"}, 64, "--threads"},
      {{"--codepage", "99999", "-o", archive, "ok.txt"}, 64, "--codepage"},
      {{"--codepage", "12345", "-o", archive, "ok.txt"}, 1, "code page"},
      {{"--codepage", "932", "-o", archive, "ok.txt"}, 1, "code page"},
      {{"-o", archive, "missing.txt"}, 1, "missing.txt"},
      {{"-o", archive, "/etc/hostname"}, 1, "absolute"},
      {{"-o", archive, "../in/ok.txt"}, 1, ".."},
      {{"--codepage", "1251", "-o", archive, "."}, 1, "code page"},
      {{"-C", "", "-o", archive, "ok.txt"}, 64, "--directory wants a folder"},
      // A pipe or device at OUTPUT is not replaced by a file (a link to one neither).
      {{"-o", temp / "pipe", "ok.txt"}, 1, "cannot write " + temp / "pipe" + ": not a regular file"},
      {{"-o", temp / "pipe-link", "ok.txt"}, 1, "pipe-link: not a regular file"},
      // An input named on the command line that is the output itself.
      {{"-o", input + "/ok.txt", "ok.txt", "caf\xC3\xA9.txt"}, 1, "ok.txt: the output archive itself"},
      // Met in a folder, an output that is no archive is a file the user would lose.
      {{"-o", input + "/ok.txt", "."}, 1, "ok.txt: not an archive, and the output would replace it"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"-C", input};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    Outcome r = pack(arguments);
    EXPECT_EQ(r.status, c.status) << c.message << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(pathExists(archive)) << c.message;
  }
  EXPECT_EQ(readFile(input + "/ok.txt"), text(100, 1));
  // An earlier archive there is left out and replaced.
  std::string inside = input + "/earlier.rar", unpacked = temp / "rerun";
  ASSERT_EQ(pack({"-C", input, "-o", inside, "ok.txt"}).status, 0);
  ASSERT_EQ(pack({"-C", input, "-o", inside, "."}).status, 0);
  ASSERT_EQ(extract(inside, unpacked).status, 0);
  std::map<std::string, Bytes> again;
  listTree(unpacked, "", &again);
  EXPECT_TRUE(again.count("ok.txt") && !again.count("earlier.rar"));
  unlink(inside.c_str());
  struct stat pipe;
  EXPECT_TRUE(lstat((temp / "pipe").c_str(), &pipe) == 0 && S_ISFIFO(pipe.st_mode));
  unlink((temp / "pipe").c_str());  // the listing below reads every file
  // A failure keeps an existing archive as it was, and leaves no temporary file.
  writeFile(archive, std::string("previous"));
  EXPECT_EQ(pack({"-C", input, "-o", archive, "ok.txt", "missing.txt"}).status, 1);
  Bytes kept = readFile(archive);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous");
  std::map<std::string, Bytes> tree;
  listTree(temp.path, "", &tree);
  for (auto& [name, bytes] : tree) EXPECT_EQ(name.find("x.rar."), std::string::npos) << name;
  // A complete archive takes the place of the old one with its permissions: one made
  // private stays private.
  for (mode_t mode : {0600, 0640, 0755}) {
    chmod(archive.c_str(), mode);
    EXPECT_EQ(pack({"-C", input, "-o", archive, "ok.txt"}).status, 0);
    struct stat replaced;
    EXPECT_TRUE(stat(archive.c_str(), &replaced) == 0 && (replaced.st_mode & 0777) == mode) << std::oct << mode;
  }
  // An OUTPUT name as long as the file system takes leaves no room for a suffix on the
  // temporary name.
  std::string longest = temp / (std::string(251, 'n') + ".rar");
  EXPECT_EQ(pack({"-C", input, "-o", longest, "ok.txt"}).status, 0);
  EXPECT_TRUE(pathExists(longest));
  unlink(longest.c_str());
  // The output folder must exist.
  Outcome r = pack({"-C", input, "-o", temp / "no/such/dir/x.rar", "ok.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no/such/dir"), std::string::npos) << r.err;
}

// Entry times: --mtime as a date, a date and time, or @SECONDS (UTC); under
// SOURCE_DATE_EPOCH every time is clamped to that moment and written in UTC, so the
// build's time zone does not show. The listing prints the stored time.
TEST_F(Pack20Cli, TimesFromTheOptionAndTheEnvironment) {
  put("new.txt", text(10, 1));
  put("old.txt", text(10, 2));
  struct timespec future[2] = {{1893456000, 0}, {1893456000, 0}};  // 2030-01-01
  struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};    // 2001-09-09 01:46:40 UTC
  utimensat(AT_FDCWD, (input + "/new.txt").c_str(), future, 0);
  utimensat(AT_FDCWD, (input + "/old.txt").c_str(), past, 0);
  struct Case {
    const char* mtime;  // null: no --mtime
    const char* epoch;  // null: SOURCE_DATE_EPOCH unset
    const char* newTime;
    const char* oldTime;
  } cases[] = {
      {"2024-05-06", nullptr, "2024-05-06 00:00:00", "2024-05-06 00:00:00"},
      {"2024-05-06T07:08:10", "1700000000", "2024-05-06 07:08:10", "2024-05-06 07:08:10"},
      {"@1700000000", nullptr, "2023-11-14 22:13:20", "2023-11-14 22:13:20"},
      {nullptr, "1700000000", "2023-11-14 22:13:20", "2001-09-09 01:46:40"},
  };
  const char* zone = getenv("TZ");
  std::string savedZone = zone ? zone : "";
  setenv("TZ", "JST-9", 1);  // far from UTC: a local conversion would show
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"-C", input, "-o", temp / "t.rar", "new.txt", "old.txt"};
    if (c.mtime) arguments.insert(arguments.begin(), {"--mtime", c.mtime});
    if (c.epoch) setenv("SOURCE_DATE_EPOCH", c.epoch, 1);
    Outcome packed = pack(arguments);
    unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(packed.status, 0) << packed.err;
    Outcome listed = runProgram(builtProgram("cli/lumvard-extract"), {"-l", temp / "t.rar"}, temp.path);
    EXPECT_NE(listed.out.find(std::string(c.newTime) + " ....A"), std::string::npos) << c.newTime << listed.out;
    EXPECT_NE(listed.out.find(std::string(c.oldTime) + " ....A"), std::string::npos) << c.oldTime << listed.out;
  }
  setenv("SOURCE_DATE_EPOCH", "soon", 1);
  Outcome refused = pack({"-C", input, "-o", temp / "t.rar", "new.txt"});
  unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_EQ(refused.status, 64);
  EXPECT_NE(refused.err.find("SOURCE_DATE_EPOCH"), std::string::npos) << refused.err;
  if (zone) setenv("TZ", savedZone.c_str(), 1); else unsetenv("TZ");
}

// --help and --version of the three tools, on stdout with exit 0; the summary line
// and -v, -q of the packer.
TEST_F(Pack20Cli, HelpVersionSummaryAndVerbosity) {
  struct Case {
    std::string program;
    std::vector<std::string> arguments;
    std::string out;  // must appear on stdout
  } cases[] = {
      {"pack/lumvard-pack", {"--help"}, "Usage: lumvard-pack [OPTION]... -o OUTPUT INPUT...\n"},
      {"pack/lumvard-pack", {"-h"}, "\n  -C, --directory DIR"},
      {"pack/lumvard-pack", {"--help"}, "\n      --dereference"},
      {"pack/lumvard-pack", {"-V"}, "lumvard-pack 1.0.0\n"},
      {"pack/localtext/lumvard-localtext", {"--version"}, "lumvard-localtext 1.0.0\n"},
      {"pack/localtext/lumvard-localtext", {"--help"}, "Usage: lumvard-localtext [OPTION]... DESCRIPTION OUTPUT\n"},
      {"cli/lumvard-extract", {"--help"}, "\n      --codepage N"},
  };
  for (const Case& c : cases) {
    Outcome r = runProgram(builtProgram(c.program), c.arguments, temp.path);
    EXPECT_EQ(r.status, 0) << c.program;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
  }
  put("d/a.txt", text(1000, 1));
  put("d/b.txt", text(1000, 2));
  Outcome r = pack({"-v", "-C", input, "-o", temp / "s.rar", "d"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("d/\nd/a.txt\nd/b.txt\nlumvard-pack: 3 entries (2 files, 1 folder), 2000 bytes in, "), 0u)
      << r.out;
  r = pack({"-qC" + input, "-o", temp / "s.rar", "d"});  // a flag, then -C with its value, in one word
  EXPECT_EQ(r.out + r.err, "");
}

// A run ended by a signal removes its unfinished archive and keeps the file it was to
// replace. The run is held mid-way by its -v lines filling a pipe nobody reads.
TEST_F(Pack20Cli, ASignalLeavesNoUnfinishedArchive) {
  for (int i = 0; i < 1500; i++) put("entries-enough-to-fill-a-pipe/" + std::to_string(i) + std::string(40, 'x'), {});
  std::string archive = temp / "x.rar", pack = builtProgram("pack/lumvard-pack");
  // SIGPIPE: -v output into a pipe whose reader has gone; SIGXFSZ: a file size limit;
  // SIGABRT: out of memory.
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, SIGABRT}) {
    writeFile(archive, std::string("previous"));
    int lines[2];
    ASSERT_EQ(pipe(lines), 0);
    pid_t child = fork();
    if (child == 0) {
      dup2(lines[1], 1);
      execl(pack.c_str(), pack.c_str(), "-v", "-C", input.c_str(), "-o", archive.c_str(), ".", (char*)nullptr);
      _exit(127);
    }
    close(lines[1]);
    bool unfinished = false;  // the temporary archive beside x.rar
    for (int wait = 0; wait < 500 && !unfinished; wait++) {
      std::map<std::string, Bytes> tree;
      listTree(temp.path, "", &tree);
      for (auto& [name, bytes] : tree) unfinished = unfinished || name.rfind("x.rar.", 0) == 0;
      usleep(10000);
    }
    EXPECT_TRUE(unfinished) << signal;
    usleep(100000);  // the run is now held by the full pipe
    kill(child, signal);
    int status = 0;
    waitpid(child, &status, 0);
    close(lines[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
    std::map<std::string, Bytes> tree;
    listTree(temp.path, "", &tree);
    for (auto& [name, bytes] : tree) EXPECT_NE(name.rfind("x.rar.", 0), 0u) << signal << ": " << name;
    Bytes kept = readFile(archive);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous") << signal;
  }
}

// lumvard-localtext replaces OUTPUT only with a complete file: a write that fails (here
// at a file size limit) keeps what was there, and a link at OUTPUT is replaced, not
// written through; a pipe there is refused.
TEST_F(Pack20Cli, LocalTextReplacesItsOutputOnlyWhenWritten) {
  std::string description = temp / "texts", output = temp / "lmvtid.tdx", shared = temp / "shared.tdx";
  writeFile(description, std::string("language en\n1 = ") + std::string(200, 'T') + "\n2 = C:\\LUMVARD\n");
  std::string localText = builtProgram("pack/localtext/lumvard-localtext");
  ASSERT_EQ(mkfifo((temp / "pipe").c_str(), 0644), 0);
  struct Case {
    std::string output;
    rlim_t sizeLimit;  // of any file the tool writes
    int status;  // on failure lmvtid.tdx keeps what it held
  } cases[] = {
      {output, 100, 1},
      {output, RLIM_INFINITY, 0},
      {temp / "link.tdx", RLIM_INFINITY, 0},
      {temp / "pipe", RLIM_INFINITY, 1},
  };
  signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the tool
  for (const Case& c : cases) {
    writeFile(output, std::string("previous"));
    writeFile(shared, std::string("shared"));
    unlink((temp / "link.tdx").c_str());
    ASSERT_EQ(symlink("shared.tdx", (temp / "link.tdx").c_str()), 0);
    struct rlimit saved, limited;
    getrlimit(RLIMIT_FSIZE, &saved);
    limited = saved;
    limited.rlim_cur = c.sizeLimit;
    setrlimit(RLIMIT_FSIZE, &limited);
    Outcome r = runProgram(localText, {description, c.output}, temp.path);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(r.status, c.status) << c.output << ": " << r.err;
    Bytes shown = readFile(c.status == 0 ? c.output : output);
    EXPECT_TRUE(c.status == 0 ? shown.size() > 200 : std::string(shown.begin(), shown.end()) == "previous")
        << c.output;
    Bytes untouched = readFile(shared);
    EXPECT_EQ(std::string(untouched.begin(), untouched.end()), "shared") << c.output;
    struct stat info;
    EXPECT_EQ(lstat((temp / "link.tdx").c_str(), &info) == 0 && S_ISLNK(info.st_mode), c.output != temp / "link.tdx")
        << c.output;
  }
  signal(SIGXFSZ, SIG_DFL);
  // A description without end is refused at a size no description comes near.
  Outcome endless = runProgram(localText, {"/dev/zero", output}, temp.path);
  EXPECT_EQ(endless.status, 1);
  EXPECT_NE(endless.err.find("/dev/zero: the description is larger than 16 MiB"), std::string::npos) << endless.err;
  std::map<std::string, Bytes> tree;
  unlink((temp / "pipe").c_str());
  listTree(temp.path, "", &tree);
  for (auto& [name, bytes] : tree) EXPECT_EQ(name.find("lmvtid.tdx."), std::string::npos) << name;
}
