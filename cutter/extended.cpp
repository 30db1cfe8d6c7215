// Real numbers with a 64-bit significand, computed in software.
#include "cutter/extended.h"

#include <bit>
#include <limits>
#include <utility>

namespace {

__extension__ typedef unsigned __int128 Wide;

int BitWidth(Wide x) {
  const auto high = static_cast<uint64_t>(x >> 64);
  const uint64_t top = high != 0 ? high : static_cast<uint64_t>(x);
  return (high != 0 ? 128 : 64) - std::countl_zero(top);
}

struct Rounded {
  uint64_t significand;
  int64_t exponent;
};

// Rounds (magnitude + f) x 2^exponent to 64 significand bits, nearest with ties to even, where
// 0 < f < 1 when `sticky` is set and f = 0 otherwise. The magnitude must not be 0, and with
// sticky set it must reach 2^64, so that the bit deciding the rounding lies inside it and f
// only tells a tie from a value just above it.
Rounded Round(Wide magnitude, int64_t exponent, bool sticky) {
  const int width = BitWidth(magnitude);
  if (width <= 64) {
    const int shift = 64 - width;
    return {static_cast<uint64_t>(magnitude) << shift, exponent - shift};
  }
  const int drop = width - 64;
  auto significand = static_cast<uint64_t>(magnitude >> drop);
  const Wide rest = magnitude & ((Wide{1} << drop) - 1);
  const Wide half = Wide{1} << (drop - 1);
  exponent += drop;
  if (rest > half || (rest == half && (sticky || (significand & 1) != 0))) {
    if (++significand == 0) {  // carried out of the top: 2^64 is 2^63 x 2
      significand = uint64_t{1} << 63;
      ++exponent;
    }
  }
  return {significand, exponent};
}

}  // namespace

Extended Extended::FromDouble(double value) {
  const auto bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const auto field = static_cast<int64_t>((bits >> 52) & 0x7ff);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (field == 0x7ff) {
    return fraction != 0 ? NaN() : Infinity(negative);
  }
  if (field == 0 && fraction == 0) {
    return Zero(negative);
  }
  // Subnormals have no hidden bit and the exponent of the smallest normals.
  const Rounded r = field == 0 ? Round(fraction, -1074, false)
                               : Round(fraction | (uint64_t{1} << 52), field - 1075, false);
  return Finite(negative, r.significand, r.exponent);
}

Extended Extended::FromInteger(int64_t value) {
  if (value == 0) {
    return Zero(false);
  }
  // Negated in unsigned arithmetic so that the most negative value works too.
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
  const Rounded r = Round(magnitude, 0, false);
  return Finite(value < 0, r.significand, r.exponent);
}

Extended operator+(const Extended& a, const Extended& b) {
  if (a.IsNaN() || b.IsNaN()) {
    return Extended::NaN();
  }
  if (a.IsInfinite() || b.IsInfinite()) {
    if (a.IsInfinite() && b.IsInfinite() && a.negative_ != b.negative_) {
      return Extended::NaN();
    }
    return a.IsInfinite() ? a : b;
  }
  if (a.IsZero() || b.IsZero()) {
    if (a.IsZero() && b.IsZero()) {
      return Extended::Zero(a.negative_ && b.negative_);
    }
    return a.IsZero() ? b : a;
  }

  const Extended* big = &a;
  const Extended* small = &b;
  if (b.exponent_ > a.exponent_ ||
      (b.exponent_ == a.exponent_ && b.significand_ > a.significand_)) {
    std::swap(big, small);
  }
  // 62 spare bits below the larger operand keep every bit of the smaller one that can matter
  // exactly; anything shifted out beyond them only makes the sticky bit.
  const Wide x = Wide{big->significand_} << 62;
  const Wide smallWide = Wide{small->significand_} << 62;
  const int64_t shift = big->exponent_ - small->exponent_;
  Wide y = 0;
  bool sticky = true;
  if (shift < 128) {
    y = smallWide >> shift;
    sticky = (y << shift) != smallWide;
  }
  const int64_t exponent = big->exponent_ - 62;

  if (a.negative_ == b.negative_) {
    const Rounded r = Round(x + y, exponent, sticky);
    return Extended::Finite(a.negative_, r.significand, r.exponent);
  }
  if (x == y && !sticky) {
    return Extended::Zero(false);
  }
  // x - (y + f) with 0 < f < 1 is (x - y - 1) + (1 - f), and 1 - f is again a sticky fraction.
  const Rounded r = Round(x - y - (sticky ? 1 : 0), exponent, sticky);
  return Extended::Finite(big->negative_, r.significand, r.exponent);
}

Extended operator*(const Extended& a, const Extended& b) {
  const bool negative = a.negative_ != b.negative_;
  if (a.IsNaN() || b.IsNaN()) {
    return Extended::NaN();
  }
  if (a.IsInfinite() || b.IsInfinite()) {
    return a.IsZero() || b.IsZero() ? Extended::NaN() : Extended::Infinity(negative);
  }
  if (a.IsZero() || b.IsZero()) {
    return Extended::Zero(negative);
  }
  const Rounded r = Round(Wide{a.significand_} * b.significand_, a.exponent_ + b.exponent_, false);
  return Extended::Finite(negative, r.significand, r.exponent);
}

Extended operator/(const Extended& a, const Extended& b) {
  const bool negative = a.negative_ != b.negative_;
  if (a.IsNaN() || b.IsNaN() || (a.IsInfinite() && b.IsInfinite()) || (a.IsZero() && b.IsZero())) {
    return Extended::NaN();
  }
  if (a.IsInfinite() || b.IsZero()) {
    return Extended::Infinity(negative);
  }
  if (a.IsZero() || b.IsInfinite()) {
    return Extended::Zero(negative);
  }
  // The quotient of two significands lies in (1/2, 2). 64 bits of it come from one wide
  // division; two more from the remainder give the 66 bits Round needs, and what is still left
  // over makes the sticky bit.
  const uint64_t divisor = b.significand_;
  Wide quotient = (Wide{a.significand_} << 64) / divisor;
  Wide remainder = (Wide{a.significand_} << 64) % divisor;
  quotient = (quotient << 2) | ((remainder << 2) / divisor);
  remainder = (remainder << 2) % divisor;
  const Rounded r = Round(quotient, a.exponent_ - b.exponent_ - 66, remainder != 0);
  return Extended::Finite(negative, r.significand, r.exponent);
}

int32_t Extended::TruncateToInt32() const {
  if (IsNaN() || IsZero()) {
    return 0;
  }
  // From exponent -32 up the magnitude is at least 2^63 x 2^-32 = 2^31, which saturates either
  // way (-2^31 itself is the lowest value).
  if (IsInfinite() || exponent_ >= -32) {
    return negative_ ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
  }
  if (exponent_ <= -64) {
    return 0;
  }
  const auto whole = static_cast<int32_t>(significand_ >> -exponent_);
  return negative_ ? -whole : whole;
}
