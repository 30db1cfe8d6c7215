// Comparisons that ignore the case of the ASCII letters only.
#include "util/ascii_case.h"

#include <cstdint>
#include <cstring>

namespace {

unsigned char Fold(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

}  // namespace

int CompareIgnoringCaseN(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = Fold(a[i]);
    unsigned char y = Fold(b[i]);
    if (x != y || x == '\0') {
      return x - y;
    }
  }
  return 0;
}

int CompareIgnoringCase(const char* a, const char* b) {
  return CompareIgnoringCaseN(a, b, SIZE_MAX);
}

bool EndsWithIgnoringCase(const char* text, const char* suffix) {
  size_t n = std::strlen(text);
  size_t m = std::strlen(suffix);
  return n >= m && CompareIgnoringCaseN(text + (n - m), suffix, m) == 0;
}
