#include "pack/input_walk.h"

#include <dirent.h>
#include <errno.h>
#include <iconv.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

NameConverter::NameConverter(int codePage) {
  std::string target = "CP" + std::to_string(codePage);
  handle = (void*)iconv_open(target.c_str(), "UTF-8");
  if (!valid()) return;
  // Names are single bytes in the archive: a code page with multi-byte sequences (a
  // lead byte alone is an incomplete sequence) cannot be used.
  iconv_t back = iconv_open("UTF-8", target.c_str());
  bool singleByte = back != (iconv_t)-1;
  for (int b = 0x80; b < 0x100 && singleByte; b++) {
    char in[1] = {(char)b}, out[8];
    char* i = in;
    char* o = out;
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(back, nullptr, nullptr, nullptr, nullptr);
    if (iconv(back, &i, &inLeft, &o, &outLeft) == (size_t)-1 && errno == EINVAL) singleByte = false;
  }
  if (back != (iconv_t)-1) iconv_close(back);
  if (!singleByte) {
    iconv_close((iconv_t)handle);
    handle = (void*)-1;
  }
}

NameConverter::~NameConverter() {
  if (valid()) iconv_close((iconv_t)handle);
}

bool NameConverter::convert(const std::string& utf8, std::string* out) {
  if (!valid()) return false;
  iconv((iconv_t)handle, nullptr, nullptr, nullptr, nullptr);
  std::vector<char> input(utf8.begin(), utf8.end());
  std::vector<char> output(utf8.size() * 4 + 16);
  char* in = input.data();
  size_t inLeft = input.size();
  char* o = output.data();
  size_t outLeft = output.size();
  if (iconv((iconv_t)handle, &in, &inLeft, &o, &outLeft) == (size_t)-1) return false;
  if (iconv((iconv_t)handle, nullptr, nullptr, &o, &outLeft) == (size_t)-1) return false;
  out->assign(output.data(), o - output.data());
  // A single-byte code page maps every character to one byte; anything else (a shift
  // sequence, a transliteration) cannot be read back.
  return out->find('\0') == std::string::npos;
}

bool normalizeInputPath(const std::string& path, std::string* normalized, std::string* error) {
  if (path.empty()) {
    *error = "empty path";
    return false;
  }
  if (path[0] == '/') {
    *error = "absolute paths are not stored; give the path relative to -C";
    return false;
  }
  std::string result;
  size_t at = 0;
  while (at <= path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(at, slash - at);
    at = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      *error = "paths with \"..\" are not stored";
      return false;
    }
    if (part.find('\\') != std::string::npos) {
      *error = "names with a backslash cannot be stored";
      return false;
    }
    if (!result.empty()) result += '/';
    result += part;
  }
  *normalized = result;
  return true;
}

namespace {

struct Walker {
  NameConverter& names;
  std::string skip;
  struct stat skipStat;
  bool haveSkip = false;
  std::vector<InputEntry>* entries;
  std::set<std::string> seen;
  std::string error;

  bool isSkipped(const struct stat& st) const {
    return haveSkip && st.st_dev == skipStat.st_dev && st.st_ino == skipStat.st_ino;
  }

  bool add(const std::string& source, const std::string& display) {
    struct stat st;
    if (stat(source.c_str(), &st) != 0) {
      error = display + ": " + strerror(errno);
      return false;
    }
    if (isSkipped(st)) return true;
    bool directory = S_ISDIR(st.st_mode);
    if (!directory && !S_ISREG(st.st_mode)) {
      error = display + ": not a regular file or folder";
      return false;
    }
    if (!display.empty() && seen.insert(display).second) {
      InputEntry e;
      e.sourcePath = source;
      e.displayName = display;
      e.directory = directory;
      e.size = directory ? 0 : (uint64_t)st.st_size;
      e.mtime = st.st_mtime;
      e.readOnly = (st.st_mode & S_IWUSR) == 0;
      std::string converted;
      if (!names.convert(display, &converted)) {
        error = display + ": the name cannot be written in the archive's code page";
        return false;
      }
      std::replace(converted.begin(), converted.end(), '/', '\\');
      if (converted.size() > MaxArchiveNameBytes) {
        error = display + ": the name is longer than 259 bytes";
        return false;
      }
      if (!directory && e.size >= 0x80000000ull) {
        error = display + ": files of 2 GiB or more cannot be stored";
        return false;
      }
      if (!directory && access(source.c_str(), R_OK) != 0) {
        error = display + ": " + strerror(errno);
        return false;
      }
      e.archiveName = converted;
      entries->push_back(e);
    }
    if (!directory) return true;
    DIR* dir = opendir(source.c_str());
    if (dir == nullptr) {
      error = (display.empty() ? source : display) + ": " + strerror(errno);
      return false;
    }
    std::vector<std::string> children;
    while (struct dirent* d = readdir(dir)) {
      if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0) continue;
      children.push_back(d->d_name);
    }
    closedir(dir);
    std::sort(children.begin(), children.end());
    for (const std::string& child : children) {
      if (child.find('\\') != std::string::npos) {
        error = (display.empty() ? child : display + "/" + child) +
                ": names with a backslash cannot be stored";
        return false;
      }
      if (!add(source + "/" + child, display.empty() ? child : display + "/" + child)) return false;
    }
    return true;
  }
};

}  // namespace

bool collectInputs(const std::vector<std::string>& inputs, const std::string& baseDir,
                   NameConverter& names, const std::string& skip,
                   std::vector<InputEntry>* entries, std::string* error) {
  if (!names.valid()) {
    *error = "the code page is not supported by iconv";
    return false;
  }
  Walker walker{names, skip, {}, false, entries, {}, {}};
  if (!skip.empty() && stat(skip.c_str(), &walker.skipStat) == 0) walker.haveSkip = true;
  for (const std::string& input : inputs) {
    std::string normalized;
    if (!normalizeInputPath(input, &normalized, error)) {
      *error = input + ": " + *error;
      return false;
    }
    std::string source = baseDir.empty() ? (normalized.empty() ? "." : normalized)
                                         : (normalized.empty() ? baseDir : baseDir + "/" + normalized);
    if (!walker.add(source, normalized)) {
      *error = walker.error;
      return false;
    }
  }
  return true;
}
