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
// Texts are written in UTF-8 and converted into codePage, or into each language's own
// code page with LanguageCodePage; KeepBytes takes them byte for byte. A text that is
// not UTF-8, has a character the code page lacks, or takes more than MaxLocalTextBytes
// is refused, as is a language given twice. Entries left out below the highest one
// given are empty. On failure returns false and sets error to a message with the line
// number.
enum { KeepBytes = -1, LanguageCodePage = 0 };
bool parseLocalTextDescription(const std::string& text, std::vector<LocalTextLanguage>& languages,
                               std::string& error, int codePage = KeepBytes);

// The Windows code page of a language's texts: 1250 for cs, hu, pl, sl; 1251 ru; 1253
// el; 1254 tr; 932 ja; 936 zh; 949 ko; 1252 for the others and for numbers.
int languageCodePage(uint32_t languageId);

