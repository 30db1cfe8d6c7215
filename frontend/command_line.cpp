// Splitting the raw command line into tokens.
#include "frontend/command_line.h"

#include <cstring>
#include <memory>
#include <new>

#include "util/messages.h"

namespace {

bool IsSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

char* NewTextOrDie(size_t size) {
  char* p = new (std::nothrow) char[size];
  if (p == nullptr) {
    FatalMessageF("out of memory");
  }
  return p;
}

}  // namespace

int SplitCommandLine(const char* text, int cap, char** list) {
  size_t length = std::strlen(text);
  std::unique_ptr<char[]> scan(NewTextOrDie(length + 1));
  std::unique_ptr<char[]> token(NewTextOrDie(length + 1));
  std::memcpy(scan.get(), text, length + 1);

  int count = 0;
  const char* p = scan.get();
  while (count < cap) {
    while (IsSeparator(*p)) {
      ++p;
    }
    if (*p == '\0') {
      break;
    }
    size_t n = 0;
    if (*p == '"') {
      ++p;
      while (*p != '\0') {
        if (*p == '"') {
          if (p[1] != '"') {
            ++p;  // the closing quote
            break;
          }
          ++p;  // a doubled quote stands for one
        }
        token[n++] = *p++;
      }
    } else {
      while (*p != '\0' && !IsSeparator(*p)) {
        token[n++] = *p++;
      }
    }
    char* copy = NewTextOrDie(n + 1);
    std::memcpy(copy, token.get(), n);
    copy[n] = '\0';
    list[count++] = copy;
  }
  list[count] = nullptr;
  return count;
}

void FreeArgList(char** list) {
  for (char** entry = list; *entry != nullptr; ++entry) {
    delete[] * entry;
  }
}
