// Input paths resolved like tar, folders walked in sorted order, names checked against
// the archive's code page and length limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "pack/input_walk.h"
#include "pack/pack_run.h"
#include "tests/support/temp_dir.h"

namespace {

std::string normalized(const std::string& path) {
  std::string out, error;
  if (!normalizeInputPath(path, &out, &error)) return "refused: " + error;
  return out;
}

std::vector<std::string> archiveNames(const std::vector<InputEntry>& entries) {
  std::vector<std::string> names;
  for (const InputEntry& e : entries) names.push_back(e.archiveName + (e.directory ? "/" : ""));
  return names;
}

}  // namespace

TEST(Pack20Inputs, PathsAreNormalisedLikeTar) {
  EXPECT_EQ(normalized("a/b.txt"), "a/b.txt");
  EXPECT_EQ(normalized("./a//b/"), "a/b");
  EXPECT_EQ(normalized("././a/./b"), "a/b");
  EXPECT_EQ(normalized("."), "");
  EXPECT_EQ(normalized("./"), "");
  EXPECT_EQ(normalized("/etc/passwd").rfind("refused", 0), 0u);
  EXPECT_EQ(normalized("..").rfind("refused", 0), 0u);
  EXPECT_EQ(normalized("a/../../b").rfind("refused", 0), 0u);
  EXPECT_EQ(normalized("a\\b").rfind("refused", 0), 0u);
  EXPECT_EQ(normalized("..a/b..").rfind("refused", 0), std::string::npos);  // only ".." parts
}

TEST(Pack20Inputs, FoldersComeBeforeTheirSortedContents) {
  TempDir t;
  mkdir((t / "d").c_str(), 0755);
  mkdir((t / "d/c").c_str(), 0755);
  writeFile(t / "d/b.txt", std::string("b"));
  writeFile(t / "d/a.txt", std::string("a"));
  writeFile(t / "d/c/z", std::string("z"));
  writeFile(t / "top", std::string("top"));
  NameConverter names(1252);
  std::vector<InputEntry> entries;
  std::string error;
  ASSERT_TRUE(collectInputs({"top", "./d/"}, t.path, names, "", &entries, &error)) << error;
  EXPECT_EQ(archiveNames(entries),
            (std::vector<std::string>{"top", "d/", "d\\a.txt", "d\\b.txt", "d\\c/", "d\\c\\z"}));
  EXPECT_EQ(entries[0].size, 3u);
  EXPECT_EQ(entries[0].sourcePath, t / "top");

  // "." takes the contents without a prefix and without an entry of its own; an input
  // named twice goes in once; an earlier archive at the output is never taken in.
  writeFile(t / "out.rar", std::string("Rar!\x1A\x07\x00old", 10));
  entries.clear();
  ASSERT_TRUE(collectInputs({".", "top"}, t.path, names, t / "out.rar", &entries, &error)) << error;
  EXPECT_EQ(archiveNames(entries),
            (std::vector<std::string>{"d/", "d\\a.txt", "d\\b.txt", "d\\c/", "d\\c\\z", "top"}));
}

TEST(Pack20Inputs, ReadOnlyFilesAreMarked) {
  TempDir t;
  writeFile(t / "ro", std::string("x"));
  chmod((t / "ro").c_str(), 0444);
  NameConverter names(1252);
  std::vector<InputEntry> entries;
  std::string error;
  ASSERT_TRUE(collectInputs({"ro"}, t.path, names, "", &entries, &error)) << error;
  EXPECT_TRUE(entries[0].readOnly);
}

