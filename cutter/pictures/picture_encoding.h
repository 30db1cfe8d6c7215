// Encoding a picture for its file: conversions to what the format holds, kept metadata, flags.
#pragma once

#include <FreeImage.h>

#include <cstdint>

#include "cutter/pictures/encoded_picture.h"
#include "cutter/pictures/picture_formats.h"

// Encodes `picture` into `out` for `fileName`, in the format of the name's extension, with
// `saveFlags` (for JPEG as JpegPieceFlags makes them from `source`; else unchanged, for PNG the
// compression level). A name without an accepted extension ends the process with its message
// before anything touches the file system. False, with nothing written, when there is no picture
// (a null handle), the format cannot hold its size, or the library or the file system refuses.
//
// A piece of a cut takes disk space only at its turn, once every piece before it is in place:
// so pieces take it in the cut's order, whatever order they are encoded in. `turn` tells whether
// the turn has come, and with `wait` true waits for it (false then: the cut was abandoned, and
// the encoding fails); without one, the turn has come. Where the bytes wait meanwhile:
// EncodedPicture::Encode.
//
// A picture whose depth the format cannot hold is converted first, keeping its colour profile:
// transparency is flattened onto white, other 32-bit pictures lose their fourth channel and 16
// bits per channel become 8 (PNG keeps them). A colour profile the PNG writer refuses is left
// out of a PNG, and so is a text whose keyword it refuses (one without a printable character).
// JPEG pieces get their EXIF rebuilt for their own size. A picture with an EXIF orientation is
// stored as it is with the tag in a JPEG; in a format that keeps no EXIF, or when the EXIF cannot
// be rebuilt, it is turned upright first, so that every file shows the same. Pictures may be
// encoded from several threads at once.
bool EncodePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                   const PictureSource& source, EncodedPicture& out, const PieceTurn& turn = {});

// EncodePicture, then MoveIntoPlace: true when the file now holds the picture. A crash in the
// library meanwhile ends the process with "Couldn't save file: NAME".
bool SavePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                 const PictureSource& source = {});
