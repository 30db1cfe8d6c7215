#include "cutter/size_measures.h"

#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(DotsPerInchTest, WorkedExamples) {
  const struct {
    uint32_t dotsPerMetre;
    int32_t expected;
  } cases[] = {
      {0, 0},      {39, 1},     {40, 2},      {2834, 72},   {2835, 73},   {3780, 97},
      {3937, 100}, {5906, 151}, {10000, 254}, {11811, 300}, {23622, 600}, {4294967295, 109092170},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DotsPerInch(c.dotsPerMetre), c.expected) << c.dotsPerMetre;
  }
}

// d x 0.0254 is whole when d is a multiple of 5000, and closest to whole (0.0002 either side)
// when 254d is 2 or 9998 past a multiple of 10000. All of these, and a random sample of the
// rest, must give the ceiling.
TEST(DotsPerInchTest, IsTheCeilingForEveryCloseCallAndARandomSample) {
  uint32_t inverse = 1;  // of 127 modulo 5000: 254d = 2 (mod 10000) for d = inverse (mod 5000)
  while (127 * inverse % 5000 != 1) {
    ++inverse;
  }
  std::vector<uint32_t> inputs = {1, 4294967294u};
  for (const uint32_t start : {0u, inverse, 5000 - inverse}) {
    for (uint64_t d = start; d <= 4294967295u; d += 5000) {
      inputs.push_back(static_cast<uint32_t>(d));
    }
  }
  std::mt19937 random(5906);
  for (int i = 0; i < 4000000; ++i) {
    inputs.push_back(static_cast<uint32_t>(random()));
  }
  int failures = 0;
  for (const uint32_t d : inputs) {
    const auto ceiling = static_cast<int32_t>((uint64_t{254} * d + 9999) / 10000);
    if (DotsPerInch(d) != ceiling && ++failures <= 10) {
      ADD_FAILURE() << d << " gives " << DotsPerInch(d) << ", not " << ceiling;
    }
  }
}

// Stands for "any value" in the tables below: the row is checked with each of kAnyValues.
constexpr int32_t kAny = kMin + 1;
constexpr int32_t kAnyValues[] = {0, 1, 72, 300, 1001, -7, kMax};

struct SizeCase {
  const char* text;
  int32_t dimension;
  int32_t dotsPerInch;
  int32_t expected;
};

void CheckSizes(const std::vector<SizeCase>& cases) {
  const auto values = [](int32_t v) {
    return v == kAny ? std::vector<int32_t>(std::begin(kAnyValues), std::end(kAnyValues))
                     : std::vector<int32_t>{v};
  };
  for (const SizeCase& c : cases) {
    for (const int32_t dimension : values(c.dimension)) {
      for (const int32_t dots : values(c.dotsPerInch)) {
        EXPECT_EQ(SizeToPixels(c.text, dimension, dots), c.expected)
            << '"' << c.text << "\", dimension " << dimension << ", " << dots << " dots per inch";
      }
    }
  }
}

TEST(SizeToPixelsTest, WorkedExamples) {
  CheckSizes({
      {"300", kAny, kAny, 300},   {"12.7", kAny, kAny, 12},   {"50px", kAny, kAny, 50},
      {"1in", kAny, 73, 73},      {"0.5in", kAny, 73, 36},    {"2.5cm", kAny, 73, 71},
      {"10mm", kAny, 73, 28},     {"1cm", kAny, 97, 38},      {"25.4mm", kAny, 97, 97},
      {"0.03in", kAny, 300, 8},   {"5in", kAny, 100, 500},    {"127mm", kAny, 100, 500},
      {"12.7cm", kAny, 100, 499}, {"25.4cm", kAny, 100, 999}, {"2.54cm", kAny, 300, 300},
      {"3.5IN", kAny, 300, 1050}, {"10Mm", kAny, 300, 118},   {"5cm", kAny, 254, 499},
      {"6.35cm", kAny, 72, 179},  {"50%", 1001, kAny, 500},   {"33.3%", 1000, kAny, 332},
      {"0.3%", 1000, kAny, 2},    {"25%", 640, kAny, 160},    {"150%", 1000, kAny, 1500},
      {"2in", kAny, 0, 0},        {"cm", kAny, 300, 0},       {"%", kAny, kAny, 0},
      {"-1cm", kAny, 100, -39},   {"5 cm", kAny, 100, 196},
  });
}

// "25.4mm" at 72 tells the double nearest 25.4 from the extended one (which gives 71). "50\5"
// must not pass for "50%", as it would with a fold that just sets the 0x20 bit.
TEST(SizeToPixelsTest, SuffixRules) {
  CheckSizes({
      {"25.4mm", kAny, 72, 72},
      {"2IN", kAny, 10, 20},
      {"3Cm", kAny, 100, 118},
      {"4MM", kAny, 254, 40},
      {"3pt", kAny, 300, 3},
      {"in", kAny, 300, 0},
      {"m", kAny, 300, 0},
      {"", kAny, kAny, 0},
      {"10in%", 1000, 300, 100},
      {"5%cm", 1000, 100, 196},
      {"1.5IN ", kAny, 100, 1},
      {"50\5", 1000, kAny, 50},
      {"5mm", kAny, 0, 0},
      {"-2.5mm", kAny, 254, -25},
  });
}

TEST(SizeToPixelsTest, SaturatesOutsideTheIntegerRange) {
  CheckSizes({
      {"1e12in", kAny, 300, kMax},
      {"-1e12in", kAny, 300, kMin},
      {"1e999in", kAny, 300, kMax},
      {"1e999in", kAny, 0, 0},  // infinity x 0 is NaN
      {"99999999999", kAny, kAny, kMax},
      {"-99999999999", kAny, kAny, kMin},
      {"200%", kMax, kAny, kMax},
      {"50%", kMax, kAny, 1073741823},
      {"1in", kAny, kMin, kMin},
  });
}

}  // namespace
