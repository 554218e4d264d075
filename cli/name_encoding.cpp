#include "cli/name_encoding.h"

#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>

#include "cli/console_host.h"

namespace {

struct ByteForm {
  char utf8[4];
  unsigned char length;  // 0: the code page leaves the byte undefined
};

ByteForm forms[256];
int codePage = 0;
const char* destinationFolder = nullptr;
bool undefinedReported = false;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

void append(char* out, size_t capacity, size_t* used, const char* bytes, size_t length) {
  if (*used + length >= capacity) length = *used < capacity - 1 ? capacity - 1 - *used : 0;
  // Names go through here a byte at a time: a single byte is stored, not copied by a call.
  if (length == 1) {
    out[*used] = bytes[0];
  } else {
    memcpy(out + *used, bytes, length);
  }
  *used += length;
  out[*used] = 0;
}

// A code point a terminal may take as a control: C0, DEL and the C1 range.
bool isControl(const ByteForm& form) {
  unsigned char first = (unsigned char)form.utf8[0];
  if (form.length == 1) return first < 0x20 || first == 0x7F;
  return form.length == 2 && first == 0xC2 && (unsigned char)form.utf8[1] < 0xA0;
}

}  // namespace

bool setNameCodePage(int page) {
  char name[16];
  snprintf(name, sizeof name, "CP%d", page);
  iconv_t handle = iconv_open("UTF-8", name);
  if (handle == (iconv_t)-1) return false;
  ByteForm table[256];
  bool singleByte = true;
  for (int b = 0; b < 256 && singleByte; b++) {
    char in[1] = {(char)b};
    char* input = in;
    char* output = table[b].utf8;
    size_t inLeft = 1, outLeft = sizeof table[b].utf8;
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    size_t result = iconv(handle, &input, &inLeft, &output, &outLeft);
    table[b].length = result == (size_t)-1 ? 0 : (unsigned char)(sizeof table[b].utf8 - outLeft);
    // A lead byte of a multi-byte code page is an incomplete sequence on its own.
    if (result == (size_t)-1 && errno == EINVAL) singleByte = false;
  }
  iconv_close(handle);
  // ASCII must stay ASCII: the engine has checked the names' separators and dots as
  // ASCII bytes, and a code page that turned other bytes into them (EBCDIC, say) could
  // lead a name out of the destination. A high byte that would become ASCII is kept
  // as it is.
  bool asciiBased = singleByte;
  for (int b = 0; b < 256 && asciiBased; b++) {
    bool ascii = table[b].length == 1 && (unsigned char)table[b].utf8[0] < 0x80;
    if (b < 0x80) asciiBased = ascii && table[b].utf8[0] == (char)b;
    else if (ascii) table[b].length = 0;
  }
  if (!asciiBased) return false;
  memcpy(forms, table, sizeof forms);
  codePage = page;
  return true;
}

int nameCodePage() { return codePage; }

bool nameToUtf8(const char* name, size_t length, char* out, size_t capacity) {
  size_t used = 0;
  bool whole = true;
  out[0] = 0;
  for (size_t i = 0; i < length; i++) {
    const ByteForm& form = forms[(unsigned char)name[i]];
    if (form.length == 0) whole = false;
    append(out, capacity, &used, form.length ? form.utf8 : &name[i], form.length ? form.length : 1);
  }
  return whole;
}

void displayName(const char* name, size_t length, char* out, size_t capacity) {
  size_t used = 0;
  out[0] = 0;
  for (size_t i = 0; i < length; i++) {
    unsigned char byte = (unsigned char)name[i];
    const ByteForm& form = forms[byte];
    if (byte == '\\') {
      append(out, capacity, &used, "/", 1);
    } else if (form.length == 0 || isControl(form)) {
      char escaped[5];
      snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      append(out, capacity, &used, escaped, 4);
    } else {
      append(out, capacity, &used, form.utf8, form.length);
    }
  }
}

void escapeControls(const char* text, char* out, size_t capacity, bool keepLineEnds) {
  size_t used = 0;
  out[0] = 0;
  for (; *text != 0; text++) {
    unsigned char byte = (unsigned char)*text;
    if (byte == '\\') {
      append(out, capacity, &used, "/", 1);  // the engine's separator
    } else if ((byte < 0x20 && !(keepLineEnds && byte == '\n')) || byte == 0x7F) {
      char escaped[5];
      snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      append(out, capacity, &used, escaped, 4);
    } else {
      append(out, capacity, &used, text, 1);
    }
  }
}

size_t folderPrefixLength(const char* text, const char* folder) {
  size_t i = 0;
  for (; folder[i] != 0; i++) {
    if (text[i] == folder[i]) continue;
    if (!(isSeparator(text[i]) && isSeparator(folder[i]))) return 0;
  }
  return i;
}

void setConvertedDestination(const char* destination) {
  destinationFolder = destination;
  undefinedReported = false;
}

bool convertEnginePath(const char* path, char* out, size_t capacity) {
  if (destinationFolder == nullptr || destinationFolder[0] == 0) return false;
  size_t prefix = folderPrefixLength(path, destinationFolder);
  // The engine appends a backslash to the destination; a user's path below it (the
  // archive's own, say) has a slash there and keeps its bytes.
  if (prefix == 0 || prefix >= capacity || path[prefix - 1] != '\\') return false;
  memcpy(out, path, prefix);
  const char* name = path + prefix;
  if (!nameToUtf8(name, strlen(name), out + prefix, capacity - prefix) && !undefinedReported) {
    undefinedReported = true;
    char shown[1024];
    displayName(name, strlen(name), shown, sizeof shown);
    finishConsoleProgress();
    fprintf(stderr, "%s: %s: bytes that code page %d does not define are kept as they are\n",
            consoleHost.programName, shown, codePage);
  }
  return true;
}
