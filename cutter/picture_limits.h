// Pictures too large to decode, told from their headers alone. The picture library allocates
// whatever a header declares before it reads a pixel, so a file of a few hundred bytes can
// claim gigabytes; such a file is refused before the library is asked for its pixels.
#pragma once

#include <FreeImage.h>

#include <cstdint>

// What a picture file's header demands of the machine and of the file itself.
struct PictureDemand {
  bool known = false;  // false: the header could not be read, and the library judges the file
  unsigned width = 0;  // as declared
  unsigned height = 0;
  // Memory the library takes while decoding: the bitmap it makes, and the buffers it needs
  // besides (a progressive JPEG's coefficients, a BMP's undecoded pixels).
  uint64_t decodeBytes = 0;
  // The shortest file that can hold the picture at its format's best compression.
  uint64_t leastFileBytes = 0;
};

// Reads the header of the picture file `fileName` in `format`; no pixel is decoded.
PictureDemand DemandOf(FREE_IMAGE_FORMAT format, const char* fileName);

// Whether the picture can be decoded: false when its header declares more than the memory
// there is for pictures (platform::MemoryForPictures), or more pixels than the file could hold.
// `width` and `height` get the declared size. A file whose header cannot be read fits: the
// library refuses it on its own.
bool PictureFits(FREE_IMAGE_FORMAT format, const char* fileName, unsigned& width, unsigned& height);
