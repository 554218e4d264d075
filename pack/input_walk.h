// The inputs of lumvard-pack: command-line paths resolved like tar does, folders walked
// in sorted order, names converted to the archive's single-byte code page.
#pragma once

#include <stdint.h>
#include <sys/types.h>
#include <time.h>

#include <string>
#include <vector>

struct InputEntry {
  std::string sourcePath;   // where to read it (the -C folder joined with the path)
  std::string displayName;  // the path as given, "/"-separated, for messages
  std::string archiveName;  // in the archive's code page, "\"-separated
  bool directory = false;
  uint64_t size = 0;
  time_t mtime = 0;
  bool readOnly = false;
  // The file found by the walk; reading it checks that it is still that file.
  dev_t device = 0;
  ino_t inode = 0;
  // Unless links are followed everywhere: the input folder, every link resolved. The
  // file read must lie below it, so that a link put in the middle of the walk between
  // its looks at a name (which found a file, then followed the link) leads nowhere else.
  std::string within;
};

// Whether path is folder or lies below it (both with every link resolved).
bool isWithinFolder(const std::string& path, const std::string& folder);

// Converts UTF-8 names to a single-byte code page (iconv's "CP<n>").
struct NameConverter {
  explicit NameConverter(int codePage);
  ~NameConverter();
  NameConverter(const NameConverter&) = delete;
  NameConverter& operator=(const NameConverter&) = delete;
  bool valid() const { return handle != (void*)-1; }
  // False when the name has a character the code page cannot represent (or is not
  // valid UTF-8).
  bool convert(const std::string& utf8, std::string* out);

 private:
  void* handle;
};

enum { MaxArchiveNameBytes = 259 };

// Turns a command-line path into its archive form: "./" prefixes and "." parts
// dropped, repeated and trailing slashes folded. Empty result: the folder itself ("."),
// whose contents go in without a prefix. False (with a reason) for absolute paths and
// paths with "..".
bool normalizeInputPath(const std::string& path, std::string* normalized, std::string* error);

// What symbolic links become.
enum class LinkPolicy {
  InsideOnly,  // a link into the baseDir tree is stored as its target's content; one
               // that leads outside it, or nowhere, is refused
  Follow       // every link is followed (--dereference)
};

// Resolves every input below baseDir and appends the entries in archive order: inputs
// in command-line order, a folder before its contents, folder contents sorted by name.
// `skip` names the output: left out of a folder when it holds an earlier archive,
// refused there when it holds anything else, refused always as an input. A file or
// folder that an `exclude` pattern matches is left out, a folder with all below it: a
// pattern without '/' is matched against the last part of its path, one with '/'
// against the whole path as stored. Returns false when any
// input cannot be read or stored; error then holds one line per offending input, all
// of them, each starting with the input's name. A folder reached again through a link
// inside itself is refused, so a walk always ends.
bool collectInputs(const std::vector<std::string>& inputs, const std::string& baseDir,
                   NameConverter& names, const std::string& skip,
                   std::vector<InputEntry>* entries, std::string* error,
                   LinkPolicy links = LinkPolicy::InsideOnly, const std::vector<std::string>& exclude = {});
