// File-system operations on the archive and output files and folders.
#pragma once

// Whether a file or folder of that name exists.
bool fileExists(const char* name);
