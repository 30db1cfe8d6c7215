// Cutting a picture in two at a size: a first piece and the rest.
#pragma once

#include <cstdint>

// What CutWide and CutHigh return for a count of names other than 1, 2 or 3, before anything is
// read or written: a command line that cannot be run, for the caller to answer.
inline constexpr int kWrongNameCount = -1;

// -w: a left piece `sizeText` wide and the rest to its right.
//
// names[0] is the input. With one name the first piece replaces the input; with two it goes to
// names[1]; with three the rest goes to names[2]. An output name of exactly "-" is skipped. Both
// pieces are cut from the picture as loaded, the first written before the rest is made. A piece
// that is not written (empty, or refused by the library or the file system) is reported after
// both were tried, as "Couldn't save file: %s" with the first such name and exit code 1; every
// other failure ends the process at once with its message. Returns 0, or kWrongNameCount.
int CutWide(int nameCount, const char* const* names, const char* sizeText, int32_t saveFlags);

// -h: a top piece `sizeText` high and the rest below; otherwise as CutWide.
int CutHigh(int nameCount, const char* const* names, const char* sizeText, int32_t saveFlags);
