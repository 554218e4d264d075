// The engine's process-wide records, all in one place.
#include <stdlib.h>
#include <string.h>

#include "archive/cipher.h"
#include "archive/data_stream.h"
#include "archive/reader.h"
#include "extract/session.h"
#include "unpack/unpack_state.h"

ExtractSession session;
ArchiveReader archiveReader;
DataStream dataStream;
CipherState cipherState;
UnpackState unpackState;

char appTitle[200];
char passwordText[128];
HostWindow progressBar;
char statusExtracting[32];
char statusOk[10];
char statusAllOk[10];
char statusCreating[32];

void resetEngineForTests() {
  if (archiveReader.archiveFile != nullptr) fclose(archiveReader.archiveFile);
  if (session.outputFile != nullptr) fclose(session.outputFile);
  free(session.window);
  free(session.masks.storage);
  free(session.archiveList.storage);
  free(archiveReader.searchBuffer);
  memset(&session, 0, sizeof session);
  memset(&archiveReader, 0, sizeof archiveReader);
  memset(&dataStream, 0, sizeof dataStream);
  memset(&cipherState, 0, sizeof cipherState);
  memset(&unpackState, 0, sizeof unpackState);
  memset(passwordText, 0, sizeof passwordText);
}
