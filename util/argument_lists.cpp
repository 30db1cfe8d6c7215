// Routines on lists of arguments: options out of a counted list, fields out of a line.
#include "util/argument_lists.h"

#include <cstring>

#include "util/ascii_case.h"

namespace {

// Drops entry `index` of the counted list; its text stays where it was, the caller's.
void RemoveAt(int* count, char** list, int index) {
  for (int i = index; i + 1 < *count; ++i) {
    list[i] = list[i + 1];
  }
  list[*count - 1] = nullptr;
  --*count;
}

// The next double quote at or after `text`, or its terminator.
char* QuoteOrEnd(char* text) {
  while (*text != '\0' && *text != '"') {
    ++text;
  }
  return text;
}

// Ends the field at `end` when a separator or quote stands there and gives the position the
// next field starts from; the terminator is never stepped past.
char* CloseField(char* end) {
  if (*end == '\0') {
    return end;
  }
  *end = '\0';
  return end + 1;
}

char* SkipSpaces(char* text) {
  while (*text == ' ') {
    ++text;
  }
  return text;
}

// The frame all splitters share: blanks before a field are passed over, `scanField` finds where
// the field begins and moves the scan to the byte that ends it, and that byte is closed.
template <typename ScanField>
int SplitInto(char* text, int max, char** fields, ScanField scanField) {
  int found = 0;
  char* scan = text;
  while (found < max) {
    scan = SkipSpaces(scan);
    if (*scan == '\0') {
      break;
    }
    fields[found++] = scanField(scan);
    scan = CloseField(scan);
  }
  fields[found] = nullptr;
  return found;
}

}  // namespace

int ArgRemove(int* count, char** list, const char* text) {
  for (int i = 0; i < *count; ++i) {
    if (list[i] != nullptr && CompareIgnoringCase(list[i], text) == 0) {
      RemoveAt(count, list, i);
      return 1;
    }
  }
  return 0;
}

const char* ArgTakePrefix(int* count, char** list, const char* prefix, const char* fallback) {
  size_t length = std::strlen(prefix);
  for (int i = 0; i < *count; ++i) {
    char* entry = list[i];
    if (entry != nullptr && CompareIgnoringCaseN(entry, prefix, length) == 0) {
      RemoveAt(count, list, i);
      return entry + length;
    }
  }
  return fallback;
}

char* SplitQuoted(char* text, int count, char** slots) {
  char* scan = text;
  for (int i = 0; i < count; ++i) {
    scan = QuoteOrEnd(scan);
    if (*scan == '"') {
      ++scan;
    }
    slots[i] = scan;
    scan = CloseField(QuoteOrEnd(scan));
  }
  return scan;
}

int SplitFields(char separator, char* text, int max, char** fields) {
  return SplitInto(text, max, fields, [separator](char*& scan) {
    char endMark = separator;
    if (*scan == '"') {
      endMark = '"';
      ++scan;
    }
    char* field = scan;
    while (*scan != '\0' && *scan != endMark) {
      ++scan;
    }
    return field;
  });
}

int SplitFieldsKeepQuotes(char separator, char* text, int max, char** fields) {
  return SplitInto(text, max, fields, [separator](char*& scan) {
    char* field = scan;
    bool quoted = false;
    // The separator is tested before the quote, so a double quote used as separator splits
    // rather than groups.
    while (*scan != '\0' && (quoted || *scan != separator)) {
      if (*scan == '"') {
        quoted = !quoted;
      }
      ++scan;
    }
    return field;
  });
}

int SplitWords(char* text, int max, char** fields) {
  return SplitFields(' ', text, max, fields);
}
