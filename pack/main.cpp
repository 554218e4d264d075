// lumvard-pack: writes an archive of files and folders, stored or compressed. The
// options are in one table below; --help prints them.
//
// With --installer the output is a complete installer: the installer executable STUB,
// padded so that the archive starts where the installer searches for it, then the
// archive, closed by a block whose header size is below 7 so that a reader stops there
// even when a code signature is appended to the file later.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "cli/path_pattern.h"
#include "cli/tool_options.h"
#include "pack/archive_writer.h"
#include "pack/installer_layout.h"
#include "pack/input_walk.h"
#include "pack/pack_methods.h"
#include "pack/password_prompt.h"
#include "pack/stub_locate.h"
#include "pack/pack_run.h"
#include "pack/solid_order.h"
#include "pack/unfinished_archive.h"

namespace {

enum { ExitOk = 0, ExitFailure = 1 };
enum { MaxOldNameBytes = 80 };

const char* const programName = "lumvard-pack";

struct Options {
  const PackMethod* method = findPackMethod("2.0");
  bool methodGiven = false;
  PackFormat format = PackFormat::New;
  bool solid = true;
  bool orderByContent = true;  // --order content: a solid archive's files chained by likeness
  std::string password;
  bool encrypt = false;  // --encrypt: the password from the environment or the terminal
  PackSettings settings;
  std::optional<uint32_t> fixedTime;  // --mtime as an MS-DOS date-time
  std::optional<time_t> clampTime;    // SOURCE_DATE_EPOCH: no entry is newer
  int codePage = 1252;
  std::string installerStub;  // --installer: the executable the archive is appended to
  bool installerFound = false;  // --exe: an installer on the executable found beside the tool
  std::string directory;
  std::string output;
  std::vector<std::string> inputs;
  std::vector<std::string> exclude;  // --exclude patterns, without "./" before or '/' after
  LinkPolicy links = LinkPolicy::InsideOnly;
  bool quiet = false;
  bool verbose = false;
};

// ---- command line ----

bool parseMethod(Options& o, const char* v, std::string* error) {
  o.method = findPackMethod(v);
  o.methodGiven = true;
  if (o.method == nullptr) {
    *error = std::string("unknown method ") + v + " (methods:";
    for (size_t i = 0; i < packMethodCount; i++) *error += std::string(" ") + packMethods[i].name;
    *error += ")";
    return false;
  }
  return true;
}

bool parseFormat(Options& o, const char* v, std::string* error) {
  if (strcmp(v, "new") == 0)
    o.format = PackFormat::New;
  else if (strcmp(v, "old") == 0)
    o.format = PackFormat::Old;
  else {
    *error = std::string("--format takes new or old, not ") + v;
    return false;
  }
  return true;
}

bool parseMultimedia(Options& o, const char* v, std::string* error) {
  if (strcmp(v, "auto") == 0)
    o.settings.multimedia = MultimediaMode::Auto;
  else if (strcmp(v, "on") == 0)
    o.settings.multimedia = MultimediaMode::On;
  else if (strcmp(v, "off") == 0)
    o.settings.multimedia = MultimediaMode::Off;
  else {
    *error = std::string("--multimedia takes auto, on or off, not ") + v;
    return false;
  }
  return true;
}

int daysInMonth(int year, int month) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

bool dosTimeOfCalendar(int year, int month, int day, int hour, int minute, int second, uint32_t* out) {
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    return false;
  *out = dosTime(year, month, day, hour, minute, second);
  return true;
}

// "@SECONDS" since 1970 in UTC; else a local date, "YYYY-MM-DD" (midnight) or
// "YYYY-MM-DDTHH:MM:SS". Both must lie within 1980 to 2107.
bool parseTime(Options& o, const char* v, std::string* error) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0, timeUsed = 0;
  uint32_t stamp = 0;
  bool valid;
  if (v[0] == '@') {
    char* end;
    long long seconds = strtoll(v + 1, &end, 10);
    time_t when = (time_t)seconds;
    struct tm utc;
    valid = v[1] != 0 && *end == 0 && gmtime_r(&when, &utc) != nullptr &&
            dosTimeOfCalendar(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                              &stamp);
  } else {
    valid = sscanf(v, "%4d-%2d-%2d%n", &year, &month, &day, &used) == 3 &&
            (v[used] == 0 ||
             (sscanf(v + used, "T%2d:%2d:%2d%n", &hour, &minute, &second, &timeUsed) == 3 && v[used + timeUsed] == 0)) &&
            dosTimeOfCalendar(year, month, day, hour, minute, second, &stamp);
  }
  if (!valid) {
    *error = std::string("--mtime wants YYYY-MM-DD, YYYY-MM-DDTHH:MM:SS or @SECONDS between 1980 and 2107, not ") + v;
    return false;
  }
  o.fixedTime = stamp;
  return true;
}

