// The number readers and the size conversion on arbitrary texts, dimensions and resolutions,
// each checked against an independent reckoning: the C library's readers for the numbers, and
// the x87 extended type (the same 64-bit significand and rounding) for the sizes where the
// compiler's long double is that type.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "cutter/numbers.h"
#include "cutter/size_measures.h"
#include "fuzz/fuzz_check.h"
#include "util/ascii_case.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether strtod reads the text as the plain decimal number ReadReal reads: it would take
// hexadecimal, infinity and NaN words, which ReadReal does not.
bool PlainDecimal(const char* text) {
  while (IsSpace(*text)) {
    ++text;
  }
  if (*text == '+' || *text == '-') {
    ++text;
  }
  if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return false;
  }
  return *text == '.' || (*text >= '0' && *text <= '9');
}

int32_t ExpectedInteger(const char* text) {
  errno = 0;
  const long long value = std::strtoll(text, nullptr, 10);
  if (value > INT32_MAX) {
    return INT32_MAX;
  }
  if (value < INT32_MIN) {
    return INT32_MIN;
  }
  return static_cast<int32_t>(value);
}

int32_t Truncate(long double value) {
  if (std::isnan(value)) {
    return 0;
  }
  if (value >= 2147483647.0L) {
    return INT32_MAX;
  }
  if (value <= -2147483648.0L) {
    return INT32_MIN;
  }
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Dimension, dots per inch and dots per metre, then the size text.
  if (size < 12) {
    return 0;
  }
  const auto dimension = static_cast<int32_t>(fuzz::Read32(data));
  const auto dotsPerInch = static_cast<int32_t>(fuzz::Read32(data + 4));
  const uint32_t dotsPerMetre = fuzz::Read32(data + 8);
  const fuzz::Text input(data + 12, size - 12);
  const char* text = input.get();

  // The ceiling of dots per metre x 254 / 10000, in whole numbers.
  const uint64_t hundredths = uint64_t{dotsPerMetre} * 254;
  FUZZ_CHECK(DotsPerInch(dotsPerMetre) == static_cast<int32_t>((hundredths + 9999) / 10000));

  const int32_t whole = ReadInteger(text);
  FUZZ_CHECK(whole == ExpectedInteger(text));

  const double real = ReadReal(text);
  FUZZ_CHECK(!std::isnan(real));
  if (PlainDecimal(text)) {
    const double expected = std::strtod(text, nullptr);
    FUZZ_CHECK(std::memcmp(&real, &expected, sizeof real) == 0);
  } else {
    FUZZ_CHECK(real == 0.0);
  }

  const int32_t pixels = SizeToPixels(text, dimension, dotsPerInch);
  if constexpr (std::numeric_limits<long double>::digits == 64) {
    const long double r = real;
    const long double dots = dotsPerInch;
    int32_t expected = whole;
    if (EndsWithIgnoringCase(text, "cm")) {
      expected = Truncate(r / static_cast<long double>(2.54) * dots);
    } else if (EndsWithIgnoringCase(text, "mm")) {
      expected = Truncate(r / static_cast<long double>(25.4) * dots);
    } else if (EndsWithIgnoringCase(text, "in")) {
      expected = Truncate(r * dots);
    } else if (EndsWithIgnoringCase(text, "%")) {
      expected = Truncate(r / 100.0L * static_cast<long double>(dimension));
    }
    FUZZ_CHECK(pixels == expected);
  }
  return 0;
}
