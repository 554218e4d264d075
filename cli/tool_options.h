// The command line of the console tools, read the way Linux tools read theirs: long
// options with a separate or "=" value, short options (clustered flags, "-CDIR"),
// "--" before operands that start with a dash, --help and --version in every tool.
// Each tool describes its options in a table; the help text is printed from it.
#pragma once

#include <stddef.h>
#include <stdio.h>

struct ToolOption {
  const char* longName;   // "--list", or null when there is only a short form
  char shortName;         // 'l', or 0 when there is only a long form
  const char* valueName;  // "DIR" when the option takes a value; null for a flag
  int id;                 // what the tool's own code switches on
  const char* help;       // words, wrapped to the terminal's 80 columns when printed
};

struct ToolDescription {
  const char* name;       // "lumvard-extract"
  const char* synopsis;   // "[OPTION]... ARCHIVE [DESTINATION]"
  const char* summary;    // one paragraph printed below the usage line
  const ToolOption* options;
  size_t optionCount;
  const char* epilogue;   // printed after the options (exit status, examples)
  void (*helpFooter)(FILE* to);  // prints what the help says of this machine (may be null)
};

// What nextArgument found.
enum ArgumentKind : int {
  ArgumentsEnd = 0,
  ArgumentOption,    // *option and, for options with a value, *value are set
  ArgumentOperand,   // *value is the operand
  ArgumentHelp,      // --help or -h: the help is printed on stdout, exit 0
  ArgumentVersion,   // --version or -V: the version is printed on stdout, exit 0
  ArgumentError      // a reason and "try --help" are printed on stderr, exit 64
};

struct ArgumentCursor {
  int count;
  char** arguments;
  int index;           // the next argument to look at (starts at 1)
  int shortOffset;     // inside a cluster of short options: the next letter; 0 otherwise
  bool operandsOnly;   // after "--"
};

enum { ExitUsage = 64 };

void startArguments(ArgumentCursor* cursor, int count, char** arguments);
// Reads the next option or operand. A lone "-" is refused: these tools never read
// standard input or write standard output in place of a file.
int nextArgument(const ToolDescription& tool, ArgumentCursor* cursor, const ToolOption** option,
                 const char** value);

// Called with each option and its value (null for a flag), or with option null and an
// operand. Returns 0 to go on, else the exit code that ends the command line.
typedef int (*ArgumentHandler)(void* context, const ToolOption* option, const char* value);

// Reads the whole command line through handler. Returns -1 when the run goes on; else
// the exit code: 0 after --help or --version, ExitUsage, or the handler's code.
int readArguments(const ToolDescription& tool, int count, char** arguments, ArgumentHandler handler,
                  void* context);

// Keeps an operand in operands, which has room for capacity; one more is a usage error.
// Returns 0 or ExitUsage, as an ArgumentHandler does.
int keepOperand(const ToolDescription& tool, const char* value, const char** operands, int* count, int capacity);

// A --codepage value: a number from 1 to 65535 (whether iconv knows it is seen later).
bool readCodePageNumber(const char* value, int* codePage);

void printToolHelp(const ToolDescription& tool);
void printToolVersion(const ToolDescription& tool);
// Prints "NAME: REASON" and the hint to --help on stderr; returns ExitUsage.
int usageError(const ToolDescription& tool, const char* format, ...) __attribute__((format(printf, 2, 3)));
