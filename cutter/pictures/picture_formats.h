// The formats a picture file can have: chosen by its name, what each holds, and the JPEG flags.
// The format of every file, input or output, follows its name's extension alone: .jpg and .jpeg
// are JPEG, .bmp is BMP, .png is PNG, in any letter case.
#pragma once

#include <FreeImage.h>

#include <cstdint>

// The format the name's extension selects, or FIF_UNKNOWN. Names of 3 bytes or fewer never
// select one.
FREE_IMAGE_FORMAT FormatForName(const char* fileName);

// The widest and highest pictures the JPEG and PNG writers take (libjpeg's and libpng's own
// limits). BMP has none that a picture in memory can reach.
constexpr uint64_t kMostJpegSide = 65500;
constexpr uint64_t kMostPngSide = 1000000;

// Whether a file of `format` can hold a picture of `width` x `height`.
bool FormatHolds(FREE_IMAGE_FORMAT format, uint64_t width, uint64_t height);

// What a loaded picture was, as far as its JPEG pieces keep it.
struct PictureSource {
  FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
  // A JPEG's sampling factors: the largest of its components across and down, and the smallest.
  // Colour sampled at half the brightness's rate across (4:2:2) is 2 and 1 across, 1 and 1 down.
  unsigned mostAcross = 1, mostDown = 1, leastAcross = 1, leastDown = 1;
};

// The flags a JPEG piece of a picture from `source` is written with. Flags that carry any of the
// writer's own bits (sampling, progressive, optimisation, baseline: anything above the quality)
// are the user's and go as they are. A bare quality gets optimised Huffman tables and a colour
// sampling: a JPEG source's own (4:4:4, 4:2:2, 4:2:0 or 4:1:1; for any other, the nearest one
// the writer offers that keeps at least as much colour: 4:4:0 becomes 4:4:4), 4:4:4 for any
// other source at quality 90 or more, else the writer's default. So 100 for a 4:2:2 photo
// gives JPEG_SUBSAMPLING_422 | JPEG_OPTIMIZE | 100.
int32_t JpegPieceFlags(int32_t saveFlags, const PictureSource& source);
