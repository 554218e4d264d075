// The MEMBER operands of lumvard-extract: which entries a run extracts, tests or lists.
#pragma once

// Takes a MEMBER as the user typed it: a path as the tool shows entries (UTF-8, '/'
// between folders; a backslash counts as one too), or a shell pattern. False when it
// is empty once a leading "./" and trailing separators are dropped.
bool addMember(const char* member);
bool membersGiven();
// Whether an entry (its name in the archive) is selected by a MEMBER; notes the ones
// that select it. Every entry is selected when no MEMBER is given.
bool memberSelects(const char* entryName);
// Reports each MEMBER that selected no entry; returns how many did not.
int reportUnmatchedMembers();
