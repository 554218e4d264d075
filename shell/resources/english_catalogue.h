// The English string table, for builds without Windows resources (the console host
// and the tests).
#pragma once

// The English text of string `id`, or null when the catalogue has no such string.
const char* englishString(unsigned id);
