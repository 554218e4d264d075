// lumvard-extract end to end: the built binary run on archives in a temporary folder,
// its exit status, stdout (status lines) and stderr (boxes) looked at.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_archive.h"

using namespace testarchive;
using namespace clitest;

namespace {

TEST_F(Cli, ExtractsAPlainNewFormatArchive) {
  std::string longName = std::string(70, 'n') + ".txt";
  std::string name = archive(newArchive({folder("docs"), file("docs\\readme.txt", "read me"),
                                         file("top.bin", std::string(100000, '\x01')), file(longName, "")}));
  Outcome result = run({name, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/docs/readme.txt")), "read me");
  EXPECT_EQ(readFile(out + "/top.bin").size(), 100000u);
  EXPECT_TRUE(has(result.out, "Extracting from " + name));
  EXPECT_TRUE(has(result.out, "All OK"));
  EXPECT_EQ(result.err, "");
  // Paths relative to the destination, with slashes, "Ok" on the entry's line.
  EXPECT_TRUE(has(result.out, "\nExtracting  docs/readme.txt "));
  EXPECT_TRUE(has(result.out, "docs/readme.txt" + std::string(68 - 12 - 15, ' ') + "Ok\n"));
  // A name past the column gets one space before its result; -v adds the size.
  EXPECT_TRUE(has(result.out, "\nExtracting  " + longName + " Ok\n")) << result.out;
  EXPECT_FALSE(has(result.out, "\\"));
  EXPECT_TRUE(has(result.out, "Extracted 3 files (100007 bytes), 2 folders made in ")) << result.out;
  Outcome verbose = run({"--test", "-v", name});
  EXPECT_TRUE(has(verbose.out, "docs/readme.txt" + std::string(68 - 12 - 15, ' ') + "Ok  7 bytes\n")) << verbose.out;
}

TEST_F(Cli, RelativePathsAndAnOldFormatArchive) {
  Entry old = file("OLD.TXT", "old format");
  old.unpVer = 13;
  archive(oldArchive({old}), "old.arc");
  Outcome result = run({"old.arc", "out"}, nullptr, temp.path);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/OLD.TXT")), "old format");
}

TEST_F(Cli, ExtractsThePayloadOfAnExecutable) {
  std::string name = archive(embedded(newArchive({file("setup.ini", "[setup]")})), "installer.exe");
  Outcome result = run({name, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/setup.ini")), "[setup]");
  // The payload moves the progress bar, which is drawn on a terminal only.
  EXPECT_EQ(result.err, "");
}

TEST_F(Cli, ChecksumFailureIsExitThreeAndLeavesNoFile) {
  Entry damaged = file("damaged.txt", "damaged");
  damaged.wrongChecksum = true;
  Outcome result = run({archive(newArchive({file("good.txt", "g"), damaged})), out});
  EXPECT_EQ(result.status, 3);
  EXPECT_FALSE(pathExists(out + "/damaged.txt"));
  EXPECT_EQ(text(readFile(out + "/good.txt")), "g");
  EXPECT_TRUE(has(result.err, "lumvard-extract: damaged.txt          : CRC failed\n"));
  EXPECT_TRUE(has(result.err, "lumvard-extract: Total errors: 1\n"));
}

TEST_F(Cli, TestRunChecksWithoutWriting) {
  Entry damaged = file("damaged.txt", "damaged");
  damaged.wrongChecksum = true;
  std::string good = archive(newArchive({folder("d"), file("d\\good.txt", "g")}), "good.rar");
  Outcome result = run({"--test", good});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_FALSE(pathExists(out + "/d"));
  EXPECT_TRUE(has(result.out, "All OK"));

  result = run({"--test", archive(newArchive({damaged}), "bad.rar")});
  EXPECT_EQ(result.status, 3);
  EXPECT_TRUE(has(result.err, "CRC failed"));
  EXPECT_FALSE(pathExists(out + "/damaged.txt"));
}

// MEMBERs pick entries by path or shell pattern, without case, in UTF-8 with slashes;
// a folder takes what lies below it. In a solid archive the entries before a picked one
// are still decoded, and nothing else is written.
TEST_F(Cli, MembersSelectEntries) {
  std::vector<Entry> entries = {folder("docs"),          file("docs\\README.TXT", "r"), folder("docs\\Sub"),
                                file("docs\\Sub\\a.txt", "a"), file("A\xF1o.txt", "n"),  file("top.bin", "b")};
  std::string plain = archive(newArchive(entries));
  std::string solid = archive(newArchive(entries, 0x08), "solid.rar");
  struct Case {
    std::vector<std::string> members;
    std::string written;  // the files extracted, sorted, each followed by a space
    int status = 0;
    std::string problem = "";
  } cases[] = {
      {{"docs"}, "docs/README.TXT docs/Sub/a.txt "},
      {{"./DOCS/sub/"}, "docs/Sub/a.txt "},
      {{"docs\\readme.txt"}, "docs/README.TXT "},
      {{"*.TXT"}, "A\xC3\xB1o.txt docs/README.TXT docs/Sub/a.txt "},  // '*' crosses folders
      {{"a\xC3\x91O.TXT"}, "A\xC3\xB1o.txt "},                        // case of a non-ASCII letter too
      {{"?o?.bin", "d*/s*/?.txt"}, "docs/Sub/a.txt top.bin "},
      {{"top.bin", "missing"}, "top.bin ", 1, "lumvard-extract: missing: not in the archive\n"},
      {{"doc"}, "", 1, "doc: not in the archive"},  // a folder is taken whole, not its name's start
  };
  int index = 0;
  for (const std::string& name : {plain, solid}) {
    for (const Case& c : cases) {
      std::string destination = temp / ("m" + std::to_string(index++));
      std::vector<std::string> arguments = {name, destination};
      arguments.insert(arguments.end(), c.members.begin(), c.members.end());
      Outcome result = run(arguments);
      EXPECT_EQ(result.status, c.status) << c.members[0] << result.err;
      std::string written;
      for (const char* path : {"A\xC3\xB1o.txt", "docs/README.TXT", "docs/Sub/a.txt", "top.bin"})
        if (pathExists(destination + "/" + path)) written += std::string(path) + " ";
      EXPECT_EQ(written, c.written) << c.members[0];
      if (c.problem.empty()) {
        EXPECT_EQ(result.err, "") << c.members[0];
      } else {
        EXPECT_TRUE(has(result.err, c.problem)) << result.err;
      }
    }
  }
  // Once every MEMBER named a file, the rest of a solid archive is not decoded; a
  // folder or a pattern may take more, so the walk goes on (-v shows decoded entries).
  struct Walk {
    std::vector<std::string> members;
    bool lastEntryDecoded;
  } walks[] = {{{"docs/readme.txt", "A\xC3\xB1o.txt"}, false}, {{"docs/readme.txt", "docs/sub"}, true},
               {{"docs/readme.tx?"}, true}};
  for (const Walk& w : walks) {
    std::vector<std::string> arguments = {"-v", "-t", solid};
    arguments.insert(arguments.end(), w.members.begin(), w.members.end());
    Outcome result = run(arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(has(result.out, "top.bin"), w.lastEntryDecoded) << w.members[1 % w.members.size()] << result.out;
  }
  // --test and --list take MEMBERs after ARCHIVE alone.
  Outcome tested = run({"-t", solid, "top.bin"});
  EXPECT_EQ(tested.status, 0) << tested.err;
  EXPECT_TRUE(has(tested.out, "Tested 1 file (1 bytes) in ")) << tested.out;
  Outcome listed = run({"-l", plain, "docs/sub"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_TRUE(has(listed.out, " docs/Sub\n")) << listed.out;
  EXPECT_TRUE(has(listed.out, " docs/Sub/a.txt\n1 file, 1 folder") || has(listed.out, "1 file, 1 folder\n"))
      << listed.out;
  EXPECT_FALSE(has(listed.out, "README")) << listed.out;
}

TEST_F(Cli, NotAnArchiveIsExitOne) {
  std::string name = archive(Bytes(1000, 'z'), "notes.txt");
  Outcome result = run({name, out});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "lumvard-extract: " + name + " is not an archive, nor an installer that holds one\n");
}

TEST_F(Cli, EncryptedEntryWithoutAnyPasswordEndsWith255) {
  Outcome result = run({archive(newArchive({encrypted("secret.txt", "s", "pw")})), out});
  EXPECT_EQ(result.status, 255);
  EXPECT_TRUE(has(result.err, "secret.txt is encrypted and no password is given: use --password TEXT")) << result.err;
  EXPECT_FALSE(pathExists(out + "/secret.txt"));
}

TEST_F(Cli, EncryptedArchivesTakeThePasswordFromTheOptionOrTheEnvironment) {
  std::string name = archive(newArchive({encrypted("a.txt", "alpha", "s3cret"),
                                         encrypted("b.txt", "beta", "s3cret", 15)}));
  Outcome result = run({"--password", "s3cret", name, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/a.txt")), "alpha");
  EXPECT_EQ(text(readFile(out + "/b.txt")), "beta");
  // The question whether to keep the password, due at b.txt, is answered Yes without
  // a terminal: nothing is asked.
  EXPECT_EQ(result.err, "");

  std::string other = temp / "other";
  result = run({name, other}, "s3cret");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(other + "/b.txt")), "beta");

  // The option wins over the environment.
  result = run({"--password", "wrong", name, temp / "third"}, "s3cret");
  EXPECT_EQ(result.status, 3);
  EXPECT_TRUE(has(result.err, "lumvard-extract: Encrypted file:  CRC failed in a.txt (password incorrect ?)\n"));
  EXPECT_FALSE(pathExists(temp / "third/a.txt"));
}

TEST_F(Cli, EncryptedPayloadOfAnExecutableInBothFormatsAndUnderTest) {
  std::string exe = archive(embedded(newArchive({encrypted("p.txt", "payload", "pw")}, 0x08)), "setup.exe");
  Outcome result = run({"--test", "--password", "pw", exe});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_FALSE(pathExists(out + "/p.txt"));
  result = run({"--password", "pw", exe, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/p.txt")), "payload");

  std::string old = archive(oldArchive({encrypted("OLD.TXT", "old secret", "pw", 13)}), "old.arc");
  result = run({old, out}, "pw");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(text(readFile(out + "/OLD.TXT")), "old secret");
}

TEST_F(Cli, TraversalIsRefused) {
  Outcome result = run({archive(newArchive({file("..\\..\\..\\evil.txt", "e"), file("ok.txt", "ok")})), out});
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(pathExists(temp / "evil.txt"));
  EXPECT_TRUE(has(result.err, "Cannot create "));
  EXPECT_TRUE(has(result.err, "Total errors: 1"));
}

}  // namespace

namespace {

// Options and errors of the command line, each with its exit status and a piece of
// what it must say (on stdout for help and version, on stderr otherwise).
TEST_F(Cli, CommandLineOptionsAndErrors) {
  std::string good = archive(newArchive({folder("d"), file("d\\a.txt", "alpha")}), "good.rar");
  std::string notes = archive(Bytes(1000, 'z'), "notes.txt");
  archive(newArchive({file("x.txt", "x")}), "-dash.rar");
  std::string aFile = archive(Bytes(3, 'f'), "plain-file");
  Entry damaged = file("d\\bad.txt", "bad");
  damaged.wrongChecksum = true;
  std::string bad = archive(newArchive({file("ok.txt", "fine"), damaged}), "bad.rar");
  std::string secret = archive(newArchive({encrypted("secret.txt", "s", "pw")}), "secret.rar");
  std::string large = archive(newArchive({file("small.txt", "s"), file("large.bin", std::string(200000, 'l'))}), "large.rar");
  std::string pipe = temp / "pipe.rar";  // opening it would wait for a writer for ever
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  Bytes whole = newArchive({file("first.txt", "1"), file("second.txt", "2")});
  std::string cut = archive(Bytes(whole.begin(), whole.end() - 20), "cut.rar");  // in the last header
  std::string longNamed = archive(newArchive({file(std::string(240, 'n'), "n")}), "long.rar");
  // Paths given to the tool may come from a shell pattern over someone else's folder.
  std::string escapeFile = archive(Bytes(3, 'f'), "f\x1B]0;x\x07");
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string out, err;  // pieces that must appear; "" is not looked for
    rlim_t fileSizeLimit = 0;  // when not 0, writes beyond it fail: a full disk
  } cases[] = {
      {{"--help"}, 0, "Usage: lumvard-extract [OPTION]... ARCHIVE DESTINATION [MEMBER]...\n", ""},
      {{"-h"}, 0, "\n  -l, --list ", ""},
      {{"--version"}, 0, "lumvard-extract 1.0.0\n", ""},
      {{"-V"}, 0, "lumvard-extract 1.0.0\n", ""},
      {{"--bogus", good, out}, 64, "", "unknown option '--bogus'\nTry 'lumvard-extract --help'"},
      {{"-x", good, out}, 64, "", "unknown option '-x'"},
      {{"--test=yes", good}, 64, "", "option '--test' takes no value"},
      {{good, out, "--password"}, 64, "", "option '--password' needs a value"},
      {{"-", out}, 64, "", "'-' is not read as standard input"},
      {{good}, 64, "", "no DESTINATION given"},
      {{}, 64, "", "no ARCHIVE given"},
      {{"--list", good, out}, 1, "", out + ": not in the archive\n"},  // a MEMBER, not a DESTINATION
      {{"-t", good, "extra", "d"}, 1, "Tested 1 file (5 bytes) in ", "lumvard-extract: extra: not in the archive\n"},
      {{"-t", good, ".//"}, 64, "", "MEMBER './/' names no entry"},
      {{good, "a\\b"}, 64, "", "'" + temp / "a\\b' holds a backslash, which would be read as a folder"},
      {{"-t", temp / "d\\good.rar"}, 64, "", "d\\good.rar' holds a backslash"},
      {{"--codepage", "932", good, out}, 64, "", "code page 932 is not an ASCII-based single-byte"},
      {{"--codepage", "500", good, out}, 64, "", "code page 500 is not an ASCII-based"},  // EBCDIC
      {{"-l", "good"}, 0, " d/a.txt\n", ""},  // found with the extension the engine adds
      {{"--codepage=x", good, out}, 64, "", "--codepage wants a code page number"},
      {{temp / "missing.rar", out}, 2, "", "cannot open " + temp / "missing.rar" + ": No such file or directory\n"},
      {{"--test", temp.path}, 2, "", "cannot open " + temp.path + ": Is a directory\n"},
      {{pipe, out}, 2, "", "cannot open " + pipe + ": not a file that can be read by seeking\n"},
      {{"-l", pipe}, 2, "", "cannot open " + pipe + ": not a file"},
      {{good, aFile}, 2, "", "cannot extract into " + aFile + ": Not a directory\n"},
      {{"-l", notes}, 1, "", "is not an archive"},
      {{"-t", good}, 0, "Testing     d/a.txt", ""},
      {{"-qt", good}, 0, "", ""},
      {{"-vt", good}, 0, "Ok  5 bytes\n", ""},
      {{"-t", "--", "-dash.rar"}, 0, "Tested 1 file (1 bytes) in ", ""},
      {{"--password=pw", "-t", good}, 0, "Tested 1 file (5 bytes) in ", ""},
      {{"-t", bad}, 3, "Tested 1 file (4 bytes) of 2 in ", "lumvard-extract: d/bad.txt            : CRC failed\n"},
      {{"-qt", bad}, 3, "", "lumvard-extract: Total errors: 1\n"},
      // A fatal end closes with the summary too, unless -q.
      {{"-t", secret}, 255, " s: failed: no password\n", "no password is given"},
      {{"-qt", secret}, 255, "", "no password is given"},
      {{large, temp / "full"}, 5, " s: failed: write error\n", "Write error", 65536},
      // Said on stderr, so never a success, though the engine counts no error.
      {{cut, temp / "cut"}, 1, "Extracted 1 file (1 bytes), 1 folder made in ", "Unexpected end of archive"},
      {{"-t", cut}, 1, ": with warnings\n", "Unexpected end of archive"},
      // A test run's outcome does not depend on the folder it runs in.
      {{"-t", longNamed}, 0, "Tested 1 file (1 bytes) in ", ""},
      {{"-t", "-p", "", secret}, 255, "", "secret.txt is encrypted and the password given is empty"},
      {{temp / "m\x1B[2J.rar", out}, 2, "", "cannot open " + temp / "m\\x1B[2J.rar: No such file"},
      {{good, escapeFile}, 2, "", "cannot extract into " + temp / "f\\x1B]0;x\\x07: Not a directory"},
      {{good, temp / "b\x1B[1m\\"}, 64, "", temp / "b\\x1B[1m\\' holds a backslash"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.arguments) shown += a + " ";
    struct rlimit unlimited;
    getrlimit(RLIMIT_FSIZE, &unlimited);
    struct rlimit limited = {c.fileSizeLimit, unlimited.rlim_max};
    void (*fileSizeSignal)(int) = signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails
    if (c.fileSizeLimit != 0) setrlimit(RLIMIT_FSIZE, &limited);
    Outcome result = runProgram(binary(), c.arguments, temp.path, nullptr, temp.path);
    setrlimit(RLIMIT_FSIZE, &unlimited);
    signal(SIGXFSZ, fileSizeSignal);
    EXPECT_EQ(result.status, c.status) << shown << result.err;
    EXPECT_TRUE(has(result.out, c.out)) << shown << result.out;
    EXPECT_TRUE(has(result.err, c.err)) << shown << result.err;
    bool quiet = !c.arguments.empty() && c.arguments[0] == "-qt";
    if (c.status == 2 || c.status == 64 || quiet) {
      EXPECT_EQ(result.out, "") << shown;
    }
    if (quiet && c.status == 0) {
      EXPECT_EQ(result.err, "") << shown;
    }
  }
  EXPECT_FALSE(pathExists(out));

  // Output that cannot be written is no success; a listing from a folder deeper than
  // any archive path works as from any other.
  Outcome full = runProgram("/bin/sh", {"-c", "exec \"$0\" -l \"$1\" >/dev/full", binary(), good}, temp.path);
  EXPECT_EQ(full.status, 2) << full.err;
  EXPECT_TRUE(has(full.err, "lumvard-extract: cannot write standard output")) << full.err;
  std::string deep = temp.path;
  for (int level = 0; level < 6; level++) ASSERT_EQ(mkdir((deep += "/" + std::string(50, 'd')).c_str(), 0755), 0);
  Outcome listed = runProgram(binary(), {"-l", good}, temp.path, nullptr, deep);
  EXPECT_EQ(listed.status, 0) << listed.err;
}

// The listing: one line per entry with every column, from the headers alone (the
// packed data of the first entry is damaged and still lists), then the totals.
TEST_F(Cli, ListingColumns) {
  Entry stored = file("docs\\read me.txt", "0123456789");
  stored.attr = 0x23;  // read-only, hidden, archive
  stored.time = (44u << 25) | (2u << 21) | (29u << 16) | (23u << 11) | (58u << 5) | 5u;  // 2024-02-29 23:58:10
  stored.wrongChecksum = true;
  Entry packed = file("big.bin", std::string(200, 'b'));
  packed.method = 0x33;
  packed.packSize = 50;
  packed.packed = Bytes(50, 0);
  Entry old = file("v15.bin", "");
  old.unpVer = 15;
  old.method = 0x35;
  Entry future = file("new.bin", "n");
  future.unpVer = 29;
  future.method = 0x33;
  future.time = 0;
  Entry secret = encrypted("secret.txt", "s", "pw");
  std::string name = archive(embedded(newArchive({folder("docs"), stored, packed, old, future, secret})), "setup.exe");
  Outcome result = run({"--list", name});
  ASSERT_EQ(result.status, 0) << result.err;
  const char* expected[] = {
      "      Size     Packed Ratio Modified            Attr  Method E Checksum Name",
      "         0          0   -- (no valid time)     D.... store   00000000 docs",
      "        10         10 100% 2024-02-29 23:58:10 .RH.A store   ",  // checksum as stored
      "       200         50  25% 2026-06-15 12:30:00 ....A 2.0     ",
      "         0          0   -- 2026-06-15 12:30:00 ....A 1.5     ",
      "         1          1 100% (no valid time)     ....A ?2.9    ",
      "         1         16 1600% 2026-06-15 12:30:00 ....A store * ",  // the cipher's block
      "       212         77  36% 5 files, 1 folder",
  };
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = result.out.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(result.out.substr(at, end - at));
  ASSERT_EQ(lines.size(), sizeof expected / sizeof expected[0]) << result.out;
  for (size_t i = 0; i < lines.size(); i++) EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
  EXPECT_TRUE(has(lines[2], " docs/read me.txt"));
  EXPECT_TRUE(has(lines[6], " secret.txt"));
  EXPECT_EQ(result.err, "");

  // Old-format archives carry a 16-bit checksum.
  Entry old13 = file("OLD.TXT", "old format");
  old13.unpVer = 13;
  result = run({"-l", archive(oldArchive({old13}), "old.arc")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(has(result.out, " store       ")) << result.out;
  EXPECT_TRUE(has(result.out, " OLD.TXT\n")) << result.out;
}

// Names from the archive's code page reach the file system and the terminal in UTF-8;
// bytes the code page leaves undefined are kept on disk and escaped on the terminal,
// as are control characters, so that no name can send an escape sequence.
TEST_F(Cli, NamesAreConvertedAndEscaped) {
  struct Case {
    std::vector<std::string> options;
    std::string entry;        // as stored, in the code page
    std::string onDisk;       // the file's name in the destination
    std::string shown;        // on stdout
    std::string problem;      // on stderr; "" for none
  } cases[] = {
      {{}, "A\xF1o nuevo se\xF1or.txt", "A\xC3\xB1o nuevo se\xC3\xB1or.txt", "A\xC3\xB1o nuevo se\xC3\xB1or.txt", ""},
      {{"--codepage", "437"}, "caf\x82.txt", "caf\xC3\xA9.txt", "caf\xC3\xA9.txt", ""},
      {{"--codepage", "1251"}, "\xC4\xE0.txt", "\xD0\x94\xD0\xB0.txt", "\xD0\x94\xD0\xB0.txt", ""},
      {{}, "odd\x81.txt", "odd\x81.txt", "odd\\x81.txt", "odd\\x81.txt: bytes that code page 1252 does not define"},
      {{}, "evil\x1B]0;owned\x07\x7F.txt", "evil\x1B]0;owned\x07\x7F.txt", "evil\\x1B]0;owned\\x07\\x7F.txt", ""},
      {{"--codepage", "819"}, "c1\x9B" "31m.txt", "c1\xC2\x9B" "31m.txt", "c1\\x9B31m.txt", ""},
      {{}, "D\xE9j\xE0\\x.txt", "D\xC3\xA9j\xC3\xA0/x.txt", "D\xC3\xA9j\xC3\xA0/x.txt", ""},
  };
  int index = 0;
  for (const Case& c : cases) {
    std::string destination = temp / ("n" + std::to_string(index++));
    std::string name = archive(newArchive({file("sub\\" + c.entry, "x")}), "names.rar");
    std::vector<std::string> arguments = c.options;
    arguments.push_back(name);
    arguments.push_back(destination);
    Outcome result = run(arguments);
    EXPECT_EQ(result.status, 0) << c.shown << result.err;
    EXPECT_TRUE(pathExists(destination + "/sub/" + c.onDisk)) << c.shown;
    EXPECT_TRUE(has(result.out, "Extracting  sub/" + c.shown + " ")) << result.out;
    if (c.problem.empty()) {
      EXPECT_EQ(result.err, "") << c.shown;
    } else {
      EXPECT_TRUE(has(result.err, c.problem)) << result.err;
    }
    EXPECT_EQ(result.out.find('\x1B'), std::string::npos);
    size_t folderEnd = c.shown.rfind('/');
    if (folderEnd != std::string::npos) {  // a folder made on the way is shown the same way
      EXPECT_TRUE(has(result.out, "Creating    sub/" + c.shown.substr(0, folderEnd) + "\n")) << result.out;
    }
    arguments.pop_back();
    arguments.insert(arguments.begin(), "-l");
    Outcome listed = run(arguments);
    EXPECT_TRUE(has(listed.out, " sub/" + c.shown + "\n")) << listed.out;
  }
}

}  // namespace
