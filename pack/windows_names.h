// Names as the installer makes them on Windows: some names that a Linux folder holds
// cannot be made there as they are, and names that differ only in case are one file.
#pragma once

#include <string>

// Why one part of a path (a file or folder name, UTF-8) cannot be made on Windows as
// it is: a control character, one of < > : " | ? * (a colon also reads as a drive), a
// trailing dot or space (Windows drops it), or a device name such as CON or LPT1,
// with or without an extension. Empty when it can be made.
std::string windowsNameProblem(const std::string& part);

// The form in which Windows compares two paths (UTF-8): equal keys name one file.
std::u32string windowsNameKey(const std::string& path);
