// Routines on lists of arguments: taking an option out of a counted list such as argc/argv, and
// splitting a line in place into fields, words or double-quoted texts.
//
// A counted list is an array of texts with a separate count; the routines move its entries and
// lower the count but never release or change an entry's text, which stays the caller's.
// A field list is an array of positions into the text a splitter has divided, in text order and
// followed by a null entry, so a list for at most max fields holds max + 1 entries. The fields
// are no copies: the splitter writes terminators into the caller's text, and the fields live as
// long as that text. Only the space counts as blank; every comparison is of single bytes, and
// case is ignored only where a routine says so, for the ASCII letters alone.
#pragma once

// Removes the first of the `*count` entries of `list` equal to `text`, ignoring case: the later
// entries move one place to the front, the former last place becomes null and `*count` goes down
// by one. Returns 1 when an entry was removed; 0 when none matched or `*count` is 0 or less, and
// then nothing changes. Later matching entries stay. A null entry never matches.
int ArgRemove(int* count, char** list, const char* text);

// Removes, as ArgRemove does, the first entry whose first strlen(prefix) bytes equal `prefix`,
// ignoring case (an entry shorter than the prefix does not match), and returns the position just
// after the prefix in that entry's own text: the rest of the argument. An empty prefix takes the
// first entry whole. When nothing matches or `*count` is 0 or less, nothing changes and the
// result is `fallback` itself.
const char* ArgTakePrefix(int* count, char** list, const char* prefix, const char* fallback);

// Fills the `count` positions of `slots` (no null entry follows them) with the texts enclosed in
// double quotes in `text`, in order and without their quotes, writing a terminator over each
// closing quote. What stands between a closing quote and the next opening quote is passed over;
// a quote left open runs to the end of the text; slots for which no quoted text is left receive
// the empty text at the terminator. Returns the scan position after the last slot: just past
// its closing quote, or the terminator. When count is 0 or less no slot is written and the result
// is `text`. 'x="1" y="two words"' gives "1", "two words", then "".
char* SplitQuoted(char* text, int count, char** slots);

// Splits `text` in place into at most `max` fields at the byte `separator` and fills `fields`
// (max + 1 entries, and at least 1) with them and a null entry. Returns the number of fields.
// Spaces before a field are passed over, whatever the separator. A field that starts with a
// double quote runs, without it, to the next double quote instead, which may hide separators;
// the scan goes on just after that closing quote, so a separator that follows it gives an empty
// field. A double quote elsewhere is an ordinary byte. The separator or quote that ends a field
// is overwritten with a terminator; text after the max-th field belongs to no field.
// With ',': "a,,b" gives "a", "", "b"; "a, b" gives "a", "b"; "a," gives only "a".
int SplitFields(char separator, char* text, int max, char** fields);

// As SplitFields, but double quotes stay in the fields and a field may hold several quoted
// parts: a separator between a double quote and the next one belongs to the field. With ',':
// 'a,"b,c"d,e' gives "a", '"b,c"d', "e". A quote left open runs to the end of the text.
int SplitFieldsKeepQuotes(char separator, char* text, int max, char** fields);

// SplitFields with the space as separator: 'a "b c" d' gives "a", "b c", "d".
int SplitWords(char* text, int max, char** fields);