bool parseCodePage(Options& o, const char* v, std::string* error) {
  if (readCodePageNumber(v, &o.codePage)) return true;
  *error = std::string("--codepage wants a code page number, not ") + v;
  return false;
}

// A whole number from low to high; false for anything else.
bool readNumberIn(const char* v, long low, long high, int* out) {
  char* end;
  long n = strtol(v, &end, 10);
  if (*v == 0 || *end != 0 || n < low || n > high) return false;
  *out = (int)n;
  return true;
}

bool parseLevel(Options& o, const char* v, std::string* error) {
  if (readNumberIn(v, MinPackLevel, MaxPackLevel, &o.settings.level)) return true;
  *error = std::string("--level takes 1 (fastest) to 5 (smallest), not ") + v;
  return false;
}

bool parseThreads(Options& o, const char* v, std::string* error) {
  if (readNumberIn(v, 1, 1024, &o.settings.threads)) return true;
  *error = std::string("--threads wants a number of threads, not ") + v;
  return false;
}

struct PackOption {
  ToolOption option;  // its id is its index in this table
  bool (*apply)(Options&, const char*, std::string*);
};

const PackOption packOptions[] = {
    {{"--method", 0, "METHOD", 0,
      "store, 2.0 (default: LZ with Huffman tables over a 1 MiB window, plus\n"
      "audio blocks) or 1.5 (adaptive LZ over 64 KiB)"},
     parseMethod},
    {{"--format", 0, "FORMAT", 0,
      "new (default), or old: the old header generation, which carries store\n"
      "and 1.5 (its default there) and the 1.3 cipher; names of at most 80 bytes"},
     parseFormat},
    {{"--solid", 0, nullptr, 0, "one compression state across all files (default)"},
     [](Options& o, const char*, std::string*) { return o.solid = true; }},
    {{"--no-solid", 0, nullptr, 0, "each file on its own; a file that does not shrink is stored"},
     [](Options& o, const char*, std::string*) { o.solid = false; return true; }},
    {{"--order", 0, "ORDER", 0,
      "content (default): in a solid archive, folders first, then each folder's\n"
      "files with like after like, which packs smaller; name: as walked"},
     [](Options& o, const char* v, std::string* error) {
       bool content = strcmp(v, "content") == 0;
       if (!content && strcmp(v, "name") != 0) {
         *error = std::string("unknown order ") + v + " (orders: content name)";
         return false;
       }
       o.orderByContent = content;
       return true;
     }},
    {{"--password", 0, "TEXT", 0, "encrypt every file (1 to 127 bytes)"},
     [](Options& o, const char* v, std::string* error) {
       if (*v == 0 || strlen(v) > MaxPasswordBytes) {
         *error = "--password wants 1 to 127 bytes";
         return false;
       }
       o.password = v;
       return true;
     }},
    {{"--encrypt", 0, nullptr, 0,
      "encrypt every file with the password in $LUMVARD_PASSWORD, else one\n"
      "asked twice on the terminal: unlike --password, it is not on the command\n"
      "line, where every user of the machine can read it"},
     [](Options& o, const char*, std::string*) { return o.encrypt = true; }},
    {{"--multimedia", 0, "MODE", 0,
      "audio blocks for sampled sound and pictures: auto (default: files whose\n"
      "header says PCM WAV or 24/32-bit BMP), on (every file is tried), off"},
     parseMultimedia},
    {{"--mtime", 0, "TIME", 0,
      "stamp every entry with TIME: a local YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS,\n"
      "or @SECONDS since 1970 in UTC; the same inputs then give the same bytes\n"
      "(without it SOURCE_DATE_EPOCH, when set, clamps every time to that\n"
      "moment and times are written in UTC)"},
     parseTime},
    {{"--codepage", 0, "N", 0, "single-byte code page of the names (default 1252)"}, parseCodePage},
    {{"--level", 0, "N", 0,
      "1 (fastest) to 5 (smallest), default 3; the archive does not record it\n"
      "and extracts the same way"},
     parseLevel},
    {{"--threads", 0, "N", 0,
      "threads that compress (default: one per core, at most 8); the archive's\n"
      "bytes do not depend on it"},
     parseThreads},
    {{"--installer", 0, "STUB", 0,
      "write an installer: the installer executable STUB with the archive\n"
      "appended where it searches for it (offsets 98304 to 196607), closed by\n"
      "an end block"},
     [](Options& o, const char* v, std::string* error) {
       if (*v == 0) {
         *error = "--installer wants the installer executable";
         return false;
       }
       o.installerStub = v;
       return true;
     }},
    {{"--exe", 0, nullptr, 0,
      "write an installer on the installer executable installed with the tool\n"
      "(../share/lumvard/ beside its folder) or built with it; --help names the\n"
      "one found. --installer STUB wins over it"},
     [](Options& o, const char*, std::string*) { return o.installerFound = true; }},
    {{"--directory", 'C', "DIR", 0, "read the INPUTs below DIR (default: the current folder)"},
     [](Options& o, const char* v, std::string* error) {
       if (*v == 0) {
         *error = "--directory wants a folder";  // not the current one in silence
         return false;
       }
       o.directory = v;
       return true;
     }},
    {{"--output", 'o', "OUTPUT", 0, "the archive (or installer) to write; replaced only when complete"},
     [](Options& o, const char* v, std::string*) { o.output = v; return true; }},
    {{"--dereference", 0, nullptr, 0,
      "follow every symbolic link; by default a link is stored as its target's\n"
      "content when the target lies inside DIR, and refused when it leads\n"
      "outside DIR or nowhere"},
     [](Options& o, const char*, std::string*) { o.links = LinkPolicy::Follow; return true; }},
    {{"--exclude", 0, "PATTERN", 0,
      "leave out every file and folder (with all below it) whose name matches\n"
      "the shell PATTERN, or whose path below DIR does when PATTERN holds a\n"
      "'/'; * and ? also match '/'. May be given again"},
     [](Options& o, const char* v, std::string* error) {
       std::string pattern = trimmedPattern(v);
       if (pattern.empty()) {
         *error = "--exclude wants a pattern";
         return false;
       }
       o.exclude.push_back(pattern);
       return true;
     }},
    {{"--quiet", 'q', nullptr, 0, "print nothing but problems"},
     [](Options& o, const char*, std::string*) { return o.quiet = true; }},
    {{"--verbose", 'v', nullptr, 0, "print each entry as it is added"},
     [](Options& o, const char*, std::string*) { return o.verbose = true; }},
};
constexpr size_t packOptionCount = sizeof packOptions / sizeof packOptions[0];

