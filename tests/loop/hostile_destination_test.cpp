// lumvard-extract run into destinations prepared the way an attacker would: links below
// the destination, pipes and hard links at output paths, and existing files whose
// replacement fails (checksum, password, full disk, interrupt). Nothing outside the
// destination may change, and an existing file stays whole unless a verified
// replacement took its place.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_archive.h"

using namespace testarchive;

namespace {

typedef std::map<std::string, std::string> Snapshot;

// Every path below folder with its type, mode and contents or link target; links are
// not followed.
void snapshot(const std::string& folder, const std::string& prefix, Snapshot* out) {
  DIR* listing = opendir(folder.c_str());
  if (listing == nullptr) return;
  while (struct dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    std::string description = std::to_string(info.st_mode) + ":";
    if (S_ISLNK(info.st_mode)) {
      char target[512];
      ssize_t length = readlink(path.c_str(), target, sizeof target);
      description += std::string(target, length > 0 ? (size_t)length : 0);
    } else if (S_ISREG(info.st_mode)) {
      std::vector<unsigned char> bytes = readFile(path);
      description += std::string(bytes.begin(), bytes.end()) + ":" + std::to_string(info.st_mtime);
    }
    (*out)[prefix + name] = description;
    if (S_ISDIR(info.st_mode)) snapshot(path, prefix + name + "/", out);
  }
  closedir(listing);
}

Snapshot snapshotOf(const std::string& folder) {
  Snapshot result;
  snapshot(folder, "", &result);
  return result;
}

std::string contents(const std::string& path) {
  std::vector<unsigned char> bytes = readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

bool isPlainFile(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool isTemporaryName(const std::string& name) {
  return name.size() == 12 && name.compare(0, 2, "lv") == 0 && name.compare(8, 4, ".tmp") == 0;
}

std::string binary() { return builtProgram("cli/lumvard-extract", LUMVARD_EXTRACT_BINARY); }

// How a run is disturbed.
struct Disturbance {
  const char* password = nullptr;  // LUMVARD_PASSWORD
  rlim_t fileSizeLimit = 0;        // RLIMIT_FSIZE in bytes when not 0: a full disk
  int signalNumber = 0;            // sent once the interruptAt-th temporary file appears
  int interruptAt = 1;
  bool fileSizeSignal = false;     // with fileSizeLimit: SIGXFSZ left at its default action
  bool closedOutput = false;       // stdout a pipe that nobody reads any more
};

// Runs lumvard-extract archive destination; ends it with SIGKILL after 20 seconds
// (a run that blocks) and returns -1 then, else its exit code.
int runExtract(const std::string& archive, const std::string& destination, const Disturbance& how) {
  int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch >= 0) inotify_add_watch(watch, destination.c_str(), IN_CREATE);
  pid_t child = fork();
  if (child == 0) {
    int quiet = open("/dev/null", O_RDWR);
    dup2(quiet, 0);
    dup2(quiet, 1);
    dup2(quiet, 2);
    int unread[2];
    if (how.closedOutput && pipe(unread) == 0) {
      dup2(unread[1], 1);
      close(unread[0]);
    }
    signal(SIGINT, SIG_DFL);  // as a user's shell leaves them, not as this run inherited them
    signal(SIGHUP, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    if (how.password != nullptr)
      setenv("LUMVARD_PASSWORD", how.password, 1);
    else
      unsetenv("LUMVARD_PASSWORD");
    if (how.fileSizeLimit != 0) {
      struct rlimit limit = {how.fileSizeLimit, how.fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
      // The write then fails instead of ending the process, or the tool sees to that itself.
      signal(SIGXFSZ, how.fileSizeSignal ? SIG_DFL : SIG_IGN);
    }
    std::string program = binary();
    execl(program.c_str(), program.c_str(), archive.c_str(), destination.c_str(), (char*)nullptr);
    _exit(121);
  }
  int temporaries = 0;
  int status = 0;
  for (int waited = 0; waited < 20000; waited++) {
    if (waitpid(child, &status, WNOHANG) == child) {
      if (watch >= 0) close(watch);
      return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }
    struct pollfd ready = {watch, POLLIN, 0};
    if (how.signalNumber == 0 || watch < 0 || poll(&ready, 1, 1) <= 0) {
      if (how.signalNumber == 0) usleep(1000);
      continue;
    }
    alignas(struct inotify_event) char events[4096];
    ssize_t length = read(watch, events, sizeof events);
    for (ssize_t at = 0; at < length;) {
      const struct inotify_event* event = (const struct inotify_event*)(events + at);
      if (event->len > 0 && isTemporaryName(event->name) && ++temporaries == how.interruptAt)
        kill(child, how.signalNumber);
      at += (ssize_t)(sizeof *event + event->len);
    }
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  if (watch >= 0) close(watch);
  return -1;
}

// A destination prepared beside an outside folder: outside/target, outside/inner/,
// and dest/existing.txt holding "precious".
struct Scene {
  TempDir temp;
  std::string outside = temp / "outside";
  std::string dest = temp / "dest";
  Scene() {
    mkdir(outside.c_str(), 0755);
    mkdir((outside + "/inner").c_str(), 0755);
    writeFile(outside + "/target", std::string("outside target"));
    mkdir(dest.c_str(), 0755);
    writeFile(dest + "/existing.txt", std::string("precious"));
  }
};

Entry big(const std::string& name) {
  Entry entry;
  entry.name = name;
  entry.data.assign(16u << 20, 'b');
  return entry;
}

Entry broken(const std::string& name, const std::string& text) {
  Entry entry = file(name, text);
  entry.wrongChecksum = true;
  return entry;
}

struct Case {
  const char* what;
  std::function<void(Scene&)> prepare;
  std::vector<Entry> entries;
  Disturbance how;
  int exitCode;
  // Checks of the destination beyond "outside unchanged, no temporary file left".
  std::function<void(Scene&)> check;
};

void keepsExisting(Scene& scene) { EXPECT_EQ(contents(scene.dest + "/existing.txt"), "precious"); }

void link(const std::string& target, const std::string& at) { ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0); }

TEST(HostileDestination, NothingOutsideChangesAndNoExistingFileIsLost) {
  Disturbance plain;
  Disturbance fullDisk;
  fullDisk.fileSizeLimit = 64 << 10;
  Disturbance wrongPassword;
  wrongPassword.password = "wrong";
  Disturbance terminated;
  terminated.signalNumber = SIGTERM;
  Disturbance hangUpDuringSecond;
  hangUpDuringSecond.signalNumber = SIGHUP;
  hangUpDuringSecond.interruptAt = 2;
  Disturbance fileSizeSignal = fullDisk;
  fileSizeSignal.fileSizeSignal = true;
  Disturbance closedOutput;
  closedOutput.closedOutput = true;
  Disturbance interruptedDuringSecond;
  interruptedDuringSecond.signalNumber = SIGINT;
  interruptedDuringSecond.interruptAt = 2;

  const Case cases[] = {
      {"linked folder", [](Scene& s) { link(s.outside, s.dest + "/docs"); },
       {file("docs\\evil.txt", "evil"), broken("docs\\target", "x"), folder("docs\\made")}, plain, 1,
       keepsExisting},
      {"linked parent two levels up", [](Scene& s) { link(s.outside, s.dest + "/a"); },
       {file("a\\inner\\evil.txt", "evil"), folder("a\\inner\\made")}, plain, 1, keepsExisting},
      {"link and file where folder entries go", [](Scene& s) { link(s.outside + "/inner", s.dest + "/docs"); },
       {folder("docs"), folder("existing.txt")}, plain, 1, keepsExisting},
      {"relative link leading out", [](Scene& s) { link("..", s.dest + "/up"); },
       {file("up\\outside\\evil.txt", "evil"), file("up\\outside\\target", "over")}, plain, 1, keepsExisting},
      {"link at the file path", [](Scene& s) { link(s.outside + "/target", s.dest + "/readme.txt"); },
       {file("readme.txt", "new")}, plain, 0,
       [](Scene& s) {
         EXPECT_TRUE(isPlainFile(s.dest + "/readme.txt"));
         EXPECT_EQ(contents(s.dest + "/readme.txt"), "new");
       }},
      {"dangling link", [](Scene& s) { link(s.outside + "/created", s.dest + "/dangling.txt"); },
       {file("dangling.txt", "new")}, plain, 0,
       [](Scene& s) { EXPECT_EQ(contents(s.dest + "/dangling.txt"), "new"); }},
      {"hard link", [](Scene& s) { ASSERT_EQ(::link((s.outside + "/target").c_str(), (s.dest + "/hard.txt").c_str()), 0); },
       {file("hard.txt", "new")}, plain, 0,
       [](Scene& s) { EXPECT_EQ(contents(s.dest + "/hard.txt"), "new"); }},
      {"pipe at the file path", [](Scene& s) { ASSERT_EQ(mkfifo((s.dest + "/pipe").c_str(), 0644), 0); },
       {file("pipe", std::string(100000, 'p')), file("small", "s")}, plain, 0,
       [](Scene& s) { EXPECT_EQ(contents(s.dest + "/pipe").size(), 100000u); }},
      {"failing checksum", nullptr, {broken("existing.txt", "damaged")}, plain, 3, keepsExisting},
      {"good entry then a failing one of the same name", nullptr,
       {file("existing.txt", "good"), broken("existing.txt", "damaged")}, plain, 3,
       [](Scene& s) { EXPECT_EQ(contents(s.dest + "/existing.txt"), "good"); }},
      {"wrong password", nullptr, {encrypted("existing.txt", "secret text", "right")}, wrongPassword, 3,
       keepsExisting},
      {"full disk", nullptr, {file("existing.txt", std::string(256 << 10, 'f'))}, fullDisk, 5, keepsExisting},
      {"file size limit with its signal", nullptr, {file("existing.txt", std::string(256 << 10, 'f'))},
       fileSizeSignal, 5, keepsExisting},
      // The checksum failure is said on stderr, which first flushes stdout into the pipe.
      {"output into a closed pipe", nullptr, {broken("existing.txt", "damaged"), file("after.txt", "after")},
       closedOutput, 255,
       [](Scene& s) {
         keepsExisting(s);
         EXPECT_FALSE(pathExists(s.dest + "/after.txt"));
       }},
      {"terminated while writing", nullptr, {big("existing.txt")}, terminated, 255, keepsExisting},
      {"hang-up after a verified file", nullptr, {file("fresh.txt", "fresh"), big("existing.txt")},
       hangUpDuringSecond, 255,
       [](Scene& s) {
         keepsExisting(s);
         EXPECT_EQ(contents(s.dest + "/fresh.txt"), "fresh");
       }},
      {"interrupted after a verified file", nullptr, {file("fresh.txt", "fresh"), big("existing.txt")},
       interruptedDuringSecond, 255,
       [](Scene& s) {
         keepsExisting(s);
         EXPECT_EQ(contents(s.dest + "/fresh.txt"), "fresh");
       }},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scene scene;
    if (c.prepare) c.prepare(scene);
    std::string archive = scene.temp / "a.rar";
    writeFile(archive, newArchive(c.entries));
    Snapshot before = snapshotOf(scene.outside);

    EXPECT_EQ(runExtract(archive, scene.dest, c.how), c.exitCode);

    EXPECT_EQ(snapshotOf(scene.outside), before);
    for (const auto& entry : snapshotOf(scene.dest)) {
      std::string name = entry.first.substr(entry.first.rfind('/') + 1);
      EXPECT_FALSE(isTemporaryName(name)) << entry.first << " left behind";
    }
    if (c.check) c.check(scene);
  }
}

// An entry named like the archive, extracted into the archive's own folder, fails on
// its own; the archive stays whole and the entries after it are extracted.
TEST(HostileDestination, TheArchiveIsNeverAnOutput) {
  Scene scene;
  std::string archive = scene.dest + "/setup.rar";
  Bytes bytes = newArchive({file("setup.rar", "overwritten"), file("after.txt", "after")});
  writeFile(archive, bytes);
  EXPECT_EQ(runExtract(archive, scene.dest, Disturbance()), 1);
  EXPECT_EQ(readFile(archive), bytes);
  EXPECT_EQ(contents(scene.dest + "/after.txt"), "after");
}

}  // namespace
