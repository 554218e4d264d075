// Recording stand-ins for the platform calls behind the shell's portable part and for
// the handlers its dispatch tables name.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

struct ShellCall {
  std::string name;  // handler or default procedure
  void* window;
  uint32_t first;    // message, or command id
  uintptr_t second;  // wParam, or notification code
  intptr_t lParam;
};

struct ShellFakes {
  std::vector<ShellCall> calls;
  std::map<std::string, int32_t> results;  // what each fake returns; 0 when not set
  uint32_t systemLanguage = 0x0409;
  std::string windowsFolder;               // empty: GetWindowsDirectoryA fails
  void reset() { *this = ShellFakes(); }
};

extern ShellFakes shellFakes;
