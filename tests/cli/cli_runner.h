// Runs the built lumvard-extract in a temporary folder and collects its exit status,
// stdout (status lines) and stderr (boxes).
#pragma once

#include <gtest/gtest.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace clitest {

typedef ProgramOutcome Outcome;

inline std::string binary() { return builtProgram("cli/lumvard-extract", LUMVARD_EXTRACT_BINARY); }

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
    return runProgram(binary(), arguments, temp.path, environmentPassword, workingDirectory);
  }
};

}  // namespace clitest
