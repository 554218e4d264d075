#include "pack/input_walk.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>

#include "cli/path_pattern.h"
#include "pack/installer_layout.h"
#include "pack/windows_names.h"

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
  // Readers take separators and dots as ASCII bytes: ASCII must stay ASCII.
  for (int c = 1; c < 0x80 && singleByte; c++) {
    std::string converted;
    singleByte = convert(std::string(1, (char)c), &converted) && converted == std::string(1, (char)c);
  }
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
  char* inEnd = in + input.size();
  char* o = output.data();
  size_t outLeft = output.size();
  // A character at a time: iconv drops some without a word (the tag characters
  // U+E0000 to U+E007F), so that two names would become one, or "con<tag>.txt" the
  // device name "con.txt". Every character must give a byte.
  while (in < inEnd) {
    unsigned char lead = (unsigned char)*in;
    size_t inLeft = std::min<size_t>(lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2, inEnd - in);
    char* before = o;
    if (iconv((iconv_t)handle, &in, &inLeft, &o, &outLeft) == (size_t)-1 || inLeft != 0 || o == before) return false;
  }
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

bool isWithinFolder(const std::string& path, const std::string& folder) {
  return path == folder || folder == "/" ||
         (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/');
}

namespace {

enum { MaxFolderWalks = 16 };

// Opened without waiting: something other than a file put there since it was looked at
// reads as no archive.
bool fileStartsAnArchive(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<uint8_t> head(InstallerSearchEnd);
  struct stat st;
  size_t got = 0;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    ssize_t n;
    while (got < head.size() && (n = read(fd, head.data() + got, head.size() - got)) > 0) got += (size_t)n;
  }
  close(fd);
  head.resize(got);
  return startsAnArchive(head);
}

struct FolderId {
  dev_t device;
  ino_t inode;
};

struct Walker {
  NameConverter& names;
  LinkPolicy links;
  std::string root;  // the baseDir tree, every link resolved
  struct stat skipStat;
  bool haveSkip = false;
  bool skipIsArchive = false;  // an earlier archive, which the new one may replace
  std::vector<InputEntry>* entries;
  std::set<std::string> seen;
  struct CaseTaken {
    std::string display;
    bool directory;
  };
  std::map<std::u32string, CaseTaken> caseKeys;  // each taken name as Windows compares it
  std::map<std::pair<dev_t, ino_t>, int> folderWalks;  // how often each folder's contents were taken
  std::vector<FolderId> openFolders;  // the folders being walked, outermost first
  std::string problems;               // one line per offending input
  const std::vector<std::string>& exclude;

  bool isExcluded(const std::string& display) const {
    if (display.empty()) return false;
    size_t slash = display.rfind('/');
    const char* name = slash == std::string::npos ? display.c_str() : display.c_str() + slash + 1;
    for (const std::string& pattern : exclude)
      if (pathPatternMatches(pattern.c_str(), pattern.find('/') == std::string::npos ? name : display.c_str(), false,
                             false))
        return true;
    return false;
  }

  bool isSkipped(const struct stat& st) const {
    return haveSkip && st.st_dev == skipStat.st_dev && st.st_ino == skipStat.st_ino;
  }

  // Control characters are shown as \xNN: a name cannot break its line or send escape
  // sequences to the terminal.
  void refuse(const std::string& display, const std::string& source, const std::string& reason) {
    for (char c : (display.empty() ? source : display) + ": " + reason) {
      char escaped[5];
      snprintf(escaped, sizeof escaped, "\\x%02X", (unsigned char)c);
      problems += (unsigned char)c < 0x20 || c == 0x7F ? std::string(escaped) : std::string(1, c);
    }
    problems += "\n";
  }

  // Whether every part of the name (the last only, for a folder's child, whose
  // folders have been checked) can be made on Windows.
  bool windowsCanMake(const std::string& display, const std::string& source, bool topLevel) {
    size_t lastSlash = display.rfind('/');
    for (size_t at = topLevel || lastSlash == std::string::npos ? 0 : lastSlash + 1; at < display.size();) {
      size_t end = std::min(display.find('/', at), display.size());
      std::string problem = windowsNameProblem(display.substr(at, end - at));
      if (!problem.empty()) {
        refuse(display, source, problem);
        return false;
      }
      at = end + 1;
    }
    return true;
  }

  // Whether no name taken before differs from this one only in case, where Windows would
  // put one file in place of the other. Two such folders become one there, which loses
  // nothing: what they hold is checked name by name.
  bool caseIsUnique(const std::string& display, const std::string& source, bool directory) {
    auto taken = caseKeys.emplace(windowsNameKey(display), CaseTaken{display, directory});
    if (taken.second || (directory && taken.first->second.directory)) return true;
    refuse(display, source,
           "differs only in case from " + taken.first->second.display + "; Windows takes them for one name");
    return false;
  }

  // A link to a folder that holds the link itself would repeat the tree without end.
  static bool linksToAncestor(const std::string& source, const std::string& target) {
    size_t slash = source.rfind('/');
    std::string parent = slash == std::string::npos ? "." : source.substr(0, slash);
    char resolved[PATH_MAX];
    return realpath(parent.c_str(), resolved) != nullptr && isWithinFolder(resolved, target);
  }

  // Whether source may be taken under the link policy; a top-level input may pass
  // through links anywhere in its path, a folder's child only in its last part.
  bool linkAllowed(const std::string& source, const std::string& display, bool topLevel) {
    struct stat own;
    if (lstat(source.c_str(), &own) != 0) {
      refuse(display, source, strerror(errno));
      return false;
    }
    if (!S_ISLNK(own.st_mode) && !topLevel) return true;
    char resolved[PATH_MAX];
    if (realpath(source.c_str(), resolved) == nullptr) {
      refuse(display, source, S_ISLNK(own.st_mode) && errno == ENOENT ? "symbolic link that leads nowhere" : strerror(errno));
      return false;
    }
    if (S_ISLNK(own.st_mode) && linksToAncestor(source, resolved)) {
      refuse(display, source, "symbolic link to a folder that contains it");
      return false;
    }
    if (links == LinkPolicy::Follow || isWithinFolder(resolved, root)) return true;
    refuse(display, source, std::string("symbolic link that leads outside the input folder (to ") + resolved +
                                "); --dereference takes it");
    return false;
  }

  // False when the entry is refused.
  bool addEntry(const std::string& source, const std::string& display, const struct stat& st) {
    auto refused = [&](const std::string& reason) {
      refuse(display, source, reason);
      return false;
    };
    bool directory = S_ISDIR(st.st_mode);
    InputEntry e;
    e.sourcePath = source;
    e.displayName = display;
    e.directory = directory;
    e.size = directory ? 0 : (uint64_t)st.st_size;
    e.mtime = st.st_mtime;
    e.readOnly = (st.st_mode & S_IWUSR) == 0;
    e.device = st.st_dev;
    e.inode = st.st_ino;
    if (links == LinkPolicy::InsideOnly) e.within = root;
    std::string converted;
    if (!names.convert(display, &converted)) return refused("the name cannot be written in the archive's code page");
    std::replace(converted.begin(), converted.end(), '/', '\\');
    if (converted.size() > MaxArchiveNameBytes) return refused("the name is longer than 259 bytes");
    if (!directory && e.size >= 0x80000000ull) return refused("files of 2 GiB or more cannot be stored");
    if (!directory && access(source.c_str(), R_OK) != 0) return refused(strerror(errno));
    e.archiveName = converted;
    entries->push_back(e);
    return true;
  }

  void add(const std::string& source, const std::string& display, bool topLevel) {
    // Before anything is looked at: an excluded link or unreadable file is no problem.
    if (isExcluded(display)) return;
    if (!windowsCanMake(display, source, topLevel) || !linkAllowed(source, display, topLevel)) return;
    struct stat st;
    if (stat(source.c_str(), &st) != 0) return refuse(display, source, strerror(errno));
    // Met in a folder, an earlier archive at the output is left out and replaced. Any
    // other file there is the user's: replacing it would lose it, and leaving it out
    // would leave the archive without it. Named as an input, the output is refused too.
    if (isSkipped(st)) {
      if (topLevel) return refuse(display, source, "the output archive itself");
      if (!skipIsArchive) return refuse(display, source, "not an archive, and the output would replace it");
      return;
    }
    bool directory = S_ISDIR(st.st_mode);
    if (!directory && !S_ISREG(st.st_mode)) return refuse(display, source, "not a regular file or folder");
    if (directory) {
      for (const FolderId& open : openFolders)
        if (open.device == st.st_dev && open.inode == st.st_ino)
          return refuse(display, source, "symbolic link to a folder that contains it");
      // Links that each lead twice to the next folder would double the tree at every
      // level.
      if (++folderWalks[{st.st_dev, st.st_ino}] > MaxFolderWalks)
        return refuse(display, source,
                      "symbolic link to a folder taken " + std::to_string(MaxFolderWalks) + " times already");
    }
    // A refused folder is not walked: everything below it would be refused as well.
    if (!display.empty() && seen.insert(display).second &&
        (!caseIsUnique(display, source, directory) || !addEntry(source, display, st)))
      return;
    if (directory) walkFolder(source, display, st);
  }

  void walkFolder(const std::string& source, const std::string& display, const struct stat& st) {
    DIR* dir = opendir(source.c_str());
    if (dir == nullptr) return refuse(display, source, strerror(errno));
    std::vector<std::string> children;
    errno = 0;
    while (struct dirent* d = readdir(dir)) {
      if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0) continue;
      children.push_back(d->d_name);
    }
    int listingError = errno;  // the listing ended early: the folder would go in incomplete
    closedir(dir);
    if (listingError != 0) return refuse(display, source, strerror(listingError));
    std::sort(children.begin(), children.end());
    openFolders.push_back({st.st_dev, st.st_ino});
    for (const std::string& child : children) {
      std::string childDisplay = display.empty() ? child : display + "/" + child;
      if (child.find('\\') != std::string::npos)
        refuse(childDisplay, source, "names with a backslash cannot be stored");
      else
        add(source + "/" + child, childDisplay, false);
    }
    openFolders.pop_back();
  }
};

}  // namespace

