// lumvard-localtext: writes the installer's localised text file from a description.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "pack/localtext/local_text_writer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lumvard-localtext DESCRIPTION OUTPUT\n"
                         "  writes OUTPUT (install it beside the installer as lmvtid.tdx)\n");
    return 64;
  }
  std::ifstream input(argv[1], std::ios::binary);
  if (!input) {
    std::fprintf(stderr, "lumvard-localtext: cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream text;
  text << input.rdbuf();
  std::vector<LocalTextLanguage> languages;
  std::string error;
  if (!parseLocalTextDescription(text.str(), languages, error)) {
    std::fprintf(stderr, "lumvard-localtext: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const std::vector<unsigned char> bytes = buildLocalTextFile(languages);
  std::ofstream output(argv[2], std::ios::binary);
  output.write((const char*)bytes.data(), (std::streamsize)bytes.size());
  if (!output.flush()) {
    std::fprintf(stderr, "lumvard-localtext: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
