// A picture's geometry, as stored and as shown, and the turn from one to the other.
// Cameras and phones store a portrait photo sideways and say in its EXIF Orientation how to turn
// and mirror it for showing; every viewer obeys, so every size, position and name a user gives is
// one of the picture as shown.
#pragma once

#include <FreeImage.h>

#include <cstdint>

#include "cutter/pictures/picture_library.h"

// What a cut is laid out by: a picture's size and the resolution stored in it, and how it is
// turned for showing (its EXIF orientation, 1 when it is shown as stored).
struct PictureGeometry {
  unsigned width = 0, height = 0;
  unsigned dotsPerMetreX = 0, dotsPerMetreY = 0;
  unsigned orientation = 1;
};

PictureGeometry GeometryOf(FIBITMAP* picture);

// A rectangle of a picture, right and bottom excluded.
struct PictureRectangle {
  int64_t left, top, right, bottom;
};

// The picture's EXIF Orientation, 1 to 8; 1 (as stored) without a tag or for any other value.
unsigned OrientationOf(FIBITMAP* picture);

// The geometry of a picture stored as `stored` says, as it is shown: for orientations 5 to 8 its
// width and height, and its resolutions across and down, trade places.
PictureGeometry AsShown(const PictureGeometry& stored);

// The stored rectangle that shows as `shown`. An empty, reversed or outlying rectangle stays so.
PictureRectangle StoredRectangle(const PictureGeometry& stored, const PictureRectangle& shown);

// A copy of `picture` turned and mirrored as its orientation says, so that it shows the same
// without one: with the pixels, palette, transparency, metadata, colour profile and resolution,
// but without the EXIF orientation or the raw EXIF block that would turn it again. Null without
// memory.
Picture Upright(FIBITMAP* picture, unsigned orientation);
