// A real number with a 64-bit significand, computed in software.
//
// Every operation rounds its exact result to 64 significand bits, to nearest with ties to even,
// as the x87 extended format does under its default settings, so results are the same on any
// compiler and processor. The exponent is an ordinary wide integer: there are no subnormals and
// no overflow to infinity, which the values this program meets never need.
#pragma once

#include <cstdint>

class Extended {
 public:
  // Both conversions are exact. A double NaN becomes a NaN; its payload is dropped.
  static Extended FromDouble(double value);
  static Extended FromInteger(int64_t value);

  friend Extended operator+(const Extended& a, const Extended& b);
  friend Extended operator*(const Extended& a, const Extended& b);
  friend Extended operator/(const Extended& a, const Extended& b);

  // Truncates toward zero. Values beyond the signed 32-bit range, infinities included,
  // saturate to its nearest end; NaN gives 0.
  int32_t TruncateToInt32() const;

  bool IsNaN() const { return kind_ == Kind::kNaN; }
  bool IsInfinite() const { return kind_ == Kind::kInfinite; }
  bool IsZero() const { return kind_ == Kind::kZero; }
  bool IsNegative() const { return negative_; }
  // A finite nonzero value is Significand() x 2^Exponent(), the significand's top bit set.
  uint64_t Significand() const { return significand_; }
  int64_t Exponent() const { return exponent_; }

 private:
  enum class Kind : uint8_t { kZero, kFinite, kInfinite, kNaN };

  Extended(Kind kind, bool negative, uint64_t significand, int64_t exponent)
      : kind_(kind), negative_(negative), significand_(significand), exponent_(exponent) {}

  static Extended Finite(bool negative, uint64_t significand, int64_t exponent) {
    return {Kind::kFinite, negative, significand, exponent};
  }
  static Extended Zero(bool negative) { return {Kind::kZero, negative, 0, 0}; }
  static Extended Infinity(bool negative) { return {Kind::kInfinite, negative, 0, 0}; }
  static Extended NaN() { return {Kind::kNaN, false, 0, 0}; }

  Kind kind_;
  bool negative_;
  uint64_t significand_;
  int64_t exponent_;
};
