// Text handling of the destination dialog, kept apart from the window calls.
#pragma once

#include <stddef.h>

// Copies path cut right after its first backslash (the drive check judges only that
// root: "D:\Some\Folder" gives "D:\", "\Folder" gives "\"); without a backslash the
// whole path. root holds capacity bytes; a longer path is cut to fit.
void destinationRoot(const char* path, char* root, size_t capacity);

// Turns a filter source like "All Files(*.*)|*.*|" into the file dialog's list of
// zero-separated parts ended by two zeros: its last character is the separator.
void buildFileFilter(const char* source, char* filter, size_t capacity);
