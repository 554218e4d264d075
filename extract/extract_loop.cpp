// Placeholder until the extraction loop lands: a run processes nothing.
#include "extract/extract_loop.h"

#include "extract/session.h"

void extractArchives() { session.exitCode = ExitWarning; }

bool askPassword() { return false; }
