#include "cutter/extended.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>

#include <gtest/gtest.h>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

Extended D(double value) {
  return Extended::FromDouble(value);
}
Extended I(int64_t value) {
  return Extended::FromInteger(value);
}

// A value taken apart, so that -0 and +0 differ and every NaN is the same.
struct Parts {
  char kind;  // 'n'aN, 'i'nfinite, 'z'ero or 'f'inite
  bool negative;
  uint64_t significand;
  int64_t exponent;
  bool operator==(const Parts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Parts& p) {
  return out << p.kind << (p.negative ? " -0x" : " +0x") << std::hex << p.significand << std::dec
             << " p" << p.exponent;
}

Parts Of(const Extended& v) {
  if (v.IsNaN()) {
    return {'n', false, 0, 0};
  }
  const char kind = v.IsInfinite() ? 'i' : v.IsZero() ? 'z' : 'f';
  return {kind, v.IsNegative(), v.Significand(), v.Exponent()};
}

TEST(ExtendedTest, ConvertsExactly) {
  const uint64_t top = uint64_t{1} << 63;
  EXPECT_EQ(Of(D(-0.75)), (Parts{'f', true, top | top >> 1, -64}));
  EXPECT_EQ(Of(D(3 * 5e-324)), (Parts{'f', false, top | top >> 1, -1074 - 62}));
  EXPECT_EQ(Of(D(std::numeric_limits<double>::max())), (Parts{'f', false, ~0ull << 11, 960}));
  EXPECT_EQ(Of(I(std::numeric_limits<int64_t>::max())), (Parts{'f', false, ~1ull, -1}));
  EXPECT_EQ(Of(I(std::numeric_limits<int64_t>::min())), (Parts{'f', true, top, 0}));
  EXPECT_EQ(Of(D(-0.0)), (Parts{'z', true, 0, 0}));
  EXPECT_EQ(Of(I(0)), (Parts{'z', false, 0, 0}));
  EXPECT_EQ(Of(D(-kInf)), (Parts{'i', true, 0, 0}));
  EXPECT_EQ(Of(D(kNaN)), (Parts{'n', false, 0, 0}));
}

TEST(ExtendedTest, RoundsToNearestEvenWithAStickyBit) {
  const Extended one = D(1.0);
  const Extended two63 = D(0x1p63);  // from here to 2^64 the last bit is worth 1
  const Extended allOnes = I(std::numeric_limits<int64_t>::max()) * D(2.0) + one;  // 2^64 - 1
  const Extended belowOne = allOnes / D(0x1p64);                                   // 1 - 2^-64
  const struct {
    Extended actual;
    Extended expected;
  } cases[] = {
      {two63 + D(0.5), two63},                               // tie, even below
      {two63 + one + D(0.5), two63 + D(2.0)},                // tie, even above
      {two63 + (D(0.5) + D(0x1p-60)), two63 + one},          // a far bit breaks the tie
      {allOnes + D(0.5), D(0x1p64)},                         // carry out of the top
      {allOnes * allOnes, (allOnes + D(-1.0)) * D(0x1p64)},  // 2^128 - 2^65 + 1
      {one + D(-0x1p-65), one},                              // tie below 1
      {one + D(-0x3p-66), belowOne},
      {one + (D(-0x1p-65) + D(-0x1p-128)), belowOne},  // a tie less a far bit
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Of(c.actual), Of(c.expected));
  }
  // 1/3 = 0.0101...: the bits after the 64th are 1..., so the last one goes up; 1/7 =
  // 0.001001...: they are 001..., so it stays.
  EXPECT_EQ((one / D(3.0)).Significand(), 0xAAAAAAAAAAAAAAABu);
  EXPECT_EQ((one / I(7)).Significand(), 0x9249249249249249u);
}

TEST(ExtendedTest, SpecialValues) {
  const struct {
    Extended actual;
    double expected;
  } cases[] = {
      {D(kInf) + D(-kInf), kNaN}, {D(kInf) + D(-1e300), kInf}, {D(kNaN) + D(1.0), kNaN},
      {D(-3.0) + D(3.0), 0.0},    {D(-0.0) + D(-0.0), -0.0},   {D(0.0) + D(-0.0), 0.0},
      {D(kInf) * D(0.0), kNaN},   {D(kInf) * D(-2.0), -kInf},  {D(-0.0) * D(5.0), -0.0},
      {D(0.0) / D(0.0), kNaN},    {D(kInf) / D(kInf), kNaN},   {D(1.0) / D(-0.0), -kInf},
      {D(-1.0) / D(kInf), -0.0},  {D(-kInf) / D(2.0), -kInf},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Of(c.actual), Of(D(c.expected))) << c.expected;
  }
}

