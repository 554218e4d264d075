#include "tests/support/fake_host.h"

#include <stdio.h>
#include <string.h>

#include "extract/host.h"
#include "extract/session.h"
#include "shell/resources/english_catalogue.h"

FakeHost fakeHost;

void FakeHost::reset() {
  events.clear();
  boxAnswers.clear();
  passwords.clear();
  echoToStderr = false;
  repaintsAt.clear();
  clock = 1000;
  clockStep = 1000;
  onItemText = nullptr;
}

std::vector<std::string> FakeHost::itemTexts(int item) const {
  std::vector<std::string> texts;
  for (const HostEvent& event : events)
    if (event.kind == HostEvent::ItemText && event.item == item) texts.push_back(event.text);
  return texts;
}

std::vector<std::string> FakeHost::boxTexts() const {
  std::vector<std::string> texts;
  for (const HostEvent& event : events)
    if (event.kind == HostEvent::Box) texts.push_back(event.text);
  return texts;
}

int FakeHost::passwordRequests() const {
  int count = 0;
  for (const HostEvent& event : events) count += event.kind == HostEvent::PasswordRequest;
  return count;
}

std::vector<HostEvent> FakeHost::progress() const {
  std::vector<HostEvent> result;
  for (const HostEvent& event : events)
    if (event.kind == HostEvent::Progress) result.push_back(event);
  return result;
}

int FakeHost::repaints() const { return (int)repaintsAt.size(); }

bool FakeHost::latestTextsShown() const {
  bool unshown = false;
  size_t nextRepaint = 0;
  for (size_t i = 0; i <= events.size(); i++) {
    for (; nextRepaint < repaintsAt.size() && repaintsAt[nextRepaint] == i; nextRepaint++) unshown = false;
    if (i == events.size()) break;
    const HostEvent& event = events[i];
    if (event.kind == HostEvent::ItemText) unshown = true;
    if ((event.kind == HostEvent::Box || event.kind == HostEvent::PasswordRequest) && unshown) return false;
  }
  return !unshown;
}

int hostLoadString(unsigned id, char* buffer, int capacity) { return loadEnglishString(id, buffer, capacity); }

void hostSetItemText(HostWindow, int item, const char* text) {
  HostEvent event;
  event.kind = HostEvent::ItemText;
  event.item = item;
  event.text = text;
  fakeHost.events.push_back(event);
  if (fakeHost.onItemText != nullptr) fakeHost.onItemText(item, text);
}

void hostRepaint(HostWindow) { fakeHost.repaintsAt.push_back(fakeHost.events.size()); }

uint32_t hostMilliseconds() {
  uint32_t now = fakeHost.clock;
  fakeHost.clock += fakeHost.clockStep;
  return now;
}

int hostMessageBox(HostWindow, const char* text, const char* caption, unsigned style) {
  HostEvent event;
  event.kind = HostEvent::Box;
  event.text = text;
  event.caption = caption;
  event.style = style;
  fakeHost.events.push_back(event);
  if (fakeHost.echoToStderr) fprintf(stderr, "[box] %s\n", text);
  if ((style & 0xF) != BoxYesNoCancel) return AnswerOk;
  if (fakeHost.boxAnswers.empty()) return AnswerCancel;
  int answer = fakeHost.boxAnswers.front();
  fakeHost.boxAnswers.pop_front();
  return answer;
}

void hostRequestPassword() {
  HostEvent event;
  event.kind = HostEvent::PasswordRequest;
  fakeHost.events.push_back(event);
  if (fakeHost.passwords.empty()) return;  // as a cancelled dialog
  std::optional<std::string> answer = fakeHost.passwords.front();
  fakeHost.passwords.pop_front();
  if (!answer) return;
  memset(passwordText, 0, sizeof passwordText);
  strncpy(passwordText, answer->c_str(), sizeof passwordText - 1);
}

void hostProgress(HostWindow, unsigned message, uintptr_t wParam, intptr_t lParam) {
  HostEvent event;
  event.kind = HostEvent::Progress;
  event.message = message;
  event.wParam = wParam;
  event.lParam = lParam;
  fakeHost.events.push_back(event);
}

void resetEngineAndHost() {
  resetEngineForTests();
  fakeHost.reset();
  strcpy(appTitle, "Advanced Lumvard");
  loadStatusTexts();
  static char bar;
  progressBar = &bar;
}
