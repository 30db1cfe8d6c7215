// Splitting the raw command line into tokens.
#pragma once

// Cuts `text` into at most `cap` tokens and stores each as a new owned string (array
// allocation) in `list`, which must have room for cap + 1 entries; the entry after the last
// token is set to null. Returns the number of tokens. `text` is not changed.
//
// Blanks, tabs and line feeds separate tokens; every other byte is ordinary. A token that starts
// with a double quote runs to the next double quote that is not directly followed by another
// one; a pair of double quotes inside it stands for one double quote, and a missing closing
// quote lets it run to the end. The next token may start right after the closing quote:
// "ab"cd gives ab and cd. In an unquoted token a double quote is an ordinary byte.
// Ends the process with "out of memory" when storage runs out.
int SplitCommandLine(const char* text, int cap, char** list);

// Releases every string of `list` up to its first null entry. The entries are left as they are.
void FreeArgList(char** list);
