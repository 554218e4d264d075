#include "pack/localtext/local_text_writer.h"

#include <errno.h>
#include <iconv.h>

#include <cstdlib>
#include <sstream>

namespace {
void putNumber(std::vector<unsigned char>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = (unsigned char)(value >> (8 * i));
}

std::string trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

// Windows primary language ids and the ANSI code page of each.
const struct {
  const char* name;
  uint32_t id;
  int codePage;
} knownLanguages[] = {
    {"zh", 0x04, 936},  {"cs", 0x05, 1250}, {"da", 0x06, 1252}, {"de", 0x07, 1252}, {"el", 0x08, 1253},
    {"en", 0x09, 1252}, {"es", 0x0A, 1252}, {"fi", 0x0B, 1252}, {"fr", 0x0C, 1252}, {"hu", 0x0E, 1250},
    {"it", 0x10, 1252}, {"ja", 0x11, 932},  {"ko", 0x12, 949},  {"nl", 0x13, 1252}, {"no", 0x14, 1252},
    {"pl", 0x15, 1250}, {"pt", 0x16, 1252}, {"ru", 0x19, 1251}, {"sv", 0x1D, 1252}, {"tr", 0x1F, 1254},
    {"sl", 0x24, 1250},
};

bool parseLanguage(const std::string& word, uint32_t& id) {
  for (const auto& name : knownLanguages)
    if (word == name.name) {
      id = name.id;
      return true;
    }
  char* end = nullptr;
  unsigned long value = std::strtoul(word.c_str(), &end, 0);
  if (word.empty() || *end || value > 0x3FF) return false;
  id = (uint32_t)value;
  return true;
}

// Entries stored for a language: trailing empty texts are left out, so that the reader
// fails on them and the installer keeps its built-in text. A stored empty text would
// count as delivered and leave the caller's buffer as it is, which for the proposed
// folder is an empty field.
size_t storedEntries(const LocalTextLanguage& language) {
  size_t count = language.entries.size();
  while (count > 0 && language.entries[count - 1].empty()) --count;
  return count;
}
}  // namespace

std::vector<unsigned char> buildLocalTextFile(const std::vector<LocalTextLanguage>& languages) {
  const size_t headerSize = 12, languageEntrySize = 8, stringEntrySize = 12;
  size_t tablesSize = 0;
  for (const auto& language : languages) tablesSize += 4 + storedEntries(language) * stringEntrySize;
  const size_t tablesStart = headerSize + languages.size() * languageEntrySize;
  std::vector<unsigned char> out(tablesStart + tablesSize, 0);
  putNumber(out, 0, 2);
  putNumber(out, 4, (uint32_t)languages.size());

  // The string area begins with the first language's first string, as the checksum
  // covers everything from there to the end of the file.
  size_t table = tablesStart;
  for (size_t l = 0; l < languages.size(); ++l) {
    putNumber(out, headerSize + l * languageEntrySize, languages[l].languageId);
    putNumber(out, headerSize + l * languageEntrySize + 4, (uint32_t)table);
    const size_t count = storedEntries(languages[l]);
    putNumber(out, table, (uint32_t)count);
    for (size_t e = 0; e < count; ++e) {
      const std::string& text = languages[l].entries[e];
      const size_t entry = table + 4 + e * stringEntrySize;
      const uint32_t length = text.empty() ? 0 : (uint32_t)text.size() + 1;
      putNumber(out, entry + 4, length);
      putNumber(out, entry + 8, (uint32_t)out.size());
      for (size_t j = 0; j < text.size(); ++j)
        out.push_back((unsigned char)text[j] ^ (unsigned char)(0x6D + j));
      if (length) out.push_back(0);
    }
    table += 4 + count * stringEntrySize;
  }

  unsigned char checksum = 0;
  if (!languages.empty() && storedEntries(languages[0]) > 0) {
    uint32_t areaStart = (uint32_t)out[tablesStart + 12] | (uint32_t)out[tablesStart + 13] << 8 |
                         (uint32_t)out[tablesStart + 14] << 16 |
                         (uint32_t)out[tablesStart + 15] << 24;
    for (size_t i = areaStart; i < out.size(); ++i) checksum ^= out[i];
  }
  out[8] = checksum;
  return out;
}

