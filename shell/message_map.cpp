#include "shell/message_map.h"

namespace {
// Indexed by DefaultProcKind; slot 0 (NoDefault) calls nothing.
const MessageHandler defaultProcs[] = {nullptr, platformWindowDefault, platformDialogDefault,
                                       platformMdiChildDefault, platformFrameDefault};
const int32_t defaultProcCount = sizeof defaultProcs / sizeof defaultProcs[0];
}  // namespace

int32_t routeMessage(const MessageMap* map, WindowHandle window, uint32_t message,
                     uintptr_t wParam, intptr_t lParam) {
  for (int32_t row = 0; row < map->count; ++row)
    if (map->entries[row].message == message)
      return map->entries[row].handler(window, message, wParam, lParam);
  return callDefaultProc(map->defaultKind, window, message, wParam, lParam);
}

int32_t routeCommand(const CommandMap* map, WindowHandle window, uintptr_t wParam,
                     intptr_t lParam) {
  const uint32_t id = (uint32_t)(wParam & 0xFFFF);
  const uint32_t code = (uint32_t)((wParam >> 16) & 0xFFFF);
  for (int32_t row = 0; row < map->count; ++row)
    if ((map->entries[row].id & 0xFFFF) == id)
      return map->entries[row].handler(window, id, code, lParam);
  return callDefaultProc(map->defaultKind, window, MessageCommand, wParam, lParam);
}

int32_t callDefaultProc(int32_t kind, WindowHandle window, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) {
  if (kind <= NoDefault || kind >= defaultProcCount) return 0;
  return defaultProcs[kind](window, message, wParam, lParam);
}
