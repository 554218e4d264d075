// lumvard-extract: extracts an archive (or an installer's payload) on a console with
// the installer's own engine.
//
//   lumvard-extract [--password TEXT] [--test] ARCHIVE DESTINATION
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "cli/console_host.h"
#include "extract/session.h"
#include "shell/resources/string_ids.h"

enum { ExitUsage = 64 };

static int usage() {
  fprintf(stderr,
          "usage: lumvard-extract [--password TEXT] [--test] ARCHIVE DESTINATION\n"
          "  --password TEXT  password of encrypted entries (else $LUMVARD_PASSWORD,\n"
          "                   else asked on the terminal)\n"
          "  --test           decode and check every entry, write nothing\n");
  return ExitUsage;
}

// The engine changes the current directory while it scans for the archive, so both
// paths are made absolute first.
static bool makeAbsolute(const char* path, char* out, size_t capacity) {
  if (path[0] == '/') {
    if (strlen(path) >= capacity) return false;
    strcpy(out, path);
    return true;
  }
  char here[PATH_MAX];
  if (getcwd(here, sizeof here) == nullptr) return false;
  int written = snprintf(out, capacity, "%s/%s", here, path);
  return written > 0 && (size_t)written < capacity;
}

// A closed terminal (SIGHUP) or a quit key (SIGQUIT) ends the run like a termination:
// the partly written file is removed, no finished one, and no box is shown. A signal
// the process inherited as ignored stays ignored.
static void endLikeTermination(int) { onSignal(SIGTERM); }

static void installConsoleSignals() {
  static const int signals[] = {SIGHUP, SIGQUIT};
  for (int signalNumber : signals)
    if (signal(signalNumber, SIG_IGN) != SIG_IGN) signal(signalNumber, endLikeTermination);
}

int main(int argc, char** argv) {
  const char* positional[2] = {nullptr, nullptr};
  int positionalCount = 0;
  bool test = false;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--password") == 0 && i + 1 < argc) {
      consoleHost.password = argv[++i];
    } else if (strcmp(argv[i], "--test") == 0) {
      test = true;
    } else if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      usage();
      return 0;
    } else if (argv[i][0] == '-' && argv[i][1] == '-' && argv[i][2] != 0) {
      fprintf(stderr, "lumvard-extract: unknown option %s\n", argv[i]);
      return usage();
    } else if (positionalCount < 2) {
      positional[positionalCount++] = argv[i];
    } else {
      return usage();
    }
  }
  if (positionalCount != 2) return usage();
  if (consoleHost.password == nullptr) consoleHost.password = getenv("LUMVARD_PASSWORD");
  consoleHost.stdinIsTerminal = isatty(STDIN_FILENO) != 0;
  consoleHost.stderrIsTerminal = isatty(STDERR_FILENO) != 0;

  char archive[PathCapacity];
  char destination[PathCapacity];
  if (!makeAbsolute(positional[0], archive, sizeof archive) ||
      !makeAbsolute(positional[1], destination, sizeof destination)) {
    fprintf(stderr, "lumvard-extract: path too long\n");
    return ExitUsage;
  }

  char title[sizeof appTitle];
  hostLoadString(IDS_TITLE, title, sizeof title);
  memcpy(appTitle, title, sizeof appTitle);
  loadStatusTexts();
  session.testOnly = test;
  static char consoleBar;
  progressBar = &consoleBar;

  installConsoleSignals();
  int result = runExtraction(nullptr, archive, destination);
  finishConsoleProgress();
  return result;
}
