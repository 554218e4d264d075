// lumvard-pack: writes an archive of files and folders, stored or compressed.
//
//   lumvard-pack [--method store|2.0|1.5] [--format new|old] [--solid|--no-solid] [--password TEXT]
//                [--multimedia auto|on|off] [--mtime YYYY-MM-DDTHH:MM:SS]
//                [--codepage N] [--level 1..5] [--threads N] [--installer STUB]
//                [-C DIR] -o OUTPUT INPUT...
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
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "pack/archive_writer.h"
#include "pack/installer_layout.h"
#include "pack/input_walk.h"
#include "pack/pack_methods.h"
#include "pack/pack_run.h"

namespace {

enum { ExitOk = 0, ExitFailure = 1, ExitUsage = 64 };
enum { MaxOldNameBytes = 80 };

const char* const programName = "lumvard-pack";

struct Options {
  const PackMethod* method = findPackMethod("2.0");
  bool methodGiven = false;
  PackFormat format = PackFormat::New;
  bool solid = true;
  std::string password;
  PackSettings settings;
  std::optional<uint32_t> fixedTime;  // --mtime as an MS-DOS date-time
  int codePage = 1252;
  std::string installerStub;  // --installer: the executable the archive is appended to
  std::string directory;
  std::string output;
  std::vector<std::string> inputs;
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

bool parseTime(Options& o, const char* v, std::string* error) {
  int year, month, day, hour, minute, second;
  char tail;
  if (sscanf(v, "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &tail) != 6 ||
      year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0 ||
      day > daysInMonth(year, month)) {
    *error = std::string("--mtime wants YYYY-MM-DDTHH:MM:SS between 1980 and 2107, not ") + v;
    return false;
  }
  o.fixedTime = dosTime(year, month, day, hour, minute, second);
  return true;
}

bool parseCodePage(Options& o, const char* v, std::string* error) {
  char* end;
  long n = strtol(v, &end, 10);
  if (*v == 0 || *end != 0 || n <= 0 || n > 65535) {
    *error = std::string("--codepage wants a code page number, not ") + v;
    return false;
  }
  o.codePage = (int)n;
  return true;
}

bool parseLevel(Options& o, const char* v, std::string* error) {
  char* end;
  long n = strtol(v, &end, 10);
  if (*v == 0 || *end != 0 || n < MinPackLevel || n > MaxPackLevel) {
    *error = std::string("--level takes 1 (fastest) to 5 (smallest), not ") + v;
    return false;
  }
  o.settings.level = (int)n;
  return true;
}

bool parseThreads(Options& o, const char* v, std::string* error) {
  char* end;
  long n = strtol(v, &end, 10);
  if (*v == 0 || *end != 0 || n < 1 || n > 1024) {
    *error = std::string("--threads wants a number of threads, not ") + v;
    return false;
  }
  o.settings.threads = (int)n;
  return true;
}

struct OptionSpec {
  const char* name;
  bool takesValue;
  bool (*apply)(Options&, const char*, std::string*);
};

const OptionSpec optionSpecs[] = {
    {"--method", true, parseMethod},
    {"--format", true, parseFormat},
    {"--solid", false, [](Options& o, const char*, std::string*) { return o.solid = true; }},
    {"--no-solid", false, [](Options& o, const char*, std::string*) { o.solid = false; return true; }},
    {"--password", true,
     [](Options& o, const char* v, std::string* error) {
       if (*v == 0 || strlen(v) > 127) {
         *error = "--password wants 1 to 127 bytes";
         return false;
       }
       o.password = v;
       return true;
     }},
    {"--multimedia", true, parseMultimedia},
    {"--mtime", true, parseTime},
    {"--codepage", true, parseCodePage},
    {"--level", true, parseLevel},
    {"--threads", true, parseThreads},
    {"--installer", true,
     [](Options& o, const char* v, std::string* error) {
       if (*v == 0) {
         *error = "--installer wants the installer executable";
         return false;
       }
       o.installerStub = v;
       return true;
     }},
    {"-C", true, [](Options& o, const char* v, std::string*) { o.directory = v; return true; }},
    {"-o", true, [](Options& o, const char* v, std::string*) { o.output = v; return true; }},
};

int usage(FILE* to) {
  fprintf(to,
          "usage: %s [--method store|2.0|1.5] [--format new|old] [--solid|--no-solid]\n"
          "       [--password TEXT]\n"
          "       [--multimedia auto|on|off] [--mtime YYYY-MM-DDTHH:MM:SS] [--codepage N]\n"
          "       [--level 1..5] [--threads N] [--installer STUB] [-C DIR] -o OUTPUT INPUT...\n"
          "  INPUT          files and folders relative to DIR, stored under the path given;\n"
          "                 \".\" stores DIR's contents without a prefix\n"
          "  --method       store, 2.0 (default) or 1.5\n"
          "  --format       new (default), or old: the old header generation, which carries\n"
          "                 store and 1.5 (its default there) and the 1.3 cipher\n"
          "  --solid        one compression state across files (default); --no-solid: each\n"
          "                 file on its own\n"
          "  --password     encrypt every file\n"
          "  --multimedia   audio blocks for sampled sound and pictures: auto (default: files\n"
          "                 whose header says PCM WAV or 24/32-bit BMP), on (every file is\n"
          "                 tried), off\n"
          "  --mtime        stamp every entry with this local time (reproducible archives)\n"
          "  --codepage     single-byte code page of the names (default 1252)\n"
          "  --level        1 (fastest) to 5 (smallest), default 3; the archive does not\n"
          "                 record it and extracts the same way\n"
          "  --threads      threads that compress (default: one per core, at most 8); the\n"
          "                 archive's bytes do not depend on it\n"
          "  --installer    write an installer: the installer executable STUB with the\n"
          "                 archive appended where it searches for it (offsets 98304 to\n"
          "                 196607), closed by an end block\n",
          programName);
  return to == stderr ? ExitUsage : ExitOk;
}

// 0: parsed; else the exit code.
int parseCommandLine(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) return usage(stdout) + 1000;
    if (strcmp(arg, "--") == 0) {
      for (i++; i < argc; i++) o->inputs.push_back(argv[i]);
      break;
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : optionSpecs)
      if (strcmp(arg, s.name) == 0) spec = &s;
    if (spec == nullptr) {
      if (arg[0] == '-' && arg[1] != 0) {
        fprintf(stderr, "%s: unknown option %s\n", programName, arg);
        return usage(stderr);
      }
      o->inputs.push_back(arg);
      continue;
    }
    const char* value = "";
    if (spec->takesValue) {
      if (i + 1 >= argc) {
        fprintf(stderr, "%s: %s needs a value\n", programName, arg);
        return usage(stderr);
      }
      value = argv[++i];
    }
    std::string error;
    if (!spec->apply(*o, value, &error)) {
      fprintf(stderr, "%s: %s\n", programName, error.c_str());
      return ExitUsage;
    }
  }
  if (o->output.empty() || o->inputs.empty()) return usage(stderr);
  if (o->format == PackFormat::Old) {
    if (!o->methodGiven) o->method = findPackMethod("1.5");
    if (!o->method->oldFormat) {
      fprintf(stderr, "%s: old-format archives carry the methods store and 1.5, not %s\n", programName,
              o->method->name);
      return ExitUsage;
    }
  }
  return 0;
}

// ---- files ----

bool readWholeFile(const std::string& path, uint64_t expected, std::vector<uint8_t>* out,
                   std::string* error) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) {
    *error = strerror(errno);
    return false;
  }
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

