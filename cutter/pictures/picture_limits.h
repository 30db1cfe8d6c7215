// Pictures too large to decode, told from their headers alone. The picture library allocates
// whatever a header declares before it reads a pixel, so a file of a few hundred bytes can
// claim gigabytes; such a file is refused before the library is asked for its pixels.
#pragma once

#include <FreeImage.h>

#include <cstdint>

#include "cutter/pictures/picture_demand.h"

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
