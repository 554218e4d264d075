// lumvard-extract --list: one line per entry from the headers alone, then totals.
#pragma once

// Lists the archive at path (already known to open); returns the exit code: 0, or 1
// when it is no archive or a header was damaged.
int listArchive(const char* path);

