// A host for the tests: records everything the engine reports and answers its
// questions from queues the test fills.
#pragma once

#include <stdint.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

struct HostEvent {
  enum Kind { ItemText, Box, PasswordRequest, Progress } kind = ItemText;
  int item = 0;            // ItemText: the dialog item
  std::string text;        // ItemText, Box
  std::string caption;     // Box
  unsigned style = 0;      // Box
  unsigned message = 0;    // Progress
  uintptr_t wParam = 0;    // Progress
  intptr_t lParam = 0;     // Progress
};

struct FakeHost {
  std::vector<HostEvent> events;
  std::deque<int> boxAnswers;                       // answers of Yes/No/Cancel boxes
  std::deque<std::optional<std::string>> passwords; // nullopt: the dialog is cancelled
  bool echoToStderr = false;                        // also print boxes, for debugging
  std::vector<size_t> repaintsAt;                   // events.size() at each repaint
  uint32_t clock = 1000;                            // what hostMilliseconds answers next
  uint32_t clockStep = 1000;                        // its advance per call
  void (*onItemText)(int item, const char* text) = nullptr;  // called after recording it

  void reset();
  std::vector<std::string> itemTexts(int item) const;
  std::vector<std::string> boxTexts() const;
  int passwordRequests() const;
  std::vector<HostEvent> progress() const;
  int repaints() const;
  // Whether every box and password request, and the end of the run, found the dialog
  // repainted since its last text change (the user saw the latest texts).
  bool latestTextsShown() const;
};

extern FakeHost fakeHost;

// Puts the engine and the fake host back to their start state, with the English
// status texts loaded and appTitle set; for the start of every in-process test.
void resetEngineAndHost();
