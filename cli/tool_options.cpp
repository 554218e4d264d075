#include "cli/tool_options.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef LUMVARD_VERSION
#error "LUMVARD_VERSION comes from the top CMake project"
#endif

void startArguments(ArgumentCursor* cursor, int count, char** arguments) {
  cursor->count = count;
  cursor->arguments = arguments;
  cursor->index = 1;
  cursor->shortOffset = 0;
  cursor->operandsOnly = false;
}

int usageError(const ToolDescription& tool, const char* format, ...) {
  fprintf(stderr, "%s: ", tool.name);
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stderr, format, arguments);
  va_end(arguments);
  fprintf(stderr, "\nTry '%s --help' for more information.\n", tool.name);
  return ExitUsage;
}

static const ToolOption* findLong(const ToolDescription& tool, const char* name, size_t length) {
  for (size_t i = 0; i < tool.optionCount; i++) {
    const char* candidate = tool.options[i].longName;
    if (candidate != nullptr && strlen(candidate) == length && strncmp(candidate, name, length) == 0)
      return &tool.options[i];
  }
  return nullptr;
}

static const ToolOption* findShort(const ToolDescription& tool, char letter) {
  for (size_t i = 0; i < tool.optionCount; i++)
    if (tool.options[i].shortName == letter) return &tool.options[i];
  return nullptr;
}

static int takeLong(const ToolDescription& tool, ArgumentCursor* cursor, const char* argument,
                    const ToolOption** option, const char** value) {
  const char* equals = strchr(argument, '=');
  size_t length = equals != nullptr ? (size_t)(equals - argument) : strlen(argument);
  if (strncmp(argument, "--help", length) == 0 && length == 6) return ArgumentHelp;
  if (strncmp(argument, "--version", length) == 0 && length == 9) return ArgumentVersion;
  *option = findLong(tool, argument, length);
  if (*option == nullptr) return usageError(tool, "unknown option '%.*s'", (int)length, argument), ArgumentError;
  if ((*option)->valueName == nullptr) {
    if (equals != nullptr) return usageError(tool, "option '%s' takes no value", (*option)->longName), ArgumentError;
    return ArgumentOption;
  }
  if (equals != nullptr) {
    *value = equals + 1;
  } else if (cursor->index < cursor->count) {
    *value = cursor->arguments[cursor->index++];
  } else {
    return usageError(tool, "option '%s' needs a value (%s)", (*option)->longName, (*option)->valueName),
           ArgumentError;
  }
  return ArgumentOption;
}

static int takeShort(const ToolDescription& tool, ArgumentCursor* cursor, const ToolOption** option,
                     const char** value) {
  const char* argument = cursor->arguments[cursor->index];
  char letter = argument[cursor->shortOffset++];
  bool clusterEnds = argument[cursor->shortOffset] == 0;
  if (clusterEnds) {
    cursor->index++;
    cursor->shortOffset = 0;
  }
  if (letter == 'h') return ArgumentHelp;
  if (letter == 'V') return ArgumentVersion;
  *option = findShort(tool, letter);
  if (*option == nullptr) return usageError(tool, "unknown option '-%c'", letter), ArgumentError;
  if ((*option)->valueName == nullptr) return ArgumentOption;
  if (!clusterEnds) {  // "-CDIR": the rest of the cluster is the value
    *value = argument + cursor->shortOffset;
    cursor->index++;
    cursor->shortOffset = 0;
  } else if (cursor->index < cursor->count) {
    *value = cursor->arguments[cursor->index++];
  } else {
    return usageError(tool, "option '-%c' needs a value (%s)", letter, (*option)->valueName), ArgumentError;
  }
  return ArgumentOption;
}

