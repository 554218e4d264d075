// Signals on Windows: the runtime calls a handler on a thread of its own, so the
// handler may end the run at once, as the installer always has.
#include <signal.h>

#include "extract/session.h"
#include "platform/platform.h"

void platformCatchSignal(int signalNumber) {
  if (signal(signalNumber, SIG_IGN) != SIG_IGN) signal(signalNumber, onSignal);
}
