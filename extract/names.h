// Names, wildcards, name lists and the expansion of the archive name.
#pragma once

// Fills archiveList from archiveName and sets archivesFound.
void expandArchiveName();
