#include "pack/unfinished_archive.h"

#include <limits.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

namespace {

// Read by the signal handler: the path is complete whenever `noted` is set.
struct UnfinishedArchive {
  char path[PATH_MAX];
  volatile sig_atomic_t noted;
};
UnfinishedArchive unfinished;

// SIGPIPE: -v lines into a pipe whose reader has gone; SIGXFSZ: a file size limit met;
// SIGABRT: memory or a thread that could not be had.
const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, SIGABRT};

// Only async-signal-safe calls: unlink, signal, raise.
void removeAndEnd(int signalNumber) {
  if (unfinished.noted) unlink(unfinished.path);
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);  // delivered as the handler returns, with the default action
}

}  // namespace

void noteUnfinishedArchive(const char* path) {
  unfinished.noted = 0;
  if (strlen(path) >= sizeof unfinished.path) return;
  strcpy(unfinished.path, path);
  unfinished.noted = 1;
}

void forgetUnfinishedArchive() { unfinished.noted = 0; }

void removeUnfinishedArchiveOnSignals() {
  for (int signalNumber : endingSignals) {
    struct sigaction previous;
    if (sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = removeAndEnd;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
  }
}
