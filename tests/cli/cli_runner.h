// Runs the built lumvard-extract in a temporary folder and collects its exit status,
// stdout (status lines) and stderr (boxes).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace clitest {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string binary() {
  const char* build = getenv("LUMVARD_BUILD_DIR");
  if (build != nullptr) return std::string(build) + "/cli/lumvard-extract";
  return LUMVARD_EXTRACT_BINARY;
}

inline std::string text(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

inline bool has(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

class Cli : public ::testing::Test {
 protected:
  TempDir temp;
  std::string out = temp / "out";

  std::string archive(const std::vector<uint8_t>& bytes, const std::string& name = "a.rar") {
    writeFile(temp / name, bytes);
    return temp / name;
  }

  // Runs the binary with stdin from /dev/null; password, when given, is put in the
  // environment as LUMVARD_PASSWORD.
  Outcome run(const std::vector<std::string>& arguments, const char* environmentPassword = nullptr,
              const std::string& workingDirectory = "") {
    std::string outPath = temp / "stdout.txt", errPath = temp / "stderr.txt";
    pid_t child = fork();
    if (child == 0) {
      int in = open("/dev/null", O_RDONLY);
      int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in, 0);
      dup2(o, 1);
      dup2(e, 2);
      if (environmentPassword != nullptr)
        setenv("LUMVARD_PASSWORD", environmentPassword, 1);
      else
        unsetenv("LUMVARD_PASSWORD");
      if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) _exit(120);
      std::vector<char*> argv;
      std::string program = binary();
      argv.push_back(program.data());
      std::vector<std::string> copies = arguments;
      for (std::string& argument : copies) argv.push_back(argument.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(121);
    }
    Outcome outcome;
    int status = 0;
    waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = text(readFile(outPath));
    outcome.err = text(readFile(errPath));
    return outcome;
  }
};

}  // namespace clitest
