// The EXIF block a JPEG piece carries. A piece inherits the block of the picture it was cut from,
// and that block describes the whole picture: its size, and usually a small preview of all of it
// (the second directory and the JPEG bytes it points to). Whoever gets one piece must not get a
// preview of everything cut away.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>

// The largest block the JPEG writer stores in one segment; anything longer it splits into
// segments no reader takes as EXIF.
constexpr size_t kMaxExifBlockSize = 65504;

// Writes into `out` (room for `capacity` bytes) the EXIF block `block` (`size` bytes, starting
// with "Exif\0\0" and a TIFF header in either byte order) rebuilt for a piece of `width` x
// `height` pixels, and returns its length; 0 when it refuses, with `out` holding nothing useful.
//
// The new block is laid out afresh in the same byte order and holds only the first directory
// and what it links to: the Exif directory (with its interoperability directory) and the GPS
// directory, every other entry and value copied unchanged. The link to a second directory is
// 0, so the preview and its bytes are gone; entries that point at picture data (strips, tiles,
// an embedded JPEG) are left out for the same reason, and so is a maker note (its own offsets
// would point at the wrong bytes once moved, and it may hold a preview of its own).
// ImageWidth and ImageLength in the first directory and PixelXDimension and PixelYDimension in
// the Exif directory, where present, give the piece's size (as LONG when SHORT cannot hold it).
//
// It refuses a block it cannot rebuild safely: no "Exif\0\0" or TIFF header, an offset or count
// reaching outside the block, a directory reached twice, a link where none belongs, a type of
// unknown size, or a result longer than `capacity`.
size_t RewriteExifForPiece(const uint8_t* block, size_t size, uint32_t width, uint32_t height,
                           uint8_t* out, size_t capacity);

// Before `piece` is saved as JPEG: replaces its raw EXIF block (the only EXIF the JPEG writer
// stores) by one rebuilt for the piece's own size, or removes the raw EXIF when it cannot be
// rebuilt. Its colour profile, XMP, IPTC and resolution are left as they are. True when the piece
// carries a rebuilt block.
bool PrepareExifForPiece(FIBITMAP* piece);