ToolOption toolOptions[packOptionCount];

const ToolDescription tool = {
    programName,
    "[OPTION]... -o OUTPUT INPUT...",
    "Write an archive of the INPUT files and folders, given relative to DIR and\n"
    "stored under the path as given: a leading ./ is dropped, \".\" stores DIR's\n"
    "contents without a prefix; absolute paths and .. are refused. Folders are\n"
    "walked in sorted order; the read-only attribute and the modification time\n"
    "(local MS-DOS time) are kept.",
    toolOptions,
    packOptionCount,
    "Environment:\n"
    "  LUMVARD_PASSWORD   the password of --encrypt\n"
    "  SOURCE_DATE_EPOCH  seconds since 1970: no entry's time is later, and times\n"
    "                     are written in UTC\n"
    "\n"
    "Exit status:\n"
    "  0    written\n"
    "  1    an input cannot be read or stored (among them names Windows cannot\n"
    "       make, such as a:b or con.txt, and files whose paths differ only in\n"
    "       case), or the archive cannot be written\n"
    "  64   bad command line\n",
    printFoundInstallerStub,
};

bool readSourceDateEpoch(Options* o) {
  const char* value = getenv("SOURCE_DATE_EPOCH");
  if (value == nullptr || o->fixedTime) return true;
  char* end;
  errno = 0;
  long long seconds = strtoll(value, &end, 10);
  if (*value == 0 || *end != 0 || seconds < 0 || errno != 0) return false;
  o->clampTime = (time_t)seconds;
  return true;
}

