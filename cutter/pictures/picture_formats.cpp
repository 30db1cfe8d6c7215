// The formats a picture file can have: chosen by its name, what each holds, and the JPEG flags.
#include "cutter/pictures/picture_formats.h"

#include <cstring>

#include "util/ascii_case.h"

namespace {

// Tested in this order; the first row whose suffix ends the name decides.
constexpr struct {
  const char* suffix;
  FREE_IMAGE_FORMAT format;
} kExtensions[] = {
    {".jpg", FIF_JPEG},
    {".jpeg", FIF_JPEG},
    {".bmp", FIF_BMP},
    {".png", FIF_PNG},
};

// The JPEG writer's quality: a number in the low 7 bits, or one of its named qualities.
constexpr int32_t kQualityBits = 0xFFF;

int JpegQuality(int32_t flags) {
  constexpr struct {
    int32_t flag;
    int quality;
  } kNamed[] = {{JPEG_QUALITYBAD, 10},
                {JPEG_QUALITYAVERAGE, 25},
                {JPEG_QUALITYNORMAL, 50},
                {JPEG_QUALITYGOOD, 75},
                {JPEG_QUALITYSUPERB, 100}};
  for (const auto& named : kNamed) {
    if ((flags & named.flag) != 0) {
      return named.quality;
    }
  }
  return (flags & 0x7F) != 0 ? (flags & 0x7F) : 75;
}

// The colour samplings the JPEG writer offers: pixels across and down per colour sample. Of two
// that lose as much, the first is taken.
constexpr struct {
  int32_t flag;
  unsigned across, down;
} kSamplings[] = {{JPEG_SUBSAMPLING_444, 1, 1},
                  {JPEG_SUBSAMPLING_422, 2, 1},
                  {JPEG_SUBSAMPLING_420, 2, 2},
                  {JPEG_SUBSAMPLING_411, 4, 1}};

}  // namespace

FREE_IMAGE_FORMAT FormatForName(const char* fileName) {
  if (std::strlen(fileName) <= 3) {
    return FIF_UNKNOWN;
  }
  for (const auto& row : kExtensions) {
    if (EndsWithIgnoringCase(fileName, row.suffix)) {
      return row.format;
    }
  }
  return FIF_UNKNOWN;
}

int32_t JpegPieceFlags(int32_t saveFlags, const PictureSource& source) {
  if ((saveFlags & ~kQualityBits) != 0) {
    return saveFlags;
  }
  int32_t sampling = 0;
  if (source.format == FIF_JPEG) {
    // The coarsest sampling the writer offers that is no coarser than the source's colour.
    unsigned most = 0;
    for (const auto& offered : kSamplings) {
      if (offered.across * source.leastAcross <= source.mostAcross &&
          offered.down * source.leastDown <= source.mostDown &&
          offered.across * offered.down > most) {
        most = offered.across * offered.down;
        sampling = offered.flag;
      }
    }
  } else if (JpegQuality(saveFlags) >= 90) {
    sampling = JPEG_SUBSAMPLING_444;
  }
  return saveFlags | sampling | JPEG_OPTIMIZE;
}

bool FormatHolds(FREE_IMAGE_FORMAT format, uint64_t width, uint64_t height) {
  switch (format) {
    case FIF_JPEG:
      return width <= kMostJpegSide && height <= kMostJpegSide;
    case FIF_PNG:
      return width <= kMostPngSide && height <= kMostPngSide;
    default:
      return true;
  }
}
