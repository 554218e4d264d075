#include "pack/password_prompt.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct termios found;
volatile sig_atomic_t echoOff;

const int interrupting[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Only async-signal-safe calls: the terminal gets its echo back before the process ends
// as the signal would have ended it.
void restoreAndEnd(int signalNumber) {
  if (echoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &found);
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

// One answer, its line end dropped; false at the end of input.
bool askOnce(const char* prompt, char* line, size_t capacity) {
  fputs(prompt, stderr);
  fflush(stderr);
  bool answered = fgets(line, (int)capacity, stdin) != nullptr;
  // A line longer than the room is too long whatever follows: the rest is not the
  // next answer.
  if (answered && strchr(line, '\n') == nullptr)
    for (int c = getchar(); c != EOF && c != '\n'; c = getchar()) {
    }
  fputc('\n', stderr);  // the Enter key was not echoed
  line[answered ? strcspn(line, "\r\n") : 0] = 0;
  return answered;
}

}  // namespace

bool askPasswordTwice(std::string* password, std::string* error) {
  struct sigaction previous[sizeof interrupting / sizeof interrupting[0]];
  for (size_t i = 0; i < sizeof interrupting / sizeof interrupting[0]; i++) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = restoreAndEnd;
    sigemptyset(&action.sa_mask);
    sigaction(interrupting[i], nullptr, &previous[i]);
    if (previous[i].sa_handler != SIG_IGN) sigaction(interrupting[i], &action, nullptr);
  }
  if (tcgetattr(STDIN_FILENO, &found) == 0) {
    struct termios quiet = found;
    quiet.c_lflag &= ~(tcflag_t)ECHO;
    echoOff = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  // Room for one byte too many, so that a longer answer is told from a fitting one.
  char first[MaxPasswordBytes + 3], second[MaxPasswordBytes + 3];
  bool answered = askOnce("Enter password: ", first, sizeof first) &&
                  askOnce("Enter it again: ", second, sizeof second);
  if (echoOff) tcsetattr(STDIN_FILENO, TCSAFLUSH, &found);
  echoOff = 0;
  for (size_t i = 0; i < sizeof interrupting / sizeof interrupting[0]; i++)
    sigaction(interrupting[i], &previous[i], nullptr);
  size_t length = strlen(first);
  if (!answered)
    *error = "no password was typed";
  else if (strcmp(first, second) != 0)
    *error = "the passwords typed differ";
  else if (length == 0 || length > MaxPasswordBytes)
    *error = "a password takes 1 to 127 bytes";
  else
    password->assign(first, length);
  memset(first, 0, sizeof first);
  memset(second, 0, sizeof second);
  return !password->empty();
}
