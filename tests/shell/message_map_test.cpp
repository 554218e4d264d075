// Dispatch through the message and command tables, with every platform call and
// handler replaced by a recording fake.
#include <gtest/gtest.h>

#include "shell/message_map.h"
#include "extract/host.h"
#include "shell/resources/resource_ids.h"
#include "shell/window_tables.h"
#include "tests/shell/shell_fakes.h"

namespace {
WindowHandle const window = (WindowHandle)0x1234;
const uint32_t Paint = 0xF;  // WM_PAINT
const uintptr_t Ok = 1, Cancel = 2;

uintptr_t command(uint32_t id, uint32_t code = 0) { return (uintptr_t)id | (uintptr_t)code << 16; }

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { shellFakes.reset(); }
  std::string only() {
    EXPECT_EQ(shellFakes.calls.size(), 1u);
    return shellFakes.calls.empty() ? "" : shellFakes.calls[0].name;
  }
};

int32_t firstRow(WindowHandle, uint32_t, uintptr_t, intptr_t) { return 11; }
int32_t secondRow(WindowHandle, uint32_t, uintptr_t, intptr_t) { return 22; }
int32_t firstCommand(WindowHandle, uint32_t, uint32_t, intptr_t) { return 0; }
int32_t secondCommand(WindowHandle, uint32_t, uint32_t, intptr_t) { return 22; }

TEST_F(Dispatch, FirstMatchingRowWinsWhateverItReturns) {
  const MessageEntry rows[] = {{7, firstRow}, {7, secondRow}};
  const MessageMap map = {2, rows, WindowDefault};
  EXPECT_EQ(routeMessage(&map, window, 7, 0, 0), 11);
  const CommandEntry commandRows[] = {{5, firstCommand}, {5, secondCommand}};
  const CommandMap commands = {2, commandRows, WindowDefault};
  // A zero result is still the answer: no later row and no default procedure.
  EXPECT_EQ(routeCommand(&commands, window, command(5), 0), 0);
  EXPECT_TRUE(shellFakes.calls.empty());
}

TEST_F(Dispatch, RowsBeyondTheCountAreNotSearched) {
  const MessageEntry rows[] = {{1, firstRow}, {7, secondRow}};
  const MessageMap map = {1, rows, NoDefault};
  EXPECT_EQ(routeMessage(&map, window, 7, 0, 0), 0);
}

TEST_F(Dispatch, CommandIdsCompareOnlyTheirLowWord) {
  const CommandEntry rows[] = {{0x10000 | 5, secondCommand}};
  const CommandMap map = {1, rows, NoDefault};
  EXPECT_EQ(routeCommand(&map, window, command(5), 0), 22);
}

TEST_F(Dispatch, DefaultKindsCallTheirProcedureWithTheMessageUnchanged) {
  const char* expected[] = {nullptr, "platformWindowDefault", "platformDialogDefault",
                            "platformMdiChildDefault", "platformFrameDefault"};
  for (int32_t kind = 1; kind <= 4; ++kind) {
    shellFakes.reset();
    shellFakes.results[expected[kind]] = 40 + kind;
    const MessageMap map = {0, nullptr, kind};
    EXPECT_EQ(routeMessage(&map, window, Paint, 0xAB, -5), 40 + kind);
    ASSERT_EQ(only(), expected[kind]);
    EXPECT_EQ(shellFakes.calls[0].window, window);
    EXPECT_EQ(shellFakes.calls[0].first, Paint);
    EXPECT_EQ(shellFakes.calls[0].second, 0xABu);
    EXPECT_EQ(shellFakes.calls[0].lParam, -5);
  }
}

TEST_F(Dispatch, KindsZeroAndFiveOrMoreAnswerZeroWithoutACall) {
  for (int32_t kind : {0, 5, 6, 1000, -1}) {
    EXPECT_EQ(callDefaultProc(kind, window, Paint, 1, 2), 0) << kind;
    const CommandMap map = {0, nullptr, kind};
    EXPECT_EQ(routeCommand(&map, window, command(99), 0), 0) << kind;
  }
  EXPECT_TRUE(shellFakes.calls.empty());
}

TEST_F(Dispatch, MainWindowTableInOrder) {
  shellFakes.results["onEraseBackground"] = 1;
  EXPECT_EQ(routeMessage(&mainWindowMessages, window, MessageEraseBackground, 0x99, 0), 1);
  EXPECT_EQ(only(), "onEraseBackground");
  shellFakes.reset();
  routeMessage(&mainWindowMessages, window, MessageDestroy, 0, 0);
  EXPECT_EQ(only(), "onDestroy");

  const std::pair<uint32_t, const char*> commands[] = {
      {IDM_START, "onStart"}, {IDM_EXIT, "onExit"}, {IDM_ABOUT, "onAbout"}};
  for (const auto& [id, name] : commands) {
    shellFakes.reset();
    routeMessage(&mainWindowMessages, window, MessageCommand, command(id), 0);
    EXPECT_EQ(only(), name);
    EXPECT_EQ(shellFakes.calls[0].first, id);
  }
  EXPECT_EQ(mainWindowMessages.count, 3);
  EXPECT_EQ(mainWindowMessages.entries[0].message, MessageEraseBackground);
  EXPECT_EQ(mainWindowMessages.entries[1].message, MessageCommand);
  EXPECT_EQ(mainWindowMessages.entries[2].message, MessageDestroy);
  EXPECT_EQ(mainWindowCommands.count, 3);
}