// An option or an operand (an input); 0 when it is taken, else the exit code.
int takeArgument(void* context, const ToolOption* option, const char* value) {
  Options* o = (Options*)context;
  if (option == nullptr) {
    o->inputs.push_back(value);
    return 0;
  }
  std::string error;
  return packOptions[option->id].apply(*o, value, &error) ? 0 : usageError(tool, "%s", error.c_str());
}

// 0: parsed, -1: help or version printed; else the exit code.
int parseCommandLine(int argc, char** argv, Options* o) {
  for (size_t i = 0; i < packOptionCount; i++) {
    toolOptions[i] = packOptions[i].option;
    toolOptions[i].id = (int)i;
  }
  int ended = readArguments(tool, argc, argv, takeArgument, o);
  if (ended >= 0) return ended == 0 ? -1 : ended;
  if (o->output.empty()) return usageError(tool, "no OUTPUT given (-o OUTPUT)");
  if (o->output == "-") return usageError(tool, "the archive is not written to standard output; name a file");
  if (o->inputs.empty()) return usageError(tool, "no INPUT given");
  if (!readSourceDateEpoch(o)) return usageError(tool, "SOURCE_DATE_EPOCH is not a number of seconds");
  if (o->encrypt && !o->password.empty()) return usageError(tool, "--encrypt and --password: give one of them");
  if (o->encrypt && getenv("LUMVARD_PASSWORD") != nullptr) {
    o->password = getenv("LUMVARD_PASSWORD");
    if (o->password.empty() || o->password.size() > MaxPasswordBytes)
      return usageError(tool, "LUMVARD_PASSWORD holds no password of 1 to 127 bytes");
  } else if (o->encrypt && !isatty(STDIN_FILENO)) {
    return usageError(tool, "--encrypt takes the password from LUMVARD_PASSWORD, or asks on a terminal");
  }
  if (o->format == PackFormat::Old) {
    if (!o->methodGiven) o->method = findPackMethod("1.5");
    if (!o->method->oldFormat)
      return usageError(tool, "old-format archives carry the methods store and 1.5, not %s", o->method->name);
  }
  return 0;
}

// ---- files ----

