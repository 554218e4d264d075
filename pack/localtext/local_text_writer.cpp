#include "pack/localtext/local_text_writer.h"

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

bool parseLanguage(const std::string& word, uint32_t& id) {
  static const struct {
    const char* name;
    uint32_t id;
  } names[] = {{"cs", 0x05}, {"de", 0x07}, {"en", 0x09}, {"ko", 0x12}, {"pl", 0x15}, {"sl", 0x24}};
  for (const auto& name : names)
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

bool parseLocalTextDescription(const std::string& text, std::vector<LocalTextLanguage>& languages,
                               std::string& error) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
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
      if (!parseLanguage(trim(content.substr(9)), language.languageId))
        return fail("unknown language '" + trim(content.substr(9)) + "'");
      languages.push_back(language);
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
