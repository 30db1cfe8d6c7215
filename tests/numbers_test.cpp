#include "cutter/numbers.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "support/run_program.h"

namespace {

TEST(ReadIntegerTest, ReadsLikeAtoiAndSaturates) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const std::string nines(5000, '9');
  // "\240" is a space in some 8-bit locales but not in C; 2^64 + 1 wraps to 1 in 64 bits.
  const struct {
    std::string text;
    int32_t expected;
  } cases[] = {
      {"", 0},
      {"x", 0},
      {"-", 0},
      {"- 5", 0},
      {"+-5", 0},
      {"+3", 3},
      {"-17", -17},
      {"12.7", 12},
      {"1e5", 1},
      {"0x10", 0},
      {" \t\n\v\f\r-5", -5},
      {"\2405", 0},
      {"2147483647", kMax},
      {"2147483648", kMax},
      {"-2147483648", kMin},
      {"-2147483649", kMin},
      {"99999999999", kMax},
      {"18446744073709551617", kMax},
      {nines, kMax},
      {"-" + nines, kMin},
      {std::string(4000, '0') + "123", 123},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadInteger(c.text.c_str()), c.expected) << '"' << c.text.substr(0, 30) << '"';
  }
}

TEST(ReadRealTest, ReadsDecimalTextRoundedCorrectly) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::string zeros(400, '0');
  const struct {
    std::string text;
    double expected;
  } cases[] = {
      // What belongs to the number.
      {"", 0.0},
      {"-", 0.0},
      {".", 0.0},
      {"-.e1", 0.0},
      {"e5", 0.0},
      {".5", 0.5},
      {"5.", 5.0},
      {"+3", 3.0},
      {"-0", -0.0},
      {" \t\n\v\f\r-2.5cm", -2.5},
      {"\2407", 0.0},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"1E-x", 1.0},
      {"25E-2in", 0.25},
      {"1.5.3", 1.5},
      {"1,5", 1.0},
      {"0x10", 0.0},
      {"inf", 0.0},
      {"-infinity", 0.0},
      {"nan", 0.0},
      // Nearest double, ties to even, however far away the deciding digit.
      {"2.54", 2.54},
      {"25.4", 25.4},
      {"0.9999", 0.9999},
      {"33.3", 33.3},
      {"9007199254740993", 9007199254740992.0},
      {"9007199254740995", 9007199254740996.0},
      {"9007199254740993.000000000000000000000000001", 9007199254740994.0},
      {"4.9406564584124654e-324", 5e-324},
      {"2.4703282292062328e-324", 5e-324},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      // Out of range: signed infinity or zero, decided by where the first digit stands.
      {"1.7976931348623159e308", kInf},
      {"-1e400", -kInf},
      {"2.4703282292062327e-324", 0.0},
      {"-1e-400", -0.0},
      {"1e99999999999999999999999999", kInf},
      {"1e-99999999999999999999999999", 0.0},
      {"0e99999999999999999999999999", 0.0},
      {"1" + zeros, kInf},
      {"1" + zeros + "e-1", kInf},
      {"-0." + zeros + "1e1", -0.0},
      {"0." + zeros + "1e400", 0.1},
      {"1" + zeros + "e-400", 1.0},
  };
  for (const auto& c : cases) {
    const double actual = ReadReal(c.text.c_str());
    // Bitwise: the sign of zero counts.
    EXPECT_TRUE(actual == c.expected && std::signbit(actual) == std::signbit(c.expected))
        << '"' << c.text.substr(0, 40) << "\" read as " << actual << ", not " << c.expected;
  }
}

// A locale whose decimal separator is a comma: an installed one, or one compiled for the test.
const char* UseCommaLocale(const std::string& scratch) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (const char* name : names) {
      if (std::setlocale(LC_NUMERIC, name) != nullptr &&
          std::string(std::localeconv()->decimal_point) == ",") {
        return name;
      }
    }
    std::string command = "localedef -i de_DE -f UTF-8 " + scratch + "/de_DE.UTF-8 2>/dev/null";
    if (attempt > 0 || std::system(command.c_str()) != 0) {
      break;
    }
    setenv("LOCPATH", scratch.c_str(), 1);
  }
  return nullptr;
}

TEST(ReadRealTest, IgnoresTheLocaleDecimalSeparator) {
  testing_support::TempDir scratch;
  const char* found = UseCommaLocale(scratch.path());
  if (found == nullptr) {
    std::setlocale(LC_NUMERIC, "C");
    GTEST_SKIP() << "no locale with a decimal comma is installed or can be made";
  }
  const double point = ReadReal("2.5cm");
  const double comma = ReadReal("2,5cm");
  std::setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
  EXPECT_EQ(point, 2.5) << found;
  EXPECT_EQ(comma, 2.0) << found;
}

}  // namespace
