// Routines on single texts and on the parts of a file path.
#include "util/strings_and_paths.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "util/messages.h"

namespace {

// Given out when there is no extension or no directory; never written, never released.
const char kEmptyText[] = "";

// Up to `limit` bytes of `text` are looked at, so a long source is never scanned whole.
size_t LengthUpTo(const char* text, size_t limit) {
  const void* end = std::memchr(text, '\0', limit);
  return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : limit;
}

// The last slash, or the last backslash when the path holds no slash; null when neither.
const char* Separator(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash : std::strrchr(path, '\\');
}

}  // namespace

std::unique_ptr<char[]> StrDupOrNull(const char* text) {
  const size_t size = std::strlen(text) + 1;
  std::unique_ptr<char[]> copy(new (std::nothrow) char[size]);
  if (copy) {
    std::memcpy(copy.get(), text, size);
  }
  return copy;
}

char* StrDup(const char* text) {
  std::unique_ptr<char[]> copy = StrDupOrNull(text);
  if (!copy) {
    FatalMessageF("out of memory");
  }
  return copy.release();
}

char* StrCpyN(char* destination, const char* source, int limit) {
  if (limit < 0) {
    FatalMessageF("StrCpyN - string too long");
  }
  auto room = static_cast<size_t>(limit);
  size_t length = LengthUpTo(source, room + 1);
  if (length > room) {
    FatalMessageF("StrCpyN - string too long");
  }
  std::memcpy(destination, source, length + 1);
  return destination;
}

char* StrAssign(char** slot, const char* source) {
  // Copy first: the source may be the very text the slot is about to give back.
  char* copy = StrDup(source);
  delete[] * slot;
  *slot = copy;
  return copy;
}

char* StrTrimNewline(char* text) {
  size_t length = std::strlen(text);
  if (length > 0 && text[length - 1] == '\n') {
    text[length - 1] = '\0';
  }
  return text;
}

int StrIsBlank(const char* text) {
  return *StrSkipBlanks(text) == '\0' ? 1 : 0;
}

char* StrTrimRight(char* text) {
  size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == ' ') {
    --length;
  }
  text[length] = '\0';
  return text;
}

const char* StrSkipBlanks(const char* text) {
  while (*text == ' ' || *text == '\t') {
    ++text;
  }
  return text;
}

char* StrMid(char* destination, const char* source, int start, int count) {
  destination[0] = '\0';
  size_t from = start > 0 ? static_cast<size_t>(start) : 0;
  if (count <= 0 || LengthUpTo(source, from) < from) {
    return destination;
  }
  size_t length = LengthUpTo(source + from, static_cast<size_t>(count));
  std::memcpy(destination, source + from, length);
  destination[length] = '\0';
  return StrTrimRight(destination);
}

char* StrPad(char* destination, const char* source, int width) {
  if (width < 0) {
    destination[0] = '\0';
    return destination;
  }
  auto room = static_cast<size_t>(width);
  size_t length = LengthUpTo(source, room);
  std::memcpy(destination, source, length);
  std::memset(destination + length, ' ', room - length);
  destination[room] = '\0';
  return destination;
}

int StrIsQuoted(const char* text) {
  size_t length = std::strlen(text);
  return (length > 0 && text[0] == '"' && text[length - 1] == '"') ? 1 : 0;
}

const char* PathFileName(const char* path) {
  const char* separator = Separator(path);
  return separator ? separator + 1 : path;
}

const char* PathExtension(const char* path) {
  const char* dot = std::strrchr(PathFileName(path), '.');
  return dot ? dot : kEmptyText;
}

const char* PathStripName(char* path) {
  const char* separator = Separator(path);
  if (separator == nullptr) {
    return kEmptyText;
  }
  path[separator - path] = '\0';
  return path;
}

char* PathDupDir(const char* path) {
  char* copy = StrDup(path);
  char* end = std::strrchr(copy, '\\');
  if (end == nullptr) {
    end = std::strrchr(copy, ':');
  }
  if (end == nullptr) {
    copy[0] = '\0';
  } else {
    end[1] = '\0';
  }
  return copy;
}
