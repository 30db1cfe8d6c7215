// Comparisons that ignore the case of the ASCII letters only, whatever the locale: bytes of 128
// and above, and every other byte, must match exactly.
#pragma once

#include <cstddef>

// Like strcmp, after folding 'A'..'Z' to 'a'..'z'.
int CompareIgnoringCase(const char* a, const char* b);

// The same over at most n bytes; a text shorter than n compares by its terminator.
int CompareIgnoringCaseN(const char* a, const char* b, size_t n);

// True when `text` ends with `suffix`, ignoring case. A text shorter than the suffix never does.
bool EndsWithIgnoringCase(const char* text, const char* suffix);
