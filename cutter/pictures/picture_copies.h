// Copies of a picture: its rectangles, and converted copies that keep its colour profile.
#pragma once

#include <FreeImage.h>

#include <cstdint>

#include "cutter/pictures/picture_library.h"

// A copy of the rectangle from (left, top), included, to (right, bottom), excluded. Null when
// the rectangle is empty, reversed or reaches outside the picture.
Picture CopyRectangle(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom);

// The same rectangle as a piece to save: like CopyRectangle's copy (metadata, colour profile
// and resolution included), but sharing the picture's pixels where the library can, so that it
// costs next to no memory. It must not outlive `picture`, nor be written to.
Picture PieceOf(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom);

// The same rectangle given by its top-left corner and its size.
Picture CopyArea(FIBITMAP* picture, int32_t left, int32_t top, int32_t width, int32_t height);

// Gives `to`, a converted copy of `from`, the colour profile of `from` when it has none. False
// when the copy cannot be attached.
bool KeepColourProfile(FIBITMAP* from, FIBITMAP* to);
