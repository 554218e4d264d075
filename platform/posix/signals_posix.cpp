// Signals on posix: a handler runs between any two instructions of the program, maybe
// inside malloc or stdio, where ending the run (closing files, freeing memory, printing
// the summary) could hang or garble them. So it only notes the signal; the engine ends
// the run at its next look. Without SA_RESTART a blocking read returns at the signal,
// so a question waiting for its answer does not keep the run from ending.
#include <signal.h>
#include <string.h>

#include "extract/session.h"
#include "platform/platform.h"
#include "platform/posix/signals_posix.h"

void catchSignalUnlessIgnored(int signalNumber, void (*handler)(int)) {
  struct sigaction inherited;
  if (sigaction(signalNumber, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) return;
  struct sigaction caught;
  memset(&caught, 0, sizeof caught);
  caught.sa_handler = handler;
  sigemptyset(&caught.sa_mask);
  sigaction(signalNumber, &caught, nullptr);
}

void platformCatchSignal(int signalNumber) { catchSignalUnlessIgnored(signalNumber, noteSignal); }
