// The English string table, for builds without Windows resources (the console host
// and the tests).
#pragma once

// The English text of string `id`, or null when the catalogue has no such string.
const char* englishString(unsigned id);

// Loads string `id` as the platform's LoadStringA does: at most capacity - 1 bytes and
// a zero (an unknown id gives the empty text); returns the length copied.
int loadEnglishString(unsigned id, char* buffer, int capacity);
