#include "tests/support/run_program.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"

std::string builtProgram(const std::string& relative, const char* fallback) {
  const char* build = getenv("LUMVARD_BUILD_DIR");
  if (build != nullptr) return std::string(build) + "/" + relative;
  return fallback != nullptr ? fallback : relative;
}

ProgramOutcome runProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& scratchFolder, const char* environmentPassword,
                          const std::string& workingDirectory) {
  std::string outPath = scratchFolder + "/stdout.txt", errPath = scratchFolder + "/stderr.txt";
  pid_t child = fork();
  if (child == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (environmentPassword != nullptr)
      setenv("LUMVARD_PASSWORD", environmentPassword, 1);
    else
      unsetenv("LUMVARD_PASSWORD");
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) _exit(120);
    std::string name = program;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv = {name.data()};
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(121);
  }
  ProgramOutcome outcome;
  int status = 0;
  waitpid(child, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::vector<unsigned char> out = readFile(outPath), err = readFile(errPath);
  outcome.out.assign(out.begin(), out.end());
  outcome.err.assign(err.begin(), err.end());
  return outcome;
}
