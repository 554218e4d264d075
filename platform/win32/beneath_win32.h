// Folders below the destination must not be reparse points (junctions, symbolic
// links, mount points), so that a link planted in a prepared destination cannot send
// output elsewhere.
#pragma once

// Checks every folder on the way from root to the last component of path through a
// handle of its own, and holds it open until platformReleaseFolders or a path through
// other folders: 0 when all are plain folders, or when path does not lie below root;
// PlatformPathNotFound when one is missing; PlatformOtherFailure when one is a reparse
// point or no folder.
int checkFoldersBeneath(const char* root, const char* path);
