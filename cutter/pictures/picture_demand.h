// What a picture file's header demands of the machine and of the file itself.
#pragma once

#include <cstdint>

struct PictureDemand {
  bool known = false;  // false: the header could not be read, and the library judges the file
  // A PNG chunk runs past the end of the file. libpng allocates what a text chunk declares
  // before it reads a byte of it, and only then finds the file short.
  bool damaged = false;
  unsigned width = 0;  // as declared
  unsigned height = 0;
  // BMP and PNG: the resolution, read by the library from the header as a load reads it; 0
  // when not known before the pixels are.
  unsigned dotsPerMetreX = 0, dotsPerMetreY = 0;
  uint64_t fileBytes = 0;  // the file's length
  // Memory the library takes while decoding: the bitmap it makes, and the buffers it needs
  // besides (a progressive JPEG's coefficients, a BMP's undecoded pixels).
  uint64_t decodeBytes = 0;
  // The shortest file that a real picture of this size fits in (see JudgeDemand).
  uint64_t leastFileBytes = 0;
  // JPEG: the scans in the file. The decoder passes over every block once a scan, so a small
  // file of many empty scans can keep it busy for minutes.
  uint64_t scans = 0;
  // JPEG: the largest and smallest sampling factors of its components, across and down.
  unsigned mostAcross = 1, mostDown = 1, leastAcross = 1, leastDown = 1;
  // PNG: text or a time stamp follows the image data, so the picture's metadata is complete
  // only once every row is read.
  bool textAfterPixels = false;
};
