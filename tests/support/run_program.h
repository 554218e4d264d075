// Runs a program of the build (lumvard-extract, lumvard-pack) as a child process and
// collects its exit status and output.
#pragma once

#include <string>
#include <vector>

struct ProgramOutcome {
  int status = -1;  // the exit code; -1 when the program did not exit normally
  std::string out;  // stdout
  std::string err;  // stderr
};

// A program of the build by its path below the build folder: LUMVARD_BUILD_DIR under
// CTest; otherwise fallback (a path compiled into the test) when given, else the
// path relative to the current folder.
std::string builtProgram(const std::string& relative, const char* fallback = nullptr);

// Runs program with stdin from /dev/null and stdout and stderr caught in files in
// scratchFolder. LUMVARD_PASSWORD is set to environmentPassword when it is given and
// removed otherwise; workingDirectory, when given, is the child's current folder.
ProgramOutcome runProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& scratchFolder, const char* environmentPassword = nullptr,
                          const std::string& workingDirectory = "");
