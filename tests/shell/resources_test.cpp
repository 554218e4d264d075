// The translated string tables against the catalogue: the same ids, the same format
// conversions, texts that fit the buffers the program loads them into, and files in
// the code page they declare.
#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {
struct CatalogueLine {
  std::string name;
  int id;
  std::string text;  // with the C escapes resolved
};

std::string sourceDir() {
  const char* dir = getenv("LUMVARD_SOURCE_DIR");
  return dir ? dir : LUMVARD_TEST_SOURCE_DIR;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string unescape(const std::string& quoted) {
  std::string out;
  for (size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] != '\\' || i + 1 == quoted.size()) {
      out += quoted[i];
      continue;
    }
    const char next = quoted[++i];
    out += next == 'n' ? '\n' : next == 't' ? '\t' : next;
  }
  return out;
}

std::vector<CatalogueLine> readCatalogue(const std::string& file) {
  std::vector<CatalogueLine> lines;
  static const std::regex line(R"re(^LUMVARD_STRING\((\w+), (\d+), "(.*)"\)\s*$)re");
  std::istringstream in(readText(sourceDir() + "/shell/resources/" + file));
  std::string text;
  while (std::getline(in, text)) {
    std::smatch match;
    if (text.rfind("LUMVARD_STRING(", 0) != 0) continue;
    EXPECT_TRUE(std::regex_match(text, match, line)) << file << ": " << text;
    if (!match.empty()) lines.push_back({match[1], std::stoi(match[2]), unescape(match[3])});
  }
  return lines;
}

std::vector<std::string> conversions(const std::string& text) {
  static const std::regex conversion(R"(%[-+ #0]*\d*(?:\.\d+)?(?:l|h)?[diouxXsc%])");
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), conversion);
       it != std::sregex_iterator(); ++it)
    found.push_back(it->str());
  return found;
}

// Decodes from a code page to UTF-8; false when a byte sequence is not valid there.
bool decode(const std::string& bytes, const char* codePage, std::string& utf8) {
  iconv_t converter = iconv_open("UTF-8", codePage);
  if (converter == (iconv_t)-1) return false;
  std::vector<char> in(bytes.begin(), bytes.end()), out(bytes.size() * 4 + 16);
  char* inPointer = in.data();
  char* outPointer = out.data();
  size_t inLeft = in.size(), outLeft = out.size();
  const bool ok = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) != (size_t)-1;
  iconv_close(converter);
  utf8.assign(out.data(), outPointer);
  return ok;
}

struct Language {
  const char* code;
  const char* codePage;
  const char* pragma;
  const char* probe;  // a word of the file as UTF-8
};
const Language languages[] = {
    {"cs", "CP1250", "#pragma code_page(1250)", "p\xC5\x99\x65ru\xC5\xA1\x65na"},  // přerušena
    {"de", "CP1252", "#pragma code_page(1252)", "Schlie\xC3\x9F\x65n"},            // Schließen
    {"ko", "CP949", "#pragma code_page(949)", "\xEC\x84\xA4\xEC\xB9\x98"},           // 설치
    {"pl", "CP1250", "#pragma code_page(1250)", "B\xC5\x82\xC4\x85\x64"},           // Błąd
    {"sl", "CP1250", "#pragma code_page(1250)", "Napa\xC4\x8Dno"},                  // Napačno
};

// Buffers the program loads these strings into (terminator included).
const std::map<int, size_t> bufferSizes = {{4, 32}, {5, 80}, {8, 32}, {9, 10}, {10, 10},
                                           {11, 32}, {70, 200}, {403, 256}};

TEST(StringTables, EveryLanguageHasExactlyTheCatalogueIds) {
  const auto english = readCatalogue("catalogue.def");
  ASSERT_GT(english.size(), 30u);
  for (const Language& language : languages) {
    const auto translated = readCatalogue(std::string("strings_") + language.code + ".def");
    ASSERT_EQ(translated.size(), english.size()) << language.code;
    for (size_t i = 0; i < english.size(); ++i) {
      EXPECT_EQ(translated[i].id, english[i].id) << language.code;
      EXPECT_EQ(translated[i].name, english[i].name) << language.code;
    }
  }
}

TEST(StringTables, TranslationsKeepTheFormatConversions) {
  const auto english = readCatalogue("catalogue.def");
  for (const Language& language : languages) {
    const auto translated = readCatalogue(std::string("strings_") + language.code + ".def");
    for (size_t i = 0; i < english.size() && i < translated.size(); ++i)
      EXPECT_EQ(conversions(translated[i].text), conversions(english[i].text))
          << language.code << " string " << english[i].id << ": " << translated[i].text;
  }
}

