// A solid archive's files chained by likeness: folders first, then folder by folder
// each file followed by the one of its folder most like it, the walk's order where
// nothing is alike.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pack/solid_order.h"
#include "tests/support/temp_dir.h"

namespace {

// Bytes no other seed shares.
std::string noise(uint32_t seed, size_t length) {
  std::string out(length, '\0');
  for (char& c : out) {
    seed = seed * 1664525u + 1013904223u;
    c = (char)(seed >> 24);
  }
  return out;
}

}  // namespace

TEST(Pack20SolidOrder, FilesFollowTheFileMostLikeThem) {
  const std::string a = noise(1, 8192), b = noise(2, 8192), c = noise(3, 8192), d = noise(4, 8192);
  std::string editedA = a;
  for (size_t i = 0; i < editedA.size(); i += 1000) editedA[i] ^= 0x55;
  struct File {
    const char* path;  // below the input folder; its folders are made
    std::string content;
  };
  struct Case {
    const char* what;
    std::vector<File> files;
    const char* expected;  // archive names, folders with a '/'
  } cases[] = {
      {"a folder's files stay together, like after like, its subfolders' files after them",
       {{"d/1", a}, {"d/2", b}, {"d/3", editedA + d}, {"d/s/x", a}, {"e", c}},
       "d/ d\\s/ d\\1 d\\3 d\\2 d\\s\\x e"},
      {"nothing alike: the walk's order",
       {{"1", a}, {"2", b}, {"3", c}, {"4", std::string()}, {"5", "tiny"}},
       "1 2 3 4 5"},
      {"the one sharing most comes first; ties and dead ends go back to the walk's order",
       {{"p", a + b + c}, {"q", d}, {"r", a}, {"s", b + c}, {"t", c}, {"u", editedA}, {"v", c}},
       "p s t v q r u"},
  };
  NameConverter names(1252);
  for (const Case& k : cases) {
    TempDir t;
    for (const File& f : k.files) {
      std::string path = f.path;
      for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir((t / path.substr(0, slash)).c_str(), 0755);
      writeFile(t / path, f.content);
    }
    std::vector<InputEntry> entries;
    std::string error;
    ASSERT_TRUE(collectInputs({"."}, t.path, names, "", &entries, &error)) << error;
    orderForSolidPacking(entries);
    std::string got;
    for (const InputEntry& e : entries) got += (got.empty() ? "" : " ") + e.archiveName + (e.directory ? "/" : "");
    EXPECT_EQ(got, k.expected) << k.what;
  }
}

// A file gone or replaced by a pipe since the walk keeps its turn, without a wait on
// the pipe: its real read reports it.
TEST(Pack20SolidOrder, FilesThatChangedSinceTheWalkKeepTheirTurn) {
  TempDir t;
  const std::string a = noise(1, 8192);
  writeFile(t / "1", a);
  writeFile(t / "2", noise(2, 8192));
  writeFile(t / "3", a);
  writeFile(t / "4", a);
  NameConverter names(1252);
  std::vector<InputEntry> entries;
  std::string error;
  ASSERT_TRUE(collectInputs({"."}, t.path, names, "", &entries, &error)) << error;
  unlink((t / "3").c_str());
  mkfifo((t / "3").c_str(), 0644);
  unlink((t / "4").c_str());
  alarm(20);
  orderForSolidPacking(entries);
  alarm(0);
  std::string got;
  for (const InputEntry& e : entries) got += e.archiveName;
  EXPECT_EQ(got, "1234");
}
