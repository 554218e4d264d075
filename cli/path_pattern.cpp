#include "cli/path_pattern.h"

#include <fnmatch.h>
#include <locale.h>

std::string trimmedPattern(std::string pattern) {
  while (pattern.compare(0, 2, "./") == 0) pattern.erase(0, pattern.find_first_not_of('/', 1));
  while (!pattern.empty() && pattern.back() == '/') pattern.pop_back();
  return pattern;
}

bool pathPatternMatches(const char* pattern, const char* path, bool ignoreCase, bool leadingFolder) {
  // Only the match runs in a UTF-8 locale, so that '?' takes a whole character and case
  // is folded beyond ASCII: the rest of the tool keeps the C locale.
  static locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
  locale_t previous = utf8Locale != (locale_t)0 ? uselocale(utf8Locale) : (locale_t)0;
  int flags = FNM_NOESCAPE | (ignoreCase ? FNM_CASEFOLD : 0) | (leadingFolder ? FNM_LEADING_DIR : 0);
  bool matches = fnmatch(pattern, path, flags) == 0;
  if (previous != (locale_t)0) uselocale(previous);
  return matches;
}
