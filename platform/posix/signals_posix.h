// Signal handlers on posix that leave blocking reads to return (no SA_RESTART), and a
// line read from the terminal that a caught signal cannot slip past.
#pragma once

#include <stddef.h>

// Sets handler for signalNumber unless the process inherited it as ignored.
void catchSignalUnlessIgnored(int signalNumber, void (*handler)(int));

// Reads one line from stdin (a terminal) into line, at most capacity - 1 bytes and the
// line feed, and ends the string. False at the end of input or on an error. A signal
// caught through catchSignalUnlessIgnored ends the run while it waits, even one that
// arrives between the question being printed and the wait.
bool readLineUnlessSignalled(char* line, size_t capacity);