// Reads the installer stub. It is opened before it is looked at, without waiting, so
// what is read is what was checked: a pipe put at its name never stalls the run. A stub
// that is the output itself would be replaced by the installer and lost (a link at the
// output is replaced, not what it leads to).
bool readInstallerStub(const std::string& path, const std::string& output, std::vector<uint8_t>* out,
                       std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info, replaced;
  if (fd < 0 || fstat(fd, &info) != 0) {
    *error = strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  bool fits = false;
  if (!S_ISREG(info.st_mode))
    *error = "not a file";
  else if (lstat(output.c_str(), &replaced) == 0 && replaced.st_dev == info.st_dev && replaced.st_ino == info.st_ino)
    *error = "the installer stub is the output itself, which the installer would replace";
  else
    fits = installerStubFits((uint64_t)info.st_size, error);
  FILE* f = fits ? fdopen(fd, "rb") : nullptr;
  if (f == nullptr) {
    if (fits) *error = strerror(errno);
    close(fd);
    return false;
  }
  size_t expected = (size_t)info.st_size;
  out->resize(expected);
  size_t got = expected ? fread(out->data(), 1, expected, f) : 0;
  bool failed = ferror(f) != 0;
  int extra = fgetc(f);
  fclose(f);
  if (failed || got != expected || extra != EOF) {
    *error = failed ? "read error" : "the file changed while it was read";
    return false;
  }
  return true;
}

// An entry's time: --mtime when given; else the file's time as local time, or, under
// SOURCE_DATE_EPOCH, clamped to that moment and written in UTC so that the time zone
// of the build does not show in the archive.
uint32_t entryTime(const Options& o, time_t t) {
  if (o.fixedTime) return *o.fixedTime;
  if (o.clampTime && t > *o.clampTime) t = *o.clampTime;
  struct tm broken;
  bool known = o.clampTime ? gmtime_r(&t, &broken) != nullptr : localtime_r(&t, &broken) != nullptr;
  if (!known || broken.tm_year + 1900 < 1980) return dosTime(1980, 1, 1, 0, 0, 0);
  if (broken.tm_year + 1900 > 2107) return dosTime(2107, 12, 31, 23, 59, 58);
  return dosTime(broken.tm_year + 1900, broken.tm_mon + 1, broken.tm_mday, broken.tm_hour, broken.tm_min,
                 broken.tm_sec);
}

// ---- progress ----

struct Progress {
  bool enabled = false;
  uint64_t total = 0;
  uint64_t done = 0;
  uint64_t fileSize = 0;  // the file being packed and how much of it is done
  uint64_t fileDone = 0;
  int shown = -1;
  void startFile(uint64_t size) {
    fileSize = size;
    fileDone = 0;
  }
  void within(uint64_t bytes) {
    fileDone = std::max(fileDone, std::min(bytes, fileSize));
    show();
  }
  void advance(uint64_t bytes) {
    done += bytes;
    fileSize = fileDone = 0;
    show();
  }
  void show() {
    if (!enabled) return;
    uint64_t now = done + fileDone;
    int percent = total ? (int)(now * 100 / total) : 100;
    if (percent == shown) return;
    shown = percent;
    int filled = percent * 40 / 100;
    fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################", 40 - filled, "",
            percent);
    fflush(stderr);
  }
  // Takes the bar off its line, so that other output starts at the left; show() draws
  // it again.
  void erase() {
    if (!enabled || shown < 0) return;
    fprintf(stderr, "\r%*s\r", 47, "");
    fflush(stderr);
    shown = -1;
  }
  void end() { erase(); }
};

// The installer starts the setup.exe at the top of its destination once the payload is
// out; a payload without one installs files and starts nothing, which is seldom meant.
bool startsSetup(const std::vector<InputEntry>& inputs) {
  for (const InputEntry& e : inputs)
    if (!e.directory && strcasecmp(e.archiveName.c_str(), "setup.exe") == 0) return true;
  return false;
}

// Every line of message is one problem.
int fail(Progress& progress, const std::string& message) {
  progress.end();
  for (size_t at = 0; at <= message.size();) {
    size_t end = message.find('\n', at);
    if (end == std::string::npos) end = message.size();
    fprintf(stderr, "%s: %s\n", programName, message.substr(at, end - at).c_str());
    at = end + 1;
  }
  return ExitFailure;
}

// The output must be able to appear: its folder exists and it is no folder itself. A
// pipe or device there (or a link to one: /dev/stdout) would be replaced by a file.
bool checkOutput(const std::string& output, std::string* error) {
  struct stat info;
  if (stat(output.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    *error = "cannot write " + output + ": " + (S_ISDIR(info.st_mode) ? strerror(EISDIR) : "not a regular file");
    return false;
  }
  size_t slash = output.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
  int found = stat(folder.c_str(), &info);
  int reason = found != 0 ? errno : ENOTDIR;
  if (found != 0 || !S_ISDIR(info.st_mode)) {
    *error = "cannot write " + output + ": folder " + folder + ": " + strerror(reason);
    return false;
  }
  return true;
}

double secondsSince(const struct timespec& start) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)(now.tv_sec - start.tv_sec) + (double)(now.tv_nsec - start.tv_nsec) / 1e9;
}

