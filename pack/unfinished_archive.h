// The archive being written lies under a temporary name beside OUTPUT until it is
// complete. A signal that ends the run removes it there, so that neither a partial
// archive nor its space is left behind; what OUTPUT names stays as it was.
#pragma once

// The temporary file now being written; forgotten once renamed or removed.
void noteUnfinishedArchive(const char* path);
void forgetUnfinishedArchive();

// From here on SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ and SIGABRT (an abort
// when memory runs out) remove the noted file before they end the process as they would
// have. A signal ignored at the start stays ignored.
void removeUnfinishedArchiveOnSignals();
