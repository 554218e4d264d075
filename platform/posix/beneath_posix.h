// Folders below the destination are opened without following any link, so that a link
// planted in a prepared destination cannot send output elsewhere.
#pragma once

#include <stddef.h>

// Opens (O_PATH) the folder holding the last component of path and copies that
// component to leaf. Below root no component on the way may be a symbolic link; a
// path that does not lie below root is opened as it is. Returns the descriptor, or
// -errno: -ENOENT for a missing folder, -ELOOP for a link or a non-folder on the way.
int openParentBeneath(const char* root, const char* path, char* leaf, size_t leafCapacity);

// Whether openat2 is tried first; the component walk is used where the kernel lacks it
// or a sandbox refuses it. Tests clear it to check the walk.
extern bool beneathUsesOpenat2;