TEST(StringTables, TextsFitTheBuffersTheyAreLoadedInto) {
  std::vector<std::pair<std::string, std::vector<CatalogueLine>>> tables = {
      {"en", readCatalogue("catalogue.def")}};
  for (const Language& language : languages)
    tables.push_back({language.code, readCatalogue(std::string("strings_") + language.code + ".def")});
  for (const auto& [code, table] : tables)
    for (const auto& line : table) {
      auto size = bufferSizes.find(line.id);
      if (size != bufferSizes.end()) {
        EXPECT_LT(line.text.size(), size->second) << code << " string " << line.id;
      }
      if (line.id == 4) {
        EXPECT_EQ(line.text, "setup.exe") << code;
      }
      if (line.id == 403) {
        EXPECT_EQ(line.text, "C:\\LUMVARD") << code;
      }
    }
}

TEST(StringTables, StatusLinesLineUpTheirNames) {
  // Extracting, creating and skipping put the name in the same column; the byte count
  // of the code page is the column count, double-width Korean included.
  std::vector<std::pair<std::string, std::vector<CatalogueLine>>> tables = {
      {"en", readCatalogue("catalogue.def")}};
  for (const Language& language : languages)
    tables.push_back({language.code, readCatalogue(std::string("strings_") + language.code + ".def")});
  for (const auto& [code, table] : tables) {
    std::map<int, size_t> column;
    for (const auto& line : table)
      if (line.id == 8 || line.id == 11 || line.id == 31 || line.id == 32) column[line.id] = line.text.find('%');
    ASSERT_EQ(column.size(), 4u) << code;
    for (int id : {11, 31, 32}) EXPECT_EQ(column[id], column[8]) << code << " string " << id;
  }
}

TEST(StringTables, FilesAreInTheCodePageTheyDeclare) {
  for (const Language& language : languages) {
    for (const std::string& file : {std::string("strings_") + language.code + ".def",
                                    std::string("lang_") + language.code + ".rc"}) {
      const std::string bytes = readText(sourceDir() + "/shell/resources/" + file);
      std::string utf8;
      EXPECT_TRUE(decode(bytes, language.codePage, utf8)) << file;
      if (file[0] == 'l') {
        EXPECT_NE(bytes.find(language.pragma), std::string::npos) << file;
      }
      if (file[0] == 's') {
        EXPECT_NE(utf8.find(language.probe), std::string::npos) << file;
      }
    }
    // Texts saved as UTF-8 by mistake would still decode in a single-byte code page.
    std::string asUtf8;
    const std::string bytes = readText(sourceDir() + "/shell/resources/strings_" + language.code + ".def");
    EXPECT_FALSE(decode(bytes, "UTF-8", asUtf8)) << language.code;
  }
}

// Every language block defines each dialog and the menu of the English one, once, with a
// caption; a caption template holds exactly the English placeholders, so every caption
// follows the title the same way.
TEST(StringTables, DialogCaptionsHoldTheEnglishPlaceholders) {
  static const std::regex caption(R"re(^(\w+)\("([^"]*)")re", std::regex::multiline);
  auto captions = [](const std::string& code) {
    const std::string text = readText(sourceDir() + "/shell/resources/lang_" + code + ".rc");
    std::multimap<std::string, std::string> found;  // dialog macro -> caption
    for (auto it = std::sregex_iterator(text.begin(), text.end(), caption); it != std::sregex_iterator(); ++it)
      found.insert({(*it)[1].str(), (*it)[2].str()});
    return found;
  };
  const auto english = captions("en");
  for (const char* dialog : {"DESTINATION_DIALOG", "PASSWORD_DIALOG", "PROGRESS_DIALOG", "ABOUT_BOX", "INSTALL_MENU"})
    ASSERT_EQ(english.count(dialog), 1u) << dialog;
  for (const char* code : {"cs", "de", "en", "ko", "pl", "sl"}) {
    const auto translated = captions(code);
    for (const auto& [dialog, englishCaption] : english) {
      EXPECT_EQ(translated.count(dialog), 1u) << code << " " << dialog;
      if (!translated.count(dialog)) continue;
      const std::string& text = translated.find(dialog)->second;
      EXPECT_FALSE(text.empty()) << code << " " << dialog;
      EXPECT_EQ(conversions(text), conversions(englishCaption)) << code << " " << dialog << ": " << text;
    }
    EXPECT_EQ(translated.size(), english.size()) << code;
  }
}
}  // namespace
