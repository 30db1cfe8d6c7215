// Loading a picture file: its format by name, the size judgement, and the watcher told of its rows.
#pragma once

#include <FreeImage.h>

#include "cutter/pictures/picture_formats.h"
#include "cutter/pictures/picture_geometry.h"
#include "cutter/pictures/picture_library.h"

// Told about a picture while it loads. JPEG and PNG pictures (not interlaced) are read from the
// top down, so their pieces can be made from the rows already read; other pictures are told of
// nothing until they are whole.
class LoadWatcher {
 public:
  // The geometry of a BMP or PNG picture, read from its header before any pixel is decoded (a
  // JPEG's resolution is known only once the decoder has started). False when the watcher has
  // no use for the pixels: the picture is then not decoded.
  virtual bool HeaderRead(const PictureGeometry& geometry) = 0;
  // `picture`'s size, resolution, colour profile and metadata are final, and so are its first
  // `rows` rows from the top: 0 at the first call, then growing to its height.
  virtual void RowsLoaded(FIBITMAP* picture, unsigned rows) = 0;
  // The load failed after RowsLoaded; returns once nothing uses the picture any more, which is
  // released next. Also told before any other refusal ends the process.
  virtual void LoadFailed() = 0;

 protected:
  ~LoadWatcher() = default;
};

// Loads a picture (JPEG with the library's accurate decoding: the slow integer transform and
// smoothed colour planes). Returns without one only when `watcher` declined its pixels: a name
// without an accepted extension, a picture too large to decode or a file the library cannot
// read ends the process with its message, once `watcher` (when given) has been told. `source`,
// when given, learns what the picture was.
Picture LoadPicture(const char* fileName, PictureSource* source = nullptr,
                    LoadWatcher* watcher = nullptr);
