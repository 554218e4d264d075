// The version 2.0 decoder's multimedia steps.
#pragma once

// Runs audio steps back to back from the current state, the first at once, the next
// ones for as long as the step frame would have nothing to do before them. Returns
// true when the run ended on a table switch (symbol 256), whose header the caller
// reads next, in the same step.
bool runAudioSteps();

// Which loop runs: 1 (the start) the one written out for the block's channel count, 0
// the one that loops over the channels, which is all a build with LUMVARD_ONE_AUDIO_LOOP
// has (the installer: the loops per count cost more code than it has room for). Tests
// set 0 to run both.
extern int audioLoopPerCount;
