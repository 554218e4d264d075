// lumvard-localtext: writes the installer's localised text file from a description.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/replacement_file.h"
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
    "Write the installer's localised text file OUTPUT (install it beside the\n"
    "installer, or in the Windows folder, as lmvtid.tdx) from DESCRIPTION, a UTF-8\n"
    "text:\n"
    "\n"
    "  # a comment\n"
    "  language en          (cs da de el en es fi fr hu it ja ko nl no pl pt ru sl\n"
    "                        sv tr zh, or a primary language number such as 0x15)\n"
    "  1 = Lumvard Deluxe   (the title)\n"
    "  2 = C:\\DELUXE        (the proposed folder)\n"
    "\n"
    "The first language is the one used for languages missing from the file. Each\n"
    "text takes at most 255 bytes in its code page.",
    options,
    sizeof options / sizeof options[0],
    "Exit status:\n"
    "  0    written\n"
    "  1    the description cannot be read or is refused, or OUTPUT cannot be\n"
    "       written\n"
    "  64   bad command line\n",
    nullptr,
};

enum : size_t { MaxDescriptionBytes = 16u << 20 };

// False with errno set, or with errno 0 when the description passes MaxDescriptionBytes
// (a device without end such as /dev/zero would take all memory).
bool readWhole(const char* path, std::string* text) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  char buffer[4096];
  size_t got;
  while (text->size() <= MaxDescriptionBytes && (got = fread(buffer, 1, sizeof buffer, file)) > 0)
    text->append(buffer, got);
  bool failed = ferror(file) != 0;
  fclose(file);
  errno = failed ? EIO : 0;
  return !failed && text->size() <= MaxDescriptionBytes;
}

// Written beside path under a temporary name and moved over it only when complete, so
// that a failed write keeps what was there and a link at path is replaced, not written
// through. A pipe or device at path (or a link to one) is refused: EINVAL.
bool writeWhole(const char* path, const std::vector<unsigned char>& bytes) {
  struct stat info;
  if (stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  std::string temporary;
  int fd = createTemporaryBeside(path, &temporary);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += (size_t)n;
  }
  int reason = done == bytes.size() ? 0 : errno != 0 ? errno : EIO;
  if (reason == 0 && fchmod(fd, replacementMode(path)) != 0) reason = errno;
  if (close(fd) != 0 && reason == 0) reason = errno;
  if (reason == 0 && rename(temporary.c_str(), path) == 0) return true;
  if (reason == 0) reason = errno;
  unlink(temporary.c_str());
  errno = reason;
  return false;
}

struct Request {
  int codePage = LanguageCodePage;
  const char* operands[2] = {nullptr, nullptr};
  int operandCount = 0;
};

int takeArgument(void* context, const ToolOption* option, const char* value) {
  Request* request = (Request*)context;
  if (option == nullptr) return keepOperand(tool, value, request->operands, &request->operandCount, 2);
  if (!readCodePageNumber(value, &request->codePage))
    return usageError(tool, "--codepage wants a code page number, not '%s'", value);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Request request;
  int ended = readArguments(tool, argc, argv, takeArgument, &request);
  if (ended >= 0) return ended;
  const char* const* operands = request.operands;
  const int operandCount = request.operandCount;
  const int codePage = request.codePage;
  if (operandCount < 2) return usageError(tool, operandCount == 0 ? "no DESCRIPTION given" : "no OUTPUT given");

  std::string text;
  if (!readWhole(operands[0], &text)) {
    if (errno == 0)
      fprintf(stderr, "%s: %s: the description is larger than 16 MiB\n", tool.name, operands[0]);
    else
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
