// Turning size texts ("300", "50%", "2.5in", "12cm", "35mm") into pixel counts.
//
// Physical lengths go through the picture's stored resolution. Results are exact to the pixel:
// every real step rounds to a 64-bit significand (nearest, ties to even) and the final value is
// truncated toward zero, so "12.7cm" at 100 dots per inch gives 499, not 500. The arithmetic is
// done in software, so results do not depend on the compiler or the floating-point unit.
#pragma once

#include <cstdint>

// Whole dots per inch from dots per metre: the ceiling of dotsPerMetre x 0.0254.
// 2835 gives 73 (72.009 exact), 11811 gives 300 (299.9994 exact).
int32_t DotsPerInch(uint32_t dotsPerMetre);

// Pixel count for a size text. The unit is the text's tail, matched without regard to case and
// in this order: "cm", "mm", "in" (last two bytes), "%" (last byte); anything else is a plain
// whole number. `dimension` is the picture's width or height (used by percentages only),
// `dotsPerInch` its resolution (used by physical units only). The result may be 0, negative or
// beyond the picture; values outside the signed 32-bit range saturate to its nearest end.
int32_t SizeToPixels(const char* sizeText, int32_t dimension, int32_t dotsPerInch);
