// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>
#include <vector>

struct TempDir {
  std::string path;  // absolute, without a trailing slash
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
void writeFile(const std::string& path, const std::string& text);
std::vector<unsigned char> readFile(const std::string& path);
bool pathExists(const std::string& path);
