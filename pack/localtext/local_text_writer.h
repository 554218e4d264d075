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
  std::vector<int> lines;             // the description's line of each entry (0: none)
};

// The installer reads every text into a buffer of 256 bytes with its terminating zero.
enum { MaxLocalTextBytes = 255 };

// The file's bytes. The first language is the readers' fallback and must have at least
// one entry. Every text is stored scrambled with a plain zero byte after it, so that
// it reads back as exactly its bytes.
std::vector<unsigned char> buildLocalTextFile(const std::vector<LocalTextLanguage>& languages);

// Parses a description:
//   # comment
//   language de        (or a number: 7, 0x15; names: the installer's cs de en ko pl
//                       sl and da el es fi fr hu it ja nl no pt ru sv tr zh)
//   1 = Advanced Lumvard
//   2 = C:\LUMVARD
// Texts are taken byte for byte here; convertLocalTexts turns them into the target code
// page. Entries left out below the highest one given are empty. A language given twice
// is refused. On failure returns false and sets error to a message with the line number.
bool parseLocalTextDescription(const std::string& text, std::vector<LocalTextLanguage>& languages,
                               std::string& error);

// The Windows code page of a language's texts: 1250 for cs, hu, pl, sl; 1251 ru; 1253
// el; 1254 tr; 932 ja; 936 zh; 949 ko; 1252 for the others and for numbers.
int languageCodePage(uint32_t languageId);

// Converts every text from UTF-8 into codePage, or into each language's own code page
// when codePage is 0. Refuses, with the line number, a text that is not UTF-8, has a
// character the code page lacks, or is longer than MaxLocalTextBytes once converted.
bool convertLocalTexts(std::vector<LocalTextLanguage>& languages, int codePage, std::string& error);
