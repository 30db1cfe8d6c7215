// Pictures made for the tests, and ways to look at the files the program writes.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>

#include "cutter/pictures/picture_library.h"

namespace testing_support {

enum class Kind {
  kRgb24,   // 24-bit colour
  kGrey8,   // 8-bit greyscale
  kRgba32,  // 32-bit colour with a varying alpha channel
  kRgb565,  // 16-bit 5-6-5 colour
  kRgb16,   // 16 bits per channel colour
  kRgba16,  // 16 bits per channel colour with alpha
};

// A picture whose every pixel is different from its neighbours, so that any shift, flip or
// lost row shows: the colour is a function of the pixel's position.
Picture MakePicture(Kind kind, unsigned width, unsigned height, unsigned dotsPerMetre = 2835);

// Writes `picture` to `path` in the format of its extension; fails the test when it cannot.
void WritePicture(FIBITMAP* picture, const std::string& path, int flags = 0);

// Reads a picture file; null when it cannot be read.
Picture ReadPicture(const std::string& path);

// The colour of pixel (x, y), counted from the top-left as displayed, with alpha (255 when the
// picture has none). Works for 8, 16 (5-6-5), 24 and 32-bit standard bitmaps.
uint32_t PixelAt(FIBITMAP* picture, unsigned x, unsigned y);

// True when `piece` equals the rectangle of `whole` at (left, top) of the piece's size, pixel by
// pixel (sample by sample for 16 bits per channel); on a difference, `why` tells where.
bool SameAsArea(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top, std::string* why);

}  // namespace testing_support