namespace {
// UTF-8 text into a code page; false with the reason when it cannot be written there.
bool toCodePage(int codePage, const std::string& text, std::string& out, std::string& reason) {
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t converter = iconv_open(name.c_str(), "UTF-8");
  if (converter == (iconv_t)-1) {
    reason = "code page " + std::to_string(codePage) + " is not supported by iconv";
    return false;
  }
  std::string input = text;
  std::vector<char> output(text.size() * 4 + 16);
  char* in = &input[0];
  char* o = output.data();
  size_t inLeft = input.size(), outLeft = output.size();
  bool converted = iconv(converter, &in, &inLeft, &o, &outLeft) != (size_t)-1 &&
                   iconv(converter, nullptr, nullptr, &o, &outLeft) != (size_t)-1;
  iconv_close(converter);
  out.assign(output.data(), (size_t)(o - output.data()));
  if (converted && out.find('\0') == std::string::npos) return true;
  reason = "the text is not UTF-8 or has a character code page " + std::to_string(codePage) + " cannot write";
  return false;
}
}  // namespace

bool parseLocalTextDescription(const std::string& text, std::vector<LocalTextLanguage>& languages,
                               std::string& error, int codePage) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  std::vector<int> blockLines;  // where each language's block starts
  languages.clear();
  auto fail = [&](const std::string& message) {
    error = "line " + std::to_string(number) + ": " + message;
    return false;
  };
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string content = trim(line);
    if (content.empty() || content[0] == '#') continue;
    if (content.compare(0, 9, "language ") == 0 || content.compare(0, 9, "language\t") == 0) {
      LocalTextLanguage language;
      const std::string name = trim(content.substr(9));
      if (!parseLanguage(name, language.languageId))
        return fail("unknown language '" + name + "' (a name such as de or fr, or a number up to 0x3FF)");
      for (size_t i = 0; i < languages.size(); ++i)
        if (languages[i].languageId == language.languageId)
          return fail("language '" + name + "' has a block already, from line " + std::to_string(blockLines[i]));
      languages.push_back(language);
      blockLines.push_back(number);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return fail("expected 'language NAME' or 'N = text'");
    if (languages.empty()) return fail("an entry before any 'language' line");
    const std::string key = trim(line.substr(0, equals));
    char* end = nullptr;
    const unsigned long entry = std::strtoul(key.c_str(), &end, 10);
    if (key.empty() || *end || entry < 1 || entry > 1000) return fail("bad entry number '" + key + "'");
    std::string value = line.substr(equals + 1);
    if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    if (codePage != KeepBytes) {
      const int page = codePage != LanguageCodePage ? codePage : languageCodePage(languages.back().languageId);
      std::string converted, reason;
      if (!toCodePage(page, value, converted, reason)) return fail(reason);
      value = converted;
    }
    if (value.size() > MaxLocalTextBytes)
      return fail("the text takes " + std::to_string(value.size()) + " bytes; the installer holds at most " +
                  std::to_string((int)MaxLocalTextBytes));
    auto& entries = languages.back().entries;
    if (entries.size() < entry) entries.resize(entry);
    entries[entry - 1] = value;
  }
  if (languages.empty()) return fail("no language given");
  // The checksum area starts at the first language's first string: that language needs
  // a stored entry, and the area must not be empty.
  if (storedEntries(languages[0]) == 0) return fail("the first language needs at least one text");
  for (const auto& language : languages)
    if (language.entries.size() > 2 && language.entries[1].empty())
      return fail("an empty entry 2 before later ones would blank the proposed folder");
  return true;
}

int languageCodePage(uint32_t languageId) {
  for (const auto& language : knownLanguages)
    if (language.id == languageId) return language.codePage;
  return 1252;
}

