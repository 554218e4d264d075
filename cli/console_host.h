// Settings and counts of the console host, filled from the command line before a run.
#pragma once

#include <stdint.h>

struct ConsoleHostSettings {
  const char* programName;  // prefix of problem texts on stderr
  const char* password;     // --password or LUMVARD_PASSWORD; null when neither is given
  bool stdinIsTerminal;     // questions and the password prompt need a terminal
  bool stderrIsTerminal;    // the progress bar is drawn: stderr is a terminal, and no -q
  bool quiet;               // -q: problems only
  bool verbose;             // -v: also the entries decoded only to keep a solid state, and sizes
  bool testing;             // --test: entries are "Testing", not "Extracting"
};

// What the run showed, for the closing summary.
struct ConsoleCounts {
  uint32_t files;      // entries extracted or tested
  uint32_t filesOk;    // of them, those that passed their checksum
  uint64_t bytesOk;    // their unpacked bytes
  uint32_t folders;    // folders made
  uint32_t problems;   // problem texts shown on stderr
};

extern ConsoleHostSettings consoleHost;
extern ConsoleCounts consoleCounts;

// Ends the run's output: a held status line is printed, the progress bar erased and
// the lines still buffered written out (before anything goes to stderr).
void finishConsoleProgress();

// Prints a problem on stderr ("lumvard-extract: text"), with the progress bar out of
// the way, and counts it.
void reportProblem(const char* text);

// The form of an engine text for the terminal: the destination folder dropped from the
// output paths in it, the current entry's name in UTF-8 with slashes, controls escaped.
void consoleText(const char* text, char* out, unsigned capacity);
