// Reading numbers out of command-line texts.
#include "cutter/numbers.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

namespace {

// The C locale's white space, spelled out so that no locale can widen it.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

const char* SkipSpace(const char* p) {
  while (IsSpace(*p)) {
    ++p;
  }
  return p;
}

// Reads an optional sign; returns true for a minus.
bool ReadSign(const char*& p) {
  if (*p != '+' && *p != '-') {
    return false;
  }
  return *p++ == '-';
}

}  // namespace

int32_t ReadInteger(const char* text) {
  const char* p = SkipSpace(text);
  const bool negative = ReadSign(p);
  // Once the magnitude passes 2^31 the result is an end of the range whatever digits follow,
  // so it stops growing there and never overflows.
  constexpr int64_t kCap = int64_t{1} << 31;
  int64_t magnitude = 0;
  for (; IsDigit(*p); ++p) {
    magnitude = std::min(magnitude * 10 + (*p - '0'), kCap);
  }
  if (negative) {
    return static_cast<int32_t>(-magnitude);
  }
  return static_cast<int32_t>(std::min(magnitude, kCap - 1));
}

double ReadReal(const char* text) {
  const char* p = SkipSpace(text);
  const bool negative = ReadSign(p);
  const char* const number = p;

  // The value is 0.d1d2... x 10^(scale + exponent), d1 the first nonzero digit. Only its sign
  // is needed, to tell overflow from underflow when the conversion reports a range error.
  int64_t scale = 0;
  bool nonzero = false;
  bool anyDigit = false;
  for (; IsDigit(*p); ++p) {
    anyDigit = true;
    if (nonzero || *p != '0') {
      nonzero = true;
      ++scale;
    }
  }
  if (*p == '.') {
    for (++p; IsDigit(*p); ++p) {
      anyDigit = true;
      if (!nonzero) {
        if (*p == '0') {
          --scale;
        } else {
          nonzero = true;
        }
      }
    }
  }
  if (!anyDigit) {
    return 0.0;
  }

  // An "e" belongs to the number only when digits follow it: "1e" and "1e+" read as 1.
  int64_t exponent = 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    const bool negativeExponent = ReadSign(q);
    if (IsDigit(*q)) {
      // Far beyond any double's range, and small enough that scale + exponent cannot overflow.
      constexpr int64_t kExponentCap = int64_t{1} << 40;
      for (; IsDigit(*q); ++q) {
        exponent = std::min(exponent * 10 + (*q - '0'), kExponentCap);
      }
      if (negativeExponent) {
        exponent = -exponent;
      }
      p = q;
    }
  }

  // The text between `number` and `p` is now plain decimal, which from_chars rounds correctly
  // and reads the same in every locale.
  double value = 0.0;
  const std::from_chars_result result = std::from_chars(number, p, value);
  if (result.ec == std::errc::result_out_of_range) {
    const bool overflow = nonzero && scale + exponent > 0;
    value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}
