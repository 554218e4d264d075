// Finding the installer executable beside lumvard-pack (see stub_locate.h).
#include "pack/stub_locate.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

// The build configures these for the tree the tool is built in.
#ifndef LUMVARD_BUILD_TREE
#define LUMVARD_BUILD_TREE ""
#endif
#ifndef LUMVARD_BUILD_TREE_STUB
#define LUMVARD_BUILD_TREE_STUB ""
#endif

const char* const installerStubName = "lumvard-install.exe";

std::vector<std::string> installerStubCandidates(const std::string& executablePath, const std::string& buildTree,
                                                 const std::string& buildTreeStub) {
  std::vector<std::string> candidates;
  size_t folderEnd = executablePath.find_last_of('/');
  if (executablePath.empty() || executablePath[0] != '/' || folderEnd == std::string::npos) return candidates;
  // The folder above the tool's own: "/usr" for "/usr/bin/lumvard-pack".
  size_t prefixEnd = executablePath.find_last_of('/', folderEnd ? folderEnd - 1 : 0);
  const std::string prefix = folderEnd == 0 ? "" : executablePath.substr(0, prefixEnd);
  candidates.push_back(prefix + "/share/lumvard/" + installerStubName);
  // An installed copy never reaches back into the tree it was built in.
  const std::string tree = !buildTree.empty() && buildTree.back() == '/' ? buildTree : buildTree + "/";
  if (!buildTree.empty() && !buildTreeStub.empty() && executablePath.compare(0, tree.size(), tree) == 0)
    candidates.push_back(buildTreeStub);
  return candidates;
}

namespace {

std::string runningExecutable() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  return std::string(path, (size_t)length);
}

bool isRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The first candidate that exists; otherwise false with the places tried.
bool findStub(std::string* stub, std::string* tried) {
  const std::vector<std::string> candidates =
      installerStubCandidates(runningExecutable(), LUMVARD_BUILD_TREE, LUMVARD_BUILD_TREE_STUB);
  for (const std::string& candidate : candidates)
    if (isRegularFile(candidate)) {
      *stub = candidate;
      return true;
    }
  *tried = candidates.empty() ? "the tool's own path is unknown" : "looked for";
  for (size_t i = 0; i < candidates.size(); i++) *tried += (i ? ", " : " ") + candidates[i];
  return false;
}

}  // namespace

bool findInstallerStub(std::string* stub, std::string* error) {
  std::string tried;
  if (findStub(stub, &tried)) return true;
  *error = "no installer executable found (" + tried + "); name one with --installer STUB";
  return false;
}

void printFoundInstallerStub(FILE* to) {
  std::string stub, tried;
  if (findStub(&stub, &tried))
    fprintf(to, "Installer executable for --exe: %s\n", stub.c_str());
  else
    fprintf(to, "Installer executable for --exe: none found (%s)\n", tried.c_str());
}
