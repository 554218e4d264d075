// lumvard-localtext: writes the installer's localised text file from a description.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "cli/tool_options.h"
#include "pack/localtext/local_text_writer.h"

namespace {

enum OptionId : int { OptCodePage };

const ToolOption options[] = {
    {"--codepage", 0, "N", OptCodePage,
     "write every text in code page N; by default each language's own\n"
     "Windows code page (1250 cs hu pl sl, 1251 ru, 1253 el, 1254 tr, 932 ja,\n"
     "936 zh, 949 ko, 1252 the others)"},
};

const ToolDescription tool = {
    "lumvard-localtext",
    "[OPTION]... DESCRIPTION OUTPUT",
    "Write the installer's localised text file OUTPUT (install it beside the installer,\n"
    "or in the Windows folder, as lmvtid.tdx) from DESCRIPTION, a UTF-8 text:\n"
    "\n"
    "  # a comment\n"
    "  language en          (cs da de el en es fi fr hu it ja ko nl no pl pt ru sl\n"
    "                        sv tr zh, or a primary language number such as 0x15)\n"
    "  1 = Lumvard Deluxe   (the title)\n"
    "  2 = C:\\DELUXE        (the proposed folder)\n"
    "\n"
    "The first language is the one used for languages missing from the file. Each text\n"
    "takes at most 255 bytes in its code page.",
    options,
    sizeof options / sizeof options[0],
    "Exit status:\n"
    "  0    written\n"
    "  1    the description cannot be read or is refused, or OUTPUT cannot be written\n"
    "  64   bad command line\n",
};

bool readWhole(const char* path, std::string* text) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, got);
  bool failed = ferror(file) != 0;
  fclose(file);
  if (failed) errno = EIO;
  return !failed;
}

bool writeWhole(const char* path, const std::vector<unsigned char>& bytes) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return false;
  bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (fclose(file) != 0) written = false;
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  int codePage = LanguageCodePage;
  const char* operands[2];
  int operandCount = 0;
  ArgumentCursor cursor;
  startArguments(&cursor, argc, argv);
  for (;;) {
    const ToolOption* option;
    const char* value;
    int kind = nextArgument(tool, &cursor, &option, &value);
    if (kind == ArgumentsEnd) break;
    if (kind == ArgumentError) return ExitUsage;
    if (kind == ArgumentHelp) return printToolHelp(tool), 0;
    if (kind == ArgumentVersion) return printToolVersion(tool), 0;
    if (kind == ArgumentOperand) {
      if (operandCount == 2) return usageError(tool, "unexpected operand '%s'", value);
      operands[operandCount++] = value;
      continue;
    }
    char* end;
    long number = strtol(value, &end, 10);
    if (*value == 0 || *end != 0 || number <= 0 || number > 65535)
      return usageError(tool, "--codepage wants a code page number, not '%s'", value);
    codePage = (int)number;
  }
  if (operandCount < 2) return usageError(tool, operandCount == 0 ? "no DESCRIPTION given" : "no OUTPUT given");

  std::string text;
  if (!readWhole(operands[0], &text)) {
    fprintf(stderr, "%s: cannot read %s: %s\n", tool.name, operands[0], strerror(errno));
    return 1;
  }
  std::vector<LocalTextLanguage> languages;
  std::string error;
  if (!parseLocalTextDescription(text, languages, error, codePage)) {
    fprintf(stderr, "%s: %s: %s\n", tool.name, operands[0], error.c_str());
    return 1;
  }
  if (!writeWhole(operands[1], buildLocalTextFile(languages))) {
    fprintf(stderr, "%s: cannot write %s: %s\n", tool.name, operands[1], strerror(errno));
    return 1;
  }
  return 0;
}