uint32_t dosTimeOf(time_t t) {
  struct tm local;
  if (localtime_r(&t, &local) == nullptr || local.tm_year + 1900 < 1980) return dosTime(1980, 1, 1, 0, 0, 0);
  if (local.tm_year + 1900 > 2107) return dosTime(2107, 12, 31, 23, 59, 58);
  return dosTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                 local.tm_sec);
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
  void end() {
    if (enabled && shown >= 0) fputc('\n', stderr);
  }
};

int fail(Progress& progress, const std::string& message) {
  progress.end();
  fprintf(stderr, "%s: %s\n", programName, message.c_str());
  return ExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  long cores = sysconf(_SC_NPROCESSORS_ONLN);
  o.settings.threads = cores > 0 ? (int)cores : 1;
  int parsed = parseCommandLine(argc, argv, &o);
  if (parsed >= 1000) return parsed - 1000;
  if (parsed != 0) return parsed;

  Progress progress;
  NameConverter names(o.codePage);
  if (!names.valid()) return fail(progress, "code page " + std::to_string(o.codePage) + " is not supported");
  std::string outputFromBase = o.output;  // the output, seen from the walk
  if (!o.directory.empty() && o.output[0] != '/') {
    char here[4096];
    if (getcwd(here, sizeof here) != nullptr) outputFromBase = std::string(here) + "/" + o.output;
  }
  std::vector<InputEntry> inputs;
  std::string error;
  if (!collectInputs(o.inputs, o.directory, names, outputFromBase, &inputs, &error)) return fail(progress, error);
  // Old headers hold names of at most 80 bytes; a reader ends the archive at a longer one.
  if (o.format == PackFormat::Old)
    for (const InputEntry& e : inputs)
      if (e.archiveName.size() > MaxOldNameBytes)
        return fail(progress, e.displayName + ": a name in an old-format archive takes at most 80 bytes");

  std::vector<uint8_t> installerPrefix;
  if (!o.installerStub.empty()) {
    struct stat info;
    std::vector<uint8_t> stub;
    if (stat(o.installerStub.c_str(), &info) != 0) return fail(progress, o.installerStub + ": " + strerror(errno));
    if (!S_ISREG(info.st_mode)) return fail(progress, o.installerStub + ": not a file");
    if (!readWholeFile(o.installerStub, (uint64_t)info.st_size, &stub, &error) ||
        !makeInstallerPrefix(stub, o.format, &installerPrefix, &error))
      return fail(progress, o.installerStub + ": " + error);
  }

  for (const InputEntry& e : inputs) progress.total += e.size;
  progress.enabled = isatty(STDERR_FILENO) != 0;

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
  job.entryTime = [&o](const InputEntry& e) { return o.fixedTime ? *o.fixedTime : dosTimeOf(e.mtime); };
  if (progress.enabled) {
    job.settings.onProgress = [&progress](uint64_t bytes) { progress.within(bytes); };
    job.onFileStart = [&progress](uint64_t size) { progress.startFile(size); };
    job.onFileDone = [&progress](uint64_t size) { progress.advance(size); };
  }
  bool packed = packInputs(inputs, job, o.output, &error);
  progress.end();
  if (!packed) return fail(progress, error);
  return ExitOk;
}
