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
  // JPEG: the scans in the file. The decoder passes over every block once a scan, so a small
  // file of many empty scans can keep it busy for minutes.
  uint64_t scans = 0;
};

// No encoder writes more scans than this; a progressive file usually has about ten.
constexpr uint64_t kMostJpegScans = 1000;

// Reads the header of the picture file `fileName` in `format`; no pixel is decoded.
PictureDemand DemandOf(FREE_IMAGE_FORMAT format, const char* fileName);

enum class PictureVerdict { kFits, kTooLarge, kTooManyScans };

// Whether the picture can be decoded: kTooLarge when its header declares more than the memory
// there is for pictures (platform::MemoryForPictures), or more pixels than the file could hold;
// kTooManyScans for a JPEG of more than kMostJpegScans scans. `width` and `height` get the
// declared size. A file whose header cannot be read fits: the library refuses it on its own.
PictureVerdict JudgePicture(FREE_IMAGE_FORMAT format, const char* fileName, unsigned& width,
                            unsigned& height);
