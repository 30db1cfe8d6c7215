// Turning size texts into pixel counts.
#include "cutter/size_measures.h"

#include "cutter/extended.h"
#include "cutter/numbers.h"
#include "util/ascii_case.h"

namespace {

// Each constant is the double nearest its decimal, widened unchanged. The extended values nearest
// the decimals are closer but give other pixel counts: with them 25.4mm at 72 dots per inch would
// become 71 instead of 72.
constexpr double kMillimetresPerInch = 25.4;
constexpr double kCentimetresPerInch = 2.54;
constexpr double kJustBelowOne = 0.9999;

Extended Real(double value) {
  return Extended::FromDouble(value);
}

Extended Whole(int64_t value) {
  return Extended::FromInteger(value);
}

}  // namespace

// Adding 0.9999 and truncating is a ceiling because d x 0.0254 is either whole or at least
// 0.0002 past a whole number, far more than the rounding of the steps can move it:
// 2835 gives 72.009 + 0.9999 = 73.0089, so 73; 3937 gives 99.9998 + 0.9999 = 100.9997, so 100;
// 10000 gives 254 + 0.9999, so 254.
int32_t DotsPerInch(uint32_t dotsPerMetre) {
  const Extended exact = Whole(dotsPerMetre) / Whole(1000) * Real(kMillimetresPerInch);
  return (exact + Real(kJustBelowOne)).TruncateToInt32();
}

// The unit is found from the tail and the number from the head, so "5%cm" is 5 centimetres and
// "10in%" is 10 percent. A physical length divides before it multiplies, and the roundings in
// between decide the pixel: "12.7cm" at 100 dots per inch is 12.7 / 2.54 = 4.99999999999999965
// (both numbers being doubles), x 100 = 499.99999999999996, truncated to 499.
int32_t SizeToPixels(const char* sizeText, int32_t dimension, int32_t dotsPerInch) {
  const Extended dots = Whole(dotsPerInch);
  if (EndsWithIgnoringCase(sizeText, "cm")) {
    return (Real(ReadReal(sizeText)) / Real(kCentimetresPerInch) * dots).TruncateToInt32();
  }
  if (EndsWithIgnoringCase(sizeText, "mm")) {
    return (Real(ReadReal(sizeText)) / Real(kMillimetresPerInch) * dots).TruncateToInt32();
  }
  if (EndsWithIgnoringCase(sizeText, "in")) {
    return (Real(ReadReal(sizeText)) * dots).TruncateToInt32();
  }
  if (EndsWithIgnoringCase(sizeText, "%")) {
    return (Real(ReadReal(sizeText)) / Whole(100) * Whole(dimension)).TruncateToInt32();
  }
  return ReadInteger(sizeText);
}
