// Routines on single texts: owned copies, a bounded copy, trimming, fixed columns and widths,
// and splitting a file path into its directory, file-name and extension parts.
//
// A text is a zero-terminated byte string; lengths, columns and widths count bytes without the
// terminator, and no routine knows a character encoding. An owned text comes from new[] and goes
// back with delete[]; the routines that hand one out say so. Routines that write into a caller's
// buffer never allocate: the caller sizes the buffer as each routine states.
#pragma once

#include <memory>

// A new owned copy of `text`. Ends the process with "out of memory" when no storage is left.
char* StrDup(const char* text);

// The same copy for a routine that reports running out itself: null when no storage is left.
std::unique_ptr<char[]> StrDupOrNull(const char* text);

// Copies `source` with its terminator into `destination`, which holds limit + 1 bytes, and
// returns `destination`. A source longer than `limit` (so any source when limit is negative)
// ends the process with "StrCpyN - string too long" and nothing is written.
char* StrCpyN(char* destination, const char* source, int limit);

// Stores a new owned copy of `source` in `*slot` and returns it; the slot's old text, if any, is
// released. The source may be, or lie inside, the slot's old text: it is copied before the old
// text goes. Ends the process with "out of memory" when no storage is left, the slot untouched.
char* StrAssign(char** slot, const char* source);

// Removes one line feed from the end of `text`, if it ends with one, and returns `text`. A
// carriage return before it stays.
char* StrTrimNewline(char* text);

// 1 when `text` is empty or holds only spaces and tabs, else 0.
int StrIsBlank(const char* text);

// Removes every space from the end of `text` and returns `text`. Only the space counts: a tab
// ends the trimming ("ab \t " becomes "ab \t").
char* StrTrimRight(char* text);

// The first byte of `text` that is neither a space nor a tab; the terminator when there is none.
const char* StrSkipBlanks(const char* text);

// Cuts the column of at most `count` bytes that starts at byte `start` (from 0; a negative start
// counts as 0) out of `source` into `destination`, then removes the spaces at its end, and
// returns `destination`. The column is empty when `count` is 0 or less or `start` lies past the
// source's end; it never reaches past the source's terminator. `destination` holds count + 1
// bytes, and at least 1: "ABCDEFG" from 2 for 3 gives "CDE", "AB   CD" from 0 for 5 gives "AB".
char* StrMid(char* destination, const char* source, int start, int count);

// Writes exactly `width` bytes into `destination`: the start of `source`, cut at `width` or
// filled with spaces up to it, then a terminator. Returns `destination`, which holds width + 1
// bytes, and at least 1; a negative width gives an empty text.
char* StrPad(char* destination, const char* source, int width);

// 1 when the first and the last byte of `text` are both a double quote, else 0. A lone double
// quote counts as quoted; an empty text does not.
int StrIsQuoted(const char* text);

// The path routines below split at a separator: the last slash of the path, or, only when the
// path holds no slash at all, its last backslash. A backslash after the last slash is part of a
// name ("dir/sub\name.txt" has the file name "sub\name.txt").

// The file-name part of `path`: the position just after the separator, or the whole path when
// there is none. "dir/" gives the empty text at the path's end.
const char* PathFileName(const char* path);

// The extension of the file-name part, dot included: the position of the last dot in it.
// When the file-name part holds no dot, a shared, read-only empty text that the caller neither
// writes nor releases. "photo.tar.jpg" gives ".jpg"; "my.dir/file" gives no extension.
const char* PathExtension(const char* path);

// Cuts the file-name part off `path` in place by writing a terminator over the separator, and
// returns `path`, which then holds the directory without a trailing separator ("/a.jpg" leaves
// an empty path). When there is no separator the path stays as it was and the result is the
// shared, read-only empty text.
const char* PathStripName(char* path);

// A new owned copy of the directory or drive part of `path`, its separator kept. This routine
// has a rule of its own in which the slash is no separator: the copy is cut just after the last
// backslash, or when there is none just after the last colon, or else is empty. "D:\dir\a.jpg"
// gives "D:\dir\", "D:a.jpg" gives "D:", "dir/a.jpg" gives "". Ends the process with "out of
// memory" when no storage is left.
char* PathDupDir(const char* path);