TEST(Pack20Inputs, NamesMustFitTheCodePageAndTheLengthLimit) {
  TempDir t;
  NameConverter cp1252(1252);
  std::vector<InputEntry> entries;
  std::string error;
  writeFile(t / "caf\xC3\xA9.txt", std::string("x"));
  ASSERT_TRUE(collectInputs({"caf\xC3\xA9.txt"}, t.path, cp1252, "", &entries, &error)) << error;
  EXPECT_EQ(entries[0].archiveName, "caf\xE9.txt");
  NameConverter cp437(437);
  entries.clear();
  ASSERT_TRUE(collectInputs({"caf\xC3\xA9.txt"}, t.path, cp437, "", &entries, &error)) << error;
  EXPECT_EQ(entries[0].archiveName, "caf\x82.txt");

  writeFile(t / "\xE6\x97\xA5\xE6\x9C\xAC.txt", std::string("x"));  // two CJK characters
  entries.clear();
  EXPECT_FALSE(collectInputs({"."}, t.path, cp1252, "", &entries, &error));
  EXPECT_NE(error.find("code page"), std::string::npos) << error;
  // A character the conversion would drop (a tag character) would leave "con.txt".
  TempDir tag;
  writeFile(tag / "con\xF3\xA0\x80\x81.txt", std::string("x"));
  entries.clear();
  EXPECT_FALSE(collectInputs({"."}, tag.path, cp1252, "", &entries, &error));
  EXPECT_NE(error.find("code page"), std::string::npos) << error;

  // 259 bytes fit, 260 do not (a folder of 200 and a file name of 58 or 59 bytes).
  TempDir u;
  std::string folder(200, 'f');
  mkdir((u / folder).c_str(), 0755);
  writeFile(u / (folder + "/" + std::string(58, 'n')), std::string("x"));
  entries.clear();
  EXPECT_TRUE(collectInputs({"."}, u.path, cp1252, "", &entries, &error)) << error;
  writeFile(u / (folder + "/" + std::string(59, 'n')), std::string("x"));
  entries.clear();
  EXPECT_FALSE(collectInputs({"."}, u.path, cp1252, "", &entries, &error));
  EXPECT_NE(error.find("259"), std::string::npos) << error;
  // A refused folder is named once, not with everything below it.
  TempDir v;
  std::string deep = v / std::string(255, 'f');
  mkdir(deep.c_str(), 0755);
  for (int level = 0; level < 4; level++) mkdir((deep += "/d").c_str(), 0755);
  writeFile(deep + "/x", std::string("x"));
  entries.clear();
  EXPECT_FALSE(collectInputs({"."}, v.path, cp1252, "", &entries, &error));
  EXPECT_EQ(error, std::string(255, 'f') + "/d/d/d: the name is longer than 259 bytes");
}

