// The version 2.0 decoder's multimedia steps.
#pragma once

// Runs audio steps back to back from the current state, the first at once, the next
// ones for as long as the step frame would have nothing to do before them. Returns
// true when the run ended on a table switch (symbol 256), whose header the caller
// reads next, in the same step.
bool runAudioSteps();
