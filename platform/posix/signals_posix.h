// Signal handlers on posix that leave blocking reads to return (no SA_RESTART).
#pragma once

// Sets handler for signalNumber unless the process inherited it as ignored.
void catchSignalUnlessIgnored(int signalNumber, void (*handler)(int));