TEST_F(Dispatch, UnknownOnTheMainWindowGoesToDefWindowProc) {
  shellFakes.results["platformWindowDefault"] = 5;
  EXPECT_EQ(routeMessage(&mainWindowMessages, window, Paint, 3, 4), 5);
  EXPECT_EQ(only(), "platformWindowDefault");

  // An unknown command reaches DefWindowProcA as WM_COMMAND with wParam as received.
  shellFakes.reset();
  routeMessage(&mainWindowMessages, window, MessageCommand, command(4321, 7), 99);
  ASSERT_EQ(only(), "platformWindowDefault");
  EXPECT_EQ(shellFakes.calls[0].first, MessageCommand);
  EXPECT_EQ(shellFakes.calls[0].second, command(4321, 7));
  EXPECT_EQ(shellFakes.calls[0].lParam, 99);
}

struct CommandRow {
  uint32_t id;
  const char* handler;
};

void expectCommands(const MessageMap& messages, const CommandMap& commands,
                    std::initializer_list<CommandRow> rows) {
  ASSERT_EQ(commands.count, (int32_t)rows.size());
  int row = 0;
  for (const CommandRow& expected : rows) {
    EXPECT_EQ(commands.entries[row++].id, expected.id);
    // Every notification code reaches the same handler, with id and code split.
    for (uint32_t code : {0u, 1u, 0x300u, 0xFFFFu}) {
      shellFakes.reset();
      routeMessage(&messages, window, MessageCommand, command(expected.id, code), 0x55);
      ASSERT_EQ(shellFakes.calls.size(), 1u);
      EXPECT_EQ(shellFakes.calls[0].name, expected.handler);
      EXPECT_EQ(shellFakes.calls[0].first, expected.id);
      EXPECT_EQ(shellFakes.calls[0].second, code);
      EXPECT_EQ(shellFakes.calls[0].lParam, 0x55);
    }
  }
}

void expectDialogMessages(const MessageMap& messages, const char* initHandler) {
  ASSERT_EQ(messages.count, 2);
  EXPECT_EQ(messages.entries[0].message, MessageCommand);
  EXPECT_EQ(messages.entries[1].message, MessageInitDialog);
  EXPECT_EQ(messages.defaultKind, NoDefault);
  shellFakes.reset();
  shellFakes.results[initHandler] = 1;
  EXPECT_EQ(routeMessage(&messages, window, MessageInitDialog, 0, 0), 1);
  ASSERT_EQ(shellFakes.calls.size(), 1u);
  EXPECT_EQ(shellFakes.calls[0].name, initHandler);
  // Anything else is left to the dialog manager: 0 and no call.
  shellFakes.reset();
  EXPECT_EQ(routeMessage(&messages, window, Paint, 0, 0), 0);
  EXPECT_EQ(routeMessage(&messages, window, MessageCommand, command(IDM_START), 0), 0);
  EXPECT_TRUE(shellFakes.calls.empty());
}

TEST_F(Dispatch, DestinationDialogTables) {
  expectDialogMessages(destinationMessages, "onDestinationInit");
  EXPECT_EQ(destinationCommands.defaultKind, NoDefault);
  expectCommands(destinationMessages, destinationCommands,
                 {{IDM_ABOUT, "onAbout"},
                  {Ok, "onDestinationOkCancel"},
                  {Cancel, "onDestinationOkCancel"},
                  {IDM_EXTRACT, "onOpenProgress"},
                  {IDC_BROWSE, "onBrowse"}});
}

TEST_F(Dispatch, ProgressDialogTables) {
  expectDialogMessages(progressMessages, "onProgressInit");
  EXPECT_EQ(progressCommands.defaultKind, NoDefault);
  // The same id 113 opens the progress dialog above and starts the run here.
  expectCommands(progressMessages, progressCommands,
                 {{IDM_ABOUT, "onAbout"},
                  {Ok, "onProgressClose"},
                  {Cancel, "onProgressClose"},
                  {IDM_PASSWORD, "onPasswordRequest"},
                  {IDM_EXTRACT, "runInstall"}});
}

TEST_F(Dispatch, PasswordDialogTablesIgnoreTheAboutCommand) {
  expectDialogMessages(passwordMessages, "onPasswordInit");
  expectCommands(passwordMessages, passwordCommands,
                 {{Ok, "onPasswordOkCancel"}, {Cancel, "onPasswordOkCancel"}});
  shellFakes.reset();
  EXPECT_EQ(routeMessage(&passwordMessages, window, MessageCommand, command(IDM_ABOUT), 0), 0);
  EXPECT_TRUE(shellFakes.calls.empty());
}

TEST_F(Dispatch, AboutBoxTables) {
  expectDialogMessages(aboutMessages, "onAboutInit");
  expectCommands(aboutMessages, aboutCommands,
                 {{Ok, "onAboutClose"}, {Cancel, "onAboutClose"}});
}
}  // namespace