void printSummary(const std::vector<InputEntry>& inputs, uint64_t inputBytes, uint64_t archiveBytes, double seconds) {
  size_t folders = 0;
  for (const InputEntry& e : inputs) folders += e.directory;
  unsigned ratio = inputBytes ? (unsigned)((archiveBytes * 100 + inputBytes / 2) / inputBytes) : 0;
  size_t files = inputs.size() - folders;
  printf("%s: %zu entries (%zu file%s, %zu folder%s), %llu bytes in, %llu bytes out (%u%%), %.2f s\n", programName,
         inputs.size(), files, files == 1 ? "" : "s", folders, folders == 1 ? "" : "s", (unsigned long long)inputBytes,
         (unsigned long long)archiveBytes, ratio, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  long cores = sysconf(_SC_NPROCESSORS_ONLN);
  o.settings.threads = cores > 0 ? (int)cores : 1;
  int parsed = parseCommandLine(argc, argv, &o);
  if (parsed < 0) return ExitOk;
  if (parsed != 0) return parsed;
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);

  Progress progress;
  NameConverter names(o.codePage);
  if (!names.valid()) return fail(progress, "code page " + std::to_string(o.codePage) + " is not supported");
  std::string error;
  if (o.encrypt && o.password.empty() && !askPasswordTwice(&o.password, &error)) return fail(progress, error);
  std::string outputFromBase = o.output;  // the output, seen from the walk
  if (!o.directory.empty() && o.output[0] != '/') {
    char here[4096];
    if (getcwd(here, sizeof here) != nullptr) outputFromBase = std::string(here) + "/" + o.output;
  }
  std::vector<InputEntry> inputs;
  if (!checkOutput(o.output, &error)) return fail(progress, error);
  if (!collectInputs(o.inputs, o.directory, names, outputFromBase, &inputs, &error, o.links, o.exclude))
    return fail(progress, error);
  if (o.solid && o.orderByContent && o.method->solidCapable) orderForSolidPacking(inputs, o.settings.threads);
  // Old headers hold names of at most 80 bytes; a reader ends the archive at a longer one.
  if (o.format == PackFormat::Old) {
    for (const InputEntry& e : inputs)
      if (e.archiveName.size() > MaxOldNameBytes)
        error += e.displayName + ": a name in an old-format archive takes at most 80 bytes\n";
    if (!error.empty()) return fail(progress, error.substr(0, error.size() - 1));
  }

  std::vector<uint8_t> installerPrefix;
  if (o.installerFound && o.installerStub.empty() && !findInstallerStub(&o.installerStub, &error))
    return fail(progress, error);
  if (!o.installerStub.empty()) {
    std::vector<uint8_t> stub;
    if (!readInstallerStub(o.installerStub, o.output, &stub, &error) || !makeInstallerPrefix(stub, o.format, &installerPrefix, &error))
      return fail(progress, o.installerStub + ": " + error);
    if (!startsSetup(inputs))
      fprintf(stderr, "%s: warning: the payload holds no setup.exe at its top: the installer will put the files in place and start nothing\n",
              programName);
  }

  for (const InputEntry& e : inputs) progress.total += e.size;
  progress.enabled = isatty(STDERR_FILENO) != 0 && !o.quiet;  // -q: no bar either

  PackJob job;
  job.method = o.method;
  job.solid = o.solid;
  job.password = o.password;
  job.settings = o.settings;
  job.layout.format = o.format;
  if (!o.installerStub.empty()) {
    job.layout.prefix = std::move(installerPrefix);
    // Old-format archives have no block that could close them.
    if (o.format == PackFormat::New) job.layout.endBlockHeadSize = 0;
  }
  job.entryTime = [&o](const InputEntry& e) { return entryTime(o, e.mtime); };
  if (o.verbose)
    job.onEntry = [&progress](const InputEntry& e) {
      progress.erase();
      printf("%s%s\n", e.displayName.c_str(), e.directory ? "/" : "");
      fflush(stdout);
    };
  if (progress.enabled) {
    job.settings.onProgress = [&progress](uint64_t bytes) { progress.within(bytes); };
    job.onFileStart = [&progress](uint64_t size) { progress.startFile(size); };
    job.onFileDone = [&progress](uint64_t size) { progress.advance(size); };
  }
  removeUnfinishedArchiveOnSignals();
  bool packed = packInputs(inputs, job, o.output, &error);
  progress.end();
  if (!packed) return fail(progress, error);
  struct stat written;
  uint64_t archiveBytes = stat(o.output.c_str(), &written) == 0 ? (uint64_t)written.st_size : 0;
  if (!o.quiet) printSummary(inputs, progress.total, archiveBytes, secondsSince(start));
  return ExitOk;
}
