// Builds localised text files ("lmvtid.tdx") that the installer reads: per language a
// numbered list of texts (entry 1 the title, entry 2 the proposed destination folder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LocalTextLanguage {
  uint32_t languageId = 0;            // primary language id: 7 German, 9 English, ...
  std::vector<std::string> entries;   // entry 1 first; an empty text keeps the built-in one
                                      // (trailing ones are not stored at all)
};

// The file's bytes. The first language is the readers' fallback and must have at least
// one entry. Every text is stored scrambled with a plain zero byte after it, so that
// it reads back as exactly its bytes.
std::vector<unsigned char> buildLocalTextFile(const std::vector<LocalTextLanguage>& languages);

// Parses a description:
//   # comment
//   language de        (or a number: 7, 0x15; names: cs de en ko pl sl)
//   1 = Advanced Lumvard
//   2 = C:\LUMVARD
// Texts are taken byte for byte (write them in the target system's code page). Entries
// left out below the highest one given are empty. On failure returns false and sets
// error to a message with the line number.
bool parseLocalTextDescription(const std::string& text, std::vector<LocalTextLanguage>& languages,
                               std::string& error);
