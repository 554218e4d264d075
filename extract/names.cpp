// Placeholder until the name handling lands: the archive name is taken as it is.
#include "extract/names.h"

#include "extract/session.h"
#include "platform/platform.h"

void expandArchiveName() {
  bool isDirectory = false;
  if (platformGetFileInfo(session.archiveName, &isDirectory) && !isDirectory)
    addName(&session.archiveList, session.archiveName);
  session.archivesFound = session.archiveList.count;
  session.archiveList.offset = 0;
}
