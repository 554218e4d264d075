#include "cli/member_selection.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/reader.h"
#include "cli/console_host.h"
#include "cli/name_encoding.h"
#include "cli/path_pattern.h"
#include "extract/names.h"

namespace {

struct Member {
  std::string typed;    // as given, for the report
  std::string pattern;  // separators as '/', no leading "./", no trailing '/'
  bool literal;         // without wildcards: it can name one file at most
  bool matched;
  bool fileFound;       // a literal one named a file entry exactly
};

std::vector<Member> members;

std::string withSlashes(std::string text) {
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

}  // namespace

bool addMember(const char* member) {
  std::string pattern = trimmedPattern(withSlashes(member));
  if (pattern.empty()) return false;
  members.push_back({member, pattern, pattern.find_first_of("*?[") == std::string::npos, false, false});
  return true;
}

bool membersGiven() { return !members.empty(); }

// An entry is matched as the tool shows it: in UTF-8 with slashes, and without case, as
// the names of the system that made the archive are compared. A folder selects
// everything below it.
bool memberSelects(const char* entryName) {
  if (members.empty()) return true;
  char utf8[4 * 1024];
  nameToUtf8(entryName, strlen(entryName), utf8, sizeof utf8);
  std::string name = withSlashes(utf8);
  size_t start = name.find_first_not_of('/');
  const char* shown = start == std::string::npos ? "" : name.c_str() + start;
  bool folder = (archiveReader.entry.fileAttr & AttrDirectory) != 0;
  bool selected = false, allFound = true;
  for (Member& m : members) {
    if (pathPatternMatches(m.pattern.c_str(), shown, true, true)) {
      m.matched = true;
      selected = true;
      if (m.literal && !folder && pathPatternMatches(m.pattern.c_str(), shown, true, false)) m.fileFound = true;
    }
    allFound = allFound && m.fileFound;
  }
  // Once every MEMBER named a file, and no pattern or folder can take more, the rest
  // of the archive is not looked at (a second entry of the same name with it).
  selectionComplete = allFound;
  return selected;
}

int reportUnmatchedMembers() {
  int unmatched = 0;
  for (const Member& m : members) {
    if (m.matched) continue;
    char shown[4 * 1024], text[4 * 1024 + 64];
    escapeControls(m.typed.c_str(), shown, sizeof shown, false);
    snprintf(text, sizeof text, "%s: not in the archive", shown);
    reportProblem(text);
    unmatched++;
  }
  return unmatched;
}
