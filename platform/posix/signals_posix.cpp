// Signals on posix: a handler runs between any two instructions of the program, maybe
// inside malloc or stdio, where ending the run (closing files, freeing memory, printing
// the summary) could hang or garble them. So it only notes the signal; the engine ends
// the run at its next look. Without SA_RESTART a blocking read returns at the signal,
// so a question waiting for its answer does not keep the run from ending.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include "extract/session.h"
#include "platform/platform.h"
#include "platform/posix/signals_posix.h"

// The signals given a handler, which a terminal read holds off until it waits (all
// bits zero is the empty set here).
static sigset_t caughtSignals;

void catchSignalUnlessIgnored(int signalNumber, void (*handler)(int)) {
  struct sigaction inherited;
  if (sigaction(signalNumber, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) return;
  sigaddset(&caughtSignals, signalNumber);
  struct sigaction caught;
  memset(&caught, 0, sizeof caught);
  caught.sa_handler = handler;
  sigemptyset(&caught.sa_mask);
  sigaction(signalNumber, &caught, nullptr);
}

void platformCatchSignal(int signalNumber) { catchSignalUnlessIgnored(signalNumber, noteSignal); }

// A look at the noted signal followed by a plain read leaves a gap: a signal landing
// after the look is noted and then slept through, and the question waits for a key that
// never comes. So the caught signals are held off from the look until the wait, and
// ppoll lets them in only for as long as it waits, in one step with the wait.
bool readLineUnlessSignalled(char* line, size_t capacity) {
  sigset_t before;
  sigprocmask(SIG_BLOCK, &caughtSignals, &before);
  size_t used = 0;
  bool gotLine = false;
  for (;;) {
    servicePendingSignal();  // ends the run when a signal was noted
    struct pollfd input = {STDIN_FILENO, POLLIN, 0};
    if (ppoll(&input, 1, nullptr, &before) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    // One byte at a time, so that nothing past the line feed is taken from the terminal.
    char byte;
    ssize_t got = read(STDIN_FILENO, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      gotLine = used > 0;
      break;
    }
    if (used + 1 < capacity) line[used++] = byte;
    if (byte == '\n') {
      gotLine = true;
      break;
    }
  }
  if (capacity > 0) line[used < capacity ? used : capacity - 1] = 0;
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return gotLine;
}