int nextArgument(const ToolDescription& tool, ArgumentCursor* cursor, const ToolOption** option,
                 const char** value) {
  *option = nullptr;
  *value = nullptr;
  if (cursor->shortOffset > 0) return takeShort(tool, cursor, option, value);
  if (cursor->index >= cursor->count) return ArgumentsEnd;
  const char* argument = cursor->arguments[cursor->index];
  if (!cursor->operandsOnly && strcmp(argument, "--") == 0) {
    cursor->operandsOnly = true;
    cursor->index++;
    return nextArgument(tool, cursor, option, value);
  }
  if (strcmp(argument, "-") == 0)
    return usageError(tool, "'-' is not read as standard input or output; name a file such as ./-"),
           ArgumentError;
  if (cursor->operandsOnly || argument[0] != '-') {
    cursor->index++;
    *value = argument;
    return ArgumentOperand;
  }
  if (argument[1] == '-') {
    cursor->index++;
    return takeLong(tool, cursor, argument, option, value);
  }
  cursor->shortOffset = 1;
  return takeShort(tool, cursor, option, value);
}

int readArguments(const ToolDescription& tool, int count, char** arguments, ArgumentHandler handler,
                  void* context) {
  ArgumentCursor cursor;
  startArguments(&cursor, count, arguments);
  for (;;) {
    const ToolOption* option;
    const char* value;
    int kind = nextArgument(tool, &cursor, &option, &value);
    if (kind == ArgumentsEnd) return -1;
    if (kind == ArgumentError) return ExitUsage;
    if (kind == ArgumentHelp) return printToolHelp(tool), 0;
    if (kind == ArgumentVersion) return printToolVersion(tool), 0;
    int ended = handler(context, option, value);
    if (ended != 0) return ended;
  }
}

int keepOperand(const ToolDescription& tool, const char* value, const char** operands, int* count, int capacity) {
  if (*count == capacity) return usageError(tool, "unexpected operand '%s'", value);
  operands[(*count)++] = value;
  return 0;
}

bool readCodePageNumber(const char* value, int* codePage) {
  char* end;
  long number = strtol(value, &end, 10);
  if (*value == 0 || *end != 0 || number <= 0 || number > 65535) return false;
  *codePage = (int)number;
  return true;
}

// "  -C, --directory DIR     text", the text from column 26, words wrapped before
// column 80 (the line breaks in the table's texts are only where a phrase may break).
static void printOption(const ToolOption& option) {
  enum { TextColumn = 26, LineWidth = 79 };
  char head[64];
  int used = 0;
  if (option.shortName != 0 && option.longName != nullptr)
    used = snprintf(head, sizeof head, "  -%c, %s", option.shortName, option.longName);
  else if (option.shortName != 0)
    used = snprintf(head, sizeof head, "  -%c", option.shortName);
  else
    used = snprintf(head, sizeof head, "      %s", option.longName);
  if (option.valueName != nullptr && used > 0 && (size_t)used < sizeof head)
    snprintf(head + used, sizeof head - (size_t)used, " %s", option.valueName);
  printf("%-*s", TextColumn, head);
  int column = TextColumn;
  if (strlen(head) >= TextColumn) {
    printf("\n%*s", TextColumn, "");
  }
  bool lineStart = true;
  for (const char* word = option.help; *word != 0;) {
    size_t length = strcspn(word, " \n");
    if (!lineStart && column + 1 + (int)length > LineWidth) {
      printf("\n%*s", TextColumn, "");
      column = TextColumn;
      lineStart = true;
    }
    if (!lineStart) {
      putchar(' ');
      column++;
    }
    printf("%.*s", (int)length, word);
    column += (int)length;
    lineStart = false;
    word += length;
    while (*word == ' ' || *word == '\n') word++;
  }
  putchar('\n');
}

void printToolHelp(const ToolDescription& tool) {
  printf("Usage: %s %s\n%s\n\nOptions:\n", tool.name, tool.synopsis, tool.summary);
  for (size_t i = 0; i < tool.optionCount; i++) printOption(tool.options[i]);
  static const ToolOption common[] = {{"--help", 'h', nullptr, 0, "print this help and exit"},
                                      {"--version", 'V', nullptr, 0, "print the version and exit"}};
  for (const ToolOption& option : common) printOption(option);
  if (tool.epilogue != nullptr) printf("\n%s", tool.epilogue);
  if (tool.helpFooter != nullptr) tool.helpFooter(stdout);
}

void printToolVersion(const ToolDescription& tool) { printf("%s %s\n", tool.name, LUMVARD_VERSION); }