bool collectInputs(const std::vector<std::string>& inputs, const std::string& baseDir,
                   NameConverter& names, const std::string& skip,
                   std::vector<InputEntry>* entries, std::string* error, LinkPolicy links,
                   const std::vector<std::string>& exclude) {
  if (!names.valid()) {
    *error = "the code page is not supported by iconv";
    return false;
  }
  std::string base = baseDir.empty() ? "." : baseDir;
  char root[PATH_MAX];
  struct stat baseStat;
  if (stat(base.c_str(), &baseStat) != 0 || realpath(base.c_str(), root) == nullptr) {
    *error = "cannot enter " + base + ": " + strerror(errno);
    return false;
  }
  if (!S_ISDIR(baseStat.st_mode)) {
    *error = "cannot enter " + base + ": " + strerror(ENOTDIR);
    return false;
  }
  Walker walker{names, links, root, {}, false, false, entries, {}, {}, {}, {}, {}, exclude};
  if (!skip.empty() && stat(skip.c_str(), &walker.skipStat) == 0) {
    walker.haveSkip = true;
    walker.skipIsArchive = fileStartsAnArchive(skip);
  }
  for (const std::string& input : inputs) {
    std::string normalized;
    if (!normalizeInputPath(input, &normalized, error)) {
      walker.problems += input + ": " + *error + "\n";
      continue;
    }
    std::string source = baseDir.empty() ? (normalized.empty() ? "." : normalized)
                                         : (normalized.empty() ? baseDir : baseDir + "/" + normalized);
    walker.add(source, normalized, true);
  }
  if (walker.problems.empty()) return true;
  walker.problems.pop_back();  // the last line's end
  *error = walker.problems;
  return false;
}
