// An output file written under a temporary name beside the one it replaces, and moved
// over it only when complete (the console tools' archives and text files).
#pragma once

#include <sys/types.h>

#include <string>

// Creates the temporary file beside path (its name with ".XXXXXX", cut short where the
// suffix would not fit); the descriptor, or -1 with errno. *temporary gets its path.
int createTemporaryBeside(const std::string& path, std::string* temporary);

// The permission bits of a file that replaces path: those of the file there (one made
// private stays private), else a new file's.
mode_t replacementMode(const std::string& path);
