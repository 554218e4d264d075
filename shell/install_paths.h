// Path handling of the install run, kept apart from the window and process calls so
// that it can be checked on any system. Paths use backslashes.
#pragma once

#include <stddef.h>

// The companion files copied from the executable's folder after a successful
// extraction, in the order they are copied (a later copy wins over an earlier one).
extern const char* const companionPatterns[];
enum { CompanionPatternCount = 7 };

// Removes one trailing backslash ("D:\Target\" gives "D:\Target", "D:\" gives "D:");
// an empty path stays empty.
void dropTrailingBackslash(char* path);

// Letters a to z become A to Z; every other byte stays.
void upperCaseAscii(char* text);

// The drive a path names: 1 for "A:...", 3 for "C:...", 0 when its second character
// is not ':' or its first is not a letter (the current drive is kept then).
int driveNumberOf(const char* path);

// folder + "\" + name into out (capacity bytes). False, with out empty, when the
// result would not fit: a cut path would name another file.
bool joinPath(const char* folder, const char* name, char* out, size_t capacity);

// The executable's path with everything after its last backslash replaced by name
// (the name alone when the path has no backslash). False, out empty, when too long.
bool besideExecutable(const char* executablePath, const char* name, char* out,
                      size_t capacity);

// destination + (a backslash unless it ends in one) + name. False, out empty, when
// the result would not fit.
bool intoDestination(const char* destination, const char* name, char* out, size_t capacity);

// The program's path as the child's command line: in double quotes when it holds a
// space or a tab, which would otherwise split it into several arguments; as it is
// otherwise. False, out empty, when the result would not fit.
bool commandLineArgument(const char* path, char* out, size_t capacity);
