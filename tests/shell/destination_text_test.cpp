// The destination dialog's drive root and file filter.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "shell/destination_text.h"

namespace {
std::string root(const char* path, size_t capacity = 256) {
  char buffer[256];
  destinationRoot(path, buffer, capacity);
  return buffer;
}

TEST(DestinationRoot, IsCutRightAfterTheFirstBackslash) {
  EXPECT_EQ(root("D:\\Some\\Deep\\Folder"), "D:\\");
  EXPECT_EQ(root("C:\\"), "C:\\");
  EXPECT_EQ(root("\\Folder\\Below"), "\\");
  EXPECT_EQ(root("\\\\server\\share"), "\\");
}

TEST(DestinationRoot, WithoutBackslashIsTheWholeText) {
  EXPECT_EQ(root("D:"), "D:");
  EXPECT_EQ(root("Folder"), "Folder");
  EXPECT_EQ(root(""), "");
}

TEST(DestinationRoot, StaysInsideItsBuffer) {
  EXPECT_EQ(root("ABCDEFGH", 4), "ABC");
  EXPECT_EQ(root("AB\\CD", 3), "AB");
}

TEST(FileFilter, LastCharacterSeparatesTheParts) {
  char filter[32];
  memset(filter, 'x', sizeof filter);
  buildFileFilter("All Files(*.*)|*.*|", filter, sizeof filter);
  const char expected[] = "All Files(*.*)\0*.*\0";  // and the literal's own zero
  EXPECT_EQ(std::string(filter, sizeof expected), std::string(expected, sizeof expected));
}

TEST(FileFilter, AnotherSeparatorAndATooSmallBuffer) {
  char filter[8];
  buildFileFilter("Text#*.txt#", filter, sizeof filter);
  // Cut to 6 characters, whose last ('*') then separates; two zeros still end it.
  EXPECT_EQ(std::string(filter, 8), std::string("Text#\0\0\0", 8));
}
}  // namespace
