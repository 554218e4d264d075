// What in-process engine tests share: a fixture that starts every test from a zeroed
// engine and fake host, and helpers that stand in for the parts of a run around the
// piece under test (the archive file, the output file, the extraction loop's set-up).
#pragma once

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

// Resets the engine and the fake host and builds the CRC table before each test;
// resets the engine again after it.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// An engine test with a temporary folder and an empty output folder "out" in it.
class ExtractTest : public EngineTest {
 protected:
  TempDir temp;
  std::string out = temp / "out";
  void SetUp() override;
};

// Writes bytes to path and opens that file read-only as the session's archive file;
// null (after a failed expectation) when it cannot be opened.
FILE* openAsArchive(const std::vector<uint8_t>& bytes, const std::string& path);

// Sends what writeUnpacked writes into a temporary file, and reads it back.
void captureUnpackedOutput();
std::vector<uint8_t> capturedOutput();

// Runs the extraction loop over archive files into destination (an existing folder)
// as a run sets it up: every entry ("*.*"), optionally only tested. Returns the
// session's exit code.
int extractInProcess(const std::vector<std::string>& archives, const std::string& destination,
                     bool testOnly = false);
