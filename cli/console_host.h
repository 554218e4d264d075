// Settings of the console host, filled from the command line before a run.
#pragma once

struct ConsoleHostSettings {
  const char* programName;  // prefix of message-box texts on stderr
  const char* password;     // --password or LUMVARD_PASSWORD; null when neither is given
  bool stdinIsTerminal;     // questions and the password prompt need a terminal
  bool stderrIsTerminal;    // the progress bar is drawn only on a terminal
};

extern ConsoleHostSettings consoleHost;

// Ends the progress bar line, if one is drawn.
void finishConsoleProgress();
