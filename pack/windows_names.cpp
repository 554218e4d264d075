#include "pack/windows_names.h"

#include <locale.h>
#include <string.h>
#include <wctype.h>

namespace {

const char* const deviceNames[] = {"CON", "PRN", "AUX", "NUL"};
const char* const numberedDevices[] = {"COM", "LPT"};
// The digits a numbered device takes: 0 to 9 and the superscripts 1, 2 and 3.
const char* const deviceNumbers[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                                     "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};

std::string upperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  return text;
}

// The device a name opens on Windows ("CON" for "con.txt" and "con .txt": spaces before
// the extension are dropped), or empty.
std::string deviceOf(const std::string& part) {
  std::string base = upperAscii(part.substr(0, part.find('.')));
  base.erase(base.find_last_not_of(' ') + 1);
  for (const char* device : deviceNames)
    if (base == device) return base;
  for (const char* device : numberedDevices)
    for (const char* number : deviceNumbers)
      if (base == std::string(device) + number) return base;
  return "";
}

// The code points of valid UTF-8 (the names have passed the code page conversion).
std::u32string codePoints(const std::string& utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char lead = (unsigned char)utf8[i];
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); k++) c = (c << 6) | ((unsigned char)utf8[i + k] & 0x3F);
    out += c;
    i += (size_t)extra + 1;
  }
  return out;
}

}  // namespace

std::string windowsNameProblem(const std::string& part) {
  for (unsigned char c : part) {
    if (c < 0x20) return "a name with a control character cannot be made on Windows";
    if (strchr("<>:\"|?*", c) != nullptr) return std::string("a name with '") + (char)c + "' cannot be made on Windows";
  }
  if (!part.empty() && (part.back() == '.' || part.back() == ' '))
    return "a name ending in a dot or a space changes on Windows";
  std::string device = deviceOf(part);
  if (!device.empty()) return device + " is a device name on Windows";
  return "";
}

std::u32string windowsNameKey(const std::string& path) {
  static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
  std::u32string key = codePoints(path);
  for (char32_t& c : key) {
    if (unicode != (locale_t)0)
      c = (char32_t)towupper_l((wint_t)c, unicode);
    else if (c >= 'a' && c <= 'z')
      c = c - 'a' + 'A';
  }
  return key;
}
