// What the fuzz targets share: a private scratch folder, the engine put back to its
// start state before every input, and a way back from the engine's legitimate
// process ends (a fatal error calls exit) so that they end one input, not the fuzzer.
#pragma once

#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>

#include <string>

// A folder of this process below $TMPDIR (or /tmp), made on first use and removed at
// exit.
const std::string& scratchFolder();

// Writes size bytes to path (replacing the file); aborts when that fails.
void writeScratchFile(const std::string& path, const uint8_t* data, size_t size);

// Frees what the engine holds and puts every record back to its start state, with
// the English status texts, a title and a progress bar, as a host sets them up.
void resetEngineForFuzzing();

// While an engine call runs inside runGuarded, exit(code) from the engine comes back
// here instead of ending the process. Code 2 (a missing first volume, a read or close
// failure) is a legitimate end of a run on damaged input and returns false; code 255
// (a signal: the fuzzer is being stopped) really exits; any other code is a finding
// (the fuzz host always gives a password, writes go to a working folder, and the
// allocations are fixed in size), so it aborts. The current directory is put back
// afterwards.
bool runGuarded(void (*body)(void* context), void* context);
