// Reading numbers out of command-line texts.
//
// Both readers take the number from the start of a text and stop at the first byte that cannot
// continue it, so "50%" reads as 50 and "3x" as 3. They are decimal only: no hexadecimal, no
// words for infinity or NaN, and the point is the decimal separator whatever the locale.
#pragma once

#include <cstdint>

// Leading white space (blank, tab, line feed, vertical tab, form feed, carriage return), an
// optional sign, then decimal digits. A text without digits reads as 0 ("x" gives 0).
// Values outside the signed 32-bit range saturate to its nearest end.
int32_t ReadInteger(const char* text);

// Leading white space, an optional sign, digits with an optional fractional part after a point
// (at least one digit in all), and an optional exponent ("e" or "E", optional sign, digits).
// Gives the double nearest to the decimal value (ties to even); a value too large for a double
// gives infinity with its sign, one too small gives zero. A text without a number reads as 0.
double ReadReal(const char* text);
