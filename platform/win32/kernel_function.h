// Functions of kernel32 that not every supported system has, looked up when needed.
#pragma once

#include <windows.h>

// The function of kernel32 named `function` as type Function, or null where the system
// lacks it. The detour through the generic function pointer type tells the compiler
// that the cast is meant.
template <typename Function>
Function kernelFunction(const char* function) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? (Function)(void (*)())GetProcAddress(kernel, function) : nullptr;
}