TEST(Pack20Inputs, MissingAndHugeFilesAreRefused) {
  TempDir t;
  NameConverter names(1252);
  std::vector<InputEntry> entries;
  std::string error;
  EXPECT_FALSE(collectInputs({"nothing-here"}, t.path, names, "", &entries, &error));
  EXPECT_NE(error.find("nothing-here"), std::string::npos) << error;
  EXPECT_FALSE(collectInputs({"../x"}, t.path, names, "", &entries, &error));
  // A sparse file of exactly 2 GiB costs no disk space.
  FILE* f = fopen((t / "big").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(ftruncate(fileno(f), 0x80000000LL), 0);
  fclose(f);
  EXPECT_FALSE(collectInputs({"big"}, t.path, names, "", &entries, &error));
  EXPECT_NE(error.find("2 GiB"), std::string::npos) << error;
  EXPECT_FALSE(NameConverter(99999).valid());
  EXPECT_FALSE(NameConverter(932).valid());  // multi-byte
  EXPECT_FALSE(NameConverter(500).valid());  // EBCDIC: not ASCII-based
  EXPECT_TRUE(NameConverter(850).valid());
}

// Symbolic links: by default one into the input folder is stored as its target, one
// that leads outside it or nowhere is refused, and every such input is reported;
// --dereference follows every link. A folder linked into itself never loops.
TEST(Pack20Inputs, SymbolicLinksFollowThePolicy) {
  TempDir t;
  std::string root = t / "root";
  mkdir(root.c_str(), 0755);
  mkdir((t / "outside").c_str(), 0755);
  mkdir((root + "/dir").c_str(), 0755);
  writeFile(t / "outside/secret", std::string("host file"));
  writeFile(root + "/file.txt", std::string("12345"));
  writeFile(root + "/dir/inner.txt", std::string("in"));
  ASSERT_EQ(symlink("file.txt", (root + "/in-file").c_str()), 0);
  ASSERT_EQ(symlink("dir", (root + "/in-dir").c_str()), 0);
  ASSERT_EQ(symlink((t / "outside/secret").c_str(), (root + "/out-abs").c_str()), 0);
  ASSERT_EQ(symlink("../outside", (root + "/out-dir").c_str()), 0);
  ASSERT_EQ(symlink("nothing", (root + "/dangling").c_str()), 0);
  mkdir((root + "/cycle").c_str(), 0755);
  ASSERT_EQ(symlink("..", (root + "/cycle/back").c_str()), 0);
  struct Case {
    std::vector<std::string> inputs;
    LinkPolicy links;
    std::vector<std::string> names;  // on success
    std::vector<std::string> errors; // pieces, each on its own line, in this order
    std::vector<std::string> exclude = {};
  } cases[] = {
      {{"in-file", "in-dir"}, LinkPolicy::InsideOnly, {"in-file", "in-dir/", "in-dir\\inner.txt"}, {}},
      {{"out-abs"}, LinkPolicy::InsideOnly, {}, {"out-abs: symbolic link that leads outside the input folder (to " + t / "outside/secret" + "); --dereference"}},
      {{"out-dir/secret"}, LinkPolicy::InsideOnly, {}, {"out-dir/secret: symbolic link that leads outside"}},
      {{"dangling"}, LinkPolicy::InsideOnly, {}, {"dangling: symbolic link that leads nowhere"}},
      {{"cycle"}, LinkPolicy::InsideOnly, {}, {"cycle/back: symbolic link to a folder that contains it"}},
      {{"."}, LinkPolicy::InsideOnly, {}, {"cycle/back: ", "dangling: ", "out-abs: ", "out-dir: "}},
      {{"out-abs", "out-dir"}, LinkPolicy::Follow, {"out-abs", "out-dir/", "out-dir\\secret"}, {}},
      {{"."}, LinkPolicy::Follow, {}, {"cycle/back: symbolic link to a folder", "dangling: symbolic link that leads nowhere"}},
      // Left out before they are looked at: excluded links are no problem. A pattern
      // without '/' takes names at any depth, one with '/' whole paths only.
      {{"."}, LinkPolicy::InsideOnly, {"dir/", "file.txt", "in-dir/", "in-file"}, {}, {"cycle", "d?ngling", "out-*", "inner.txt"}},
      {{"dir", "in-dir"}, LinkPolicy::InsideOnly, {"dir/", "in-dir/", "in-dir\\inner.txt"}, {}, {"dir/inner.txt"}},
      {{"dir", "in-dir", "file.txt"}, LinkPolicy::InsideOnly, {"dir/", "in-dir/"}, {}, {"*/inner.txt", "file.txt"}},
  };
  NameConverter names(1252);
  for (const Case& c : cases) {
    std::vector<InputEntry> entries;
    std::string error;
    bool taken = collectInputs(c.inputs, root, names, "", &entries, &error, c.links, c.exclude);
    EXPECT_EQ(taken, c.errors.empty()) << c.inputs[0] << ": " << error;
    if (taken) {
      EXPECT_EQ(archiveNames(entries), c.names) << c.inputs[0];
      continue;
    }
    size_t at = 0;
    for (const std::string& piece : c.errors) {
      size_t found = error.find(piece, at);
      EXPECT_NE(found, std::string::npos) << piece << " in\n" << error;
      EXPECT_TRUE(found == 0 || error[found - 1] == '\n') << piece;
      if (found != std::string::npos) at = found + piece.size();
    }
    EXPECT_EQ((size_t)std::count(error.begin(), error.end(), '\n') + 1, c.errors.size()) << error;
  }
  // Links that each lead twice to the next folder multiply the tree (2^n paths at
  // depth n); a folder's contents are taken at most 16 times.
  TempDir d;
  for (int level = 0; level <= 12; level++) mkdir((d / ("l" + std::to_string(level))).c_str(), 0755);
  for (int level = 0; level < 12; level++)
    for (const char* link : {"/x", "/y"})
      ASSERT_EQ(symlink(("../l" + std::to_string(level + 1)).c_str(), (d / ("l" + std::to_string(level)) + link).c_str()), 0);
  for (LinkPolicy links : {LinkPolicy::InsideOnly, LinkPolicy::Follow}) {
    std::vector<InputEntry> multiplied;
    std::string why;
    EXPECT_FALSE(collectInputs({"l0"}, d.path, names, "", &multiplied, &why, links));
    EXPECT_EQ(why.find("l0/x/x/x/x/x/x/x/y/x/x/x/x: symbolic link to a folder taken 16 times already"), 0u) << why;
    EXPECT_LT(multiplied.size(), 200u);
  }

  // The content of a stored link is its target's.
  std::vector<InputEntry> entries;
  std::string error;
  ASSERT_TRUE(collectInputs({"in-file"}, root, names, "", &entries, &error));
  EXPECT_EQ(entries[0].size, 5u);
}

// Names that a Windows installer could not make as they are (a colon reads as a drive,
// a trailing dot or space is dropped, a device name opens the device), and files whose
// paths differ only in case, which Windows takes for one file, are refused; a refused
// folder is not walked, so it is named once.
TEST(Pack20Inputs, NamesWindowsCannotHoldAreRefused) {
  struct Case {
    std::vector<std::string> files;  // made below the input folder; "/" ends a folder
    std::string error;               // empty: taken
  } cases[] = {
      {{"c:d"}, "c:d: a name with ':' cannot be made on Windows"},
      // Shown escaped, so that a name cannot break the message's line or send escape
      // sequences to the terminal.
      {{"n\nl"}, "n\\x0Al: a name with a control character cannot be made on Windows"},
      {{"esc\x1B[2J"}, "esc\\x1B[2J: a name with a control character"},
      {{"q?"}, "q?: a name with '?'"},
      {{"a*b"}, "'*'"},
      {{"a<b"}, "'<'"},
      {{"a>b"}, "'>'"},
      {{"a|b"}, "'|'"},
      {{"a\"b"}, "'\"'"},
      {{"trail."}, "trail.: a name ending in a dot or a space changes on Windows"},
      {{"trail "}, "a dot or a space"},
      {{"..."}, "a dot or a space"},
      {{"CON"}, "CON: CON is a device name on Windows"},
      {{"aux.txt"}, "aux.txt: AUX is a device name"},
      {{"Lpt9.log"}, "LPT9 is a device name"},
      {{"nul  .txt"}, "nul  .txt: NUL is a device name"},
      {{"com0"}, "COM0 is a device name"},
      {{"com\xC2\xB9"}, "is a device name"},
      {{"bad:dir/", "bad:dir/inner.txt", "bad:dir/more.txt"}, "bad:dir: a name with ':'"},
      {{"Readme.txt", "README.TXT"}, "Readme.txt: differs only in case from README.TXT"},
      {{"caf\xC3\xA9", "CAF\xC3\x89"}, "caf\xC3\xA9: differs only in case from CAF\xC3\x89"},
      // Folders differing only in case become one on Windows: only what they hold may clash.
      {{"Docs/", "docs/", "Docs/a", "docs/A"}, "docs/A: differs only in case from Docs/a"},
      {{"Pod/", "pod"}, "pod: differs only in case from Pod"},
      {{"Man/", "man/", "Man/x", "man/y"}, ""},
      {{"CONSOLE", "nul_x", "x.con", "com10", ".hidden", "a.b", "a b", "com\xC2\xBA", "caf\xC3\xA9", "cafe"}, ""},
  };
  NameConverter names(1252);
  for (const Case& c : cases) {
    TempDir t;
    for (const std::string& f : c.files) {
      if (f.back() != '/') writeFile(t / f, std::string("x"));
      if (f.back() == '/') mkdir((t / f).c_str(), 0755);
    }
    std::vector<InputEntry> entries;
    std::string error;
    bool taken = collectInputs({"."}, t.path, names, "", &entries, &error);
    EXPECT_EQ(taken, c.error.empty()) << c.files[0] << ": " << error;
    if (c.error.empty()) continue;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.error << " in\n" << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  // Given on the command line, every part of the path is checked.
  TempDir t;
  mkdir((t / "x:y").c_str(), 0755);
  writeFile(t / "x:y/z", std::string("x"));
  std::vector<InputEntry> entries;
  std::string error;
  EXPECT_FALSE(collectInputs({"x:y/z"}, t.path, names, "", &entries, &error));
  EXPECT_EQ(error, "x:y/z: a name with ':' cannot be made on Windows");
}

// What was walked is what is read: a file replaced after the walk, by a pipe (which
// must not stall the run), a link to a file outside the input folder or another file
// of the same size, or grown since (empty ones too), or written to while it is read,
// fails the run instead of packing something else. So does a link outside put there in
// the middle of the walk, between its look at the name and its look at the file, which
// followed the link.
TEST(Pack20Inputs, FilesReplacedAfterTheWalkAreNotRead) {
  enum Replacement { None, Pipe, LinkOutside, OtherFile, Grown, Rewritten, LinkOutsideWalked };
  struct Case {
    Replacement replacement;
    const char* method;
    std::string walked = "walked";  // the file's content when the inputs were walked
  } cases[] = {{None, "store"}, {Pipe, "store"}, {Pipe, "2.0"}, {LinkOutside, "store"}, {OtherFile, "1.5"},
               {Grown, "store", ""}, {Grown, "2.0", ""}, {Grown, "2.0"}, {None, "2.0", ""},
               {Rewritten, "2.0", std::string(3 << 20, 'w')}, {LinkOutsideWalked, "store"}};
  NameConverter names(1252);
  alarm(20);  // a read that waits on a pipe ends the test instead of stalling it
  for (const Case& c : cases) {
    TempDir t;
    mkdir((t / "in").c_str(), 0755);
    writeFile(t / "in/file", c.walked);
    writeFile(t / "secret", std::string("secret"));
    std::vector<InputEntry> entries;
    std::string error;
    ASSERT_TRUE(collectInputs({"file"}, t / "in", names, "", &entries, &error)) << error;
    std::string file = t / "in/file", other = t / "in/new";
    if (c.replacement == Pipe) other += ".pipe", mkfifo(other.c_str(), 0644);
    if (c.replacement == LinkOutside || c.replacement == LinkOutsideWalked)
      other += ".link", symlink((t / "secret").c_str(), other.c_str());
    struct stat secret;
    if (c.replacement == LinkOutsideWalked && stat((t / "secret").c_str(), &secret) == 0)
      entries[0].device = secret.st_dev, entries[0].inode = secret.st_ino;
    if (c.replacement == OtherFile) writeFile(other, std::string("other!"));
    if (c.replacement == Grown) {
      FILE* f = fopen(file.c_str(), "ab");
      fputs("more", f);
      fclose(f);
    }
    if (c.replacement == Pipe || c.replacement == LinkOutside || c.replacement == OtherFile ||
        c.replacement == LinkOutsideWalked) {
      ASSERT_EQ(rename(other.c_str(), file.c_str()), 0) << other;
    }
    PackJob job;
    job.method = findPackMethod(c.method);
    job.entryTime = [](const InputEntry&) { return 0u; };
    job.settings.threads = 1;
    if (c.replacement == Rewritten)  // the same size, in place, once the first piece is packed
      job.settings.onProgress = [&](uint64_t) {
        FILE* f = fopen(file.c_str(), "r+b");
        fputs("rewritten", f);
        fclose(f);
        struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        utimensat(AT_FDCWD, file.c_str(), times, 0);
      };
    bool packed = packInputs(entries, job, t / "out.rar", &error);
    EXPECT_EQ(packed, c.replacement == None) << c.replacement << " " << c.method << ": " << error;
    if (packed) continue;
    EXPECT_EQ(error, "file: the file changed while it was read") << c.replacement;
    EXPECT_FALSE(pathExists(t / "out.rar")) << c.replacement;
  }
  alarm(0);
}