TEST(ExtendedTest, TruncatesTowardZeroAndSaturates) {
  const struct {
    Extended value;
    int32_t expected;
  } cases[] = {
      {D(kNaN), 0},
      {D(kInf), kMax},
      {D(-kInf), kMin},
      {D(-0.0), 0},
      {D(5e-324), 0},
      {D(-0.999), 0},
      {D(1.5), 1},
      {D(-1.5), -1},
      {D(2147483647.99), kMax},
      {D(0x1p31), kMax},
      {D(4294967301.0), kMax},
      {D(-2147483648.9), kMin},
      {D(-0x1p31 - 1), kMin},
      {D(-0x1p31) + D(0x1p-32), kMin + 1},
      {D(-1e300), kMin},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.TruncateToInt32(), c.expected) << Of(c.value);
  }
}

#if defined(__x86_64__)

static_assert(std::numeric_limits<long double>::digits == 64);

Parts Of(long double x) {
  if (std::isnan(x) || std::isinf(x) || x == 0) {
    return Of(D(static_cast<double>(x)));
  }
  int exponent = 0;
  const long double fraction = std::frexp(std::fabs(x), &exponent);
  return {'f', std::signbit(x), static_cast<uint64_t>(std::ldexp(fraction, 64)), exponent - 64};
}

// The x87 unit rounds to 64 bits, to nearest, only when its control word says so.
bool X87RoundsLikeExtended() {
  uint16_t control = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(control));
  return (control & 0xf00) == 0x300;
}

// Runs one operation in software and on the x87 unit; false (with a failure) if they differ.
bool Agree(unsigned op, const Extended& a, const Extended& b, long double x, long double y,
           Extended* soft = nullptr, long double* hard = nullptr) {
  volatile long double vx = x;
  volatile long double vy = y;
  const Extended s = op == 0 ? a + b : op == 1 ? a * b : a / b;
  const long double h = op == 0 ? vx + vy : op == 1 ? vx * vy : vx / vy;
  if (soft != nullptr) {
    *soft = s;
    *hard = h;
  }
  if (Of(s) == Of(h)) {
    return true;
  }
  ADD_FAILURE() << x << ' ' << "+*/"[op] << ' ' << y << ": " << Of(s) << ", x87 " << Of(h);
  return false;
}

TEST(ExtendedTest, AgreesWithX87OnRandomOperands) {
  if (!X87RoundsLikeExtended()) {
    GTEST_SKIP() << "the x87 control word is not set to 64-bit precision, round to nearest";
  }
  std::mt19937_64 random(2835);
  const auto below = [&](unsigned n) { return static_cast<int>(random() % n); };
  // Doubles of every kind, often near each other in size or short of bits (so exact ties come
  // up), and integers of every length.
  const auto operand = [&](long double* hard) {
    const int kind = below(10);
    if (kind < 3) {
      const auto magnitude = static_cast<int64_t>(random() >> (1 + below(63)));
      const int64_t value = below(2) == 0 ? magnitude : -magnitude;
      *hard = static_cast<long double>(value);
      return I(value);
    }
    const double specials[] = {0.0, -0.0, kInf, -kInf, kNaN};
    const int field = kind == 3 ? below(2047) : kind == 4 ? below(60) : 1000 + below(50);
    uint64_t bits = (random() & 0x800fffffffffffffu) | uint64_t(field) << 52;
    bits &= ~0ull << (below(2) * below(53));
    const double value =
        kind == 9 && below(4) == 0 ? specials[below(5)] : std::bit_cast<double>(bits);
    *hard = value;
    return D(value);
  };
  int failures = 0;
  for (int i = 0; i < 1000000 && failures < 10; ++i) {
    // Two results of fresh operands, then one of the results, to meet full 64-bit significands.
    long double w, x, y, z, left, right;
    const Extended a = operand(&w), b = operand(&x), c = operand(&y), d = operand(&z);
    Extended ab = a, cd = c;
    failures += !Agree(below(3), a, b, w, x, &ab, &left);
    failures += !Agree(below(3), c, d, y, z, &cd, &right);
    failures += !Agree(below(3), ab, cd, left, right);
  }
}

// 1 or 1 + 2^-a against +-2^-s (1 + 2^-b): every alignment of two sparse operands, which puts
// results exactly on, just above and just below the rounding boundaries.
TEST(ExtendedTest, AgreesWithX87OnEveryAlignmentOfSparseOperands) {
  if (!X87RoundsLikeExtended()) {
    GTEST_SKIP() << "the x87 control word is not set to 64-bit precision, round to nearest";
  }
  int failures = 0;
  for (int a = 0; a <= 64 && failures < 10; ++a) {
    const long double x = a == 0 ? 1.0L : 1.0L + std::ldexp(1.0L, -a);
    const Extended softX = a == 0 ? D(1.0) : D(1.0) + D(std::ldexp(1.0, -a));
    for (int s = 0; s <= 70; ++s) {
      for (int b = 1; b <= 64; ++b) {
        for (const double sign : {1.0, -1.0}) {
          const long double y = sign * std::ldexp(1.0L + std::ldexp(1.0L, -b), -s);
          const Extended softY = D(sign * std::ldexp(1.0, -s)) + D(sign * std::ldexp(1.0, -s - b));
          for (unsigned op = 0; op < 3; ++op) {
            failures += !Agree(op, softX, softY, x, y);
          }
        }
      }
    }
  }
}

#endif  // __x86_64__

}  // namespace
