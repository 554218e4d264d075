// Shell patterns over paths, as the console tools take them from their users.
#pragma once

#include <string>

// Whether path (UTF-8, '/' between folders) matches the shell pattern: '*' and '?'
// also match '/', '?' stands for one character. With leadingFolder a match of a
// folder above path counts too ("docs" matches "docs/a.txt").
bool pathPatternMatches(const char* pattern, const char* path, bool ignoreCase, bool leadingFolder);

// A pattern as typed, without the "./" before it or the '/' after it; empty when
// nothing else is left.
std::string trimmedPattern(std::string pattern);
