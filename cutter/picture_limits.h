// Pictures too large to decode, told from their headers alone. The picture library allocates
// whatever a header declares before it reads a pixel, so a file of a few hundred bytes can
// claim gigabytes; such a file is refused before the library is asked for its pixels.
#pragma once

#include <FreeImage.h>

#include <cstdint>

// What a picture file's header demands of the machine and of the file itself.
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

// No encoder writes more scans than this; a progressive file usually has about ten.
constexpr uint64_t kMostJpegScans = 1000;

// A decode of at most this much memory is tried however short its file is.
constexpr uint64_t kCheapDecodeBytes = uint64_t{64} << 20;

// Reads the header of the picture file `fileName` in `format`; no pixel is decoded.
PictureDemand DemandOf(FREE_IMAGE_FORMAT format, const char* fileName);

// kUnreadable: damaged in a way the library would find out only after allocating what the file
// declares (a PNG chunk past the end), or after minutes of work (more than kMostJpegScans).
enum class PictureVerdict { kFits, kTooLarge, kUnreadable };

// kTooLarge when the decode needs more than `memoryBytes`, or when the file is far too short
// for what it declares:
// - a decode of at most kCheapDecodeBytes is never refused for its file's length: the library
//   reads short 24-bit BMPs, RLE pictures that skip rows, cut JPEGs, and that costs little;
// - above it, the file must hold leastFileBytes: an uncompressed BMP half of its pixel bytes,
//   an RLE one 2 bytes for every 255 pixels (a run), a PNG its rows deflated at 1032 to 1, a
//   Huffman JPEG 1 bit a block, an arithmetic one 1/128 bit a block.
// So 6000 x 4000 pixels of 24 bits (72 MB) are refused from a BMP of less than 36 MB of
// pixels, or a 4:2:0 JPEG (562 500 blocks) of less than 70 KB, or 550 bytes if arithmetic;
// 1000 x 1000 of them (3 MB) are tried from any file.
// A file whose header cannot be read fits: the library refuses it on its own.
PictureVerdict JudgeDemand(const PictureDemand& demand, uint64_t memoryBytes);

// JudgeDemand for the file `fileName`, with the memory there is for pictures
// (platform::MemoryForPictures); `demand` gets what its header demands.
PictureVerdict JudgePicture(FREE_IMAGE_FORMAT format, const char* fileName, PictureDemand& demand);
