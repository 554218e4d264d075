// The constant dispatch tables of the shell's five windows. Only the windows'
// procedures (shell/win32/window_procs.cpp) and the WM_COMMAND forwarders name them.
#pragma once

#include "shell/message_map.h"

extern const MessageMap mainWindowMessages;
extern const CommandMap mainWindowCommands;
extern const MessageMap destinationMessages;
extern const CommandMap destinationCommands;
extern const MessageMap progressMessages;
extern const CommandMap progressCommands;
extern const MessageMap passwordMessages;
extern const CommandMap passwordCommands;
extern const MessageMap aboutMessages;
extern const CommandMap aboutCommands;
