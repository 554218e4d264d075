// The loop over archives and their entries.
#pragma once

void extractArchives();
bool askPassword();
