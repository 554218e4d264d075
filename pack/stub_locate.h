// Where lumvard-pack finds the installer executable when the command line names none:
// installed, in ../share/lumvard/ beside the tool's own folder; run from the build tree
// it was built in, the stub that tree was configured with.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

extern const char* const installerStubName;  // "lumvard-install.exe"

// The places tried, in order, for a tool at executablePath (a real path, no links).
// The build tree's stub is a candidate only for a tool inside buildTree; either may be
// empty.
std::vector<std::string> installerStubCandidates(const std::string& executablePath, const std::string& buildTree,
                                                 const std::string& buildTreeStub);

// The first candidate of the running tool that is a regular file; false with a message
// naming the places tried when there is none.
bool findInstallerStub(std::string* stub, std::string* error);

// The --help line that says which stub an installer gets when none is named.
void printFoundInstallerStub(FILE* to);
