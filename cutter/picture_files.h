// The only door between the cutting commands and picture files. The format of every file,
// input or output, follows its name's extension alone: .jpg and .jpeg are JPEG, .bmp is BMP,
// .png is PNG, in any letter case.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/platform.h"

struct PictureRelease {
  void operator()(FIBITMAP* picture) const { FreeImage_Unload(picture); }
};
// A picture owned by the program; released when it goes out of scope.
using Picture = std::unique_ptr<FIBITMAP, PictureRelease>;

// The picture library is linked in and has to be started and ended by the program: it is ready
// while one of these lives. A program makes one at start-up and keeps it until it ends.
class PictureLibrary {
 public:
  PictureLibrary();
  ~PictureLibrary() { FreeImage_DeInitialise(); }
  PictureLibrary(const PictureLibrary&) = delete;
  PictureLibrary& operator=(const PictureLibrary&) = delete;
};

// The format the name's extension selects, or FIF_UNKNOWN. Names of 3 bytes or fewer never
// select one.
FREE_IMAGE_FORMAT FormatForName(const char* fileName);

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

// What a cut is laid out by: a picture's size and the resolution stored in it, and how it is
// turned for showing (its EXIF orientation, 1 when it is shown as stored).
struct PictureGeometry {
  unsigned width = 0, height = 0;
  unsigned dotsPerMetreX = 0, dotsPerMetreY = 0;
  unsigned orientation = 1;
};

PictureGeometry GeometryOf(FIBITMAP* picture);

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

// Whether the turn of a piece to take disk space has come; with `wait`, waits for it.
using PieceTurn = std::function<bool(bool wait)>;

// Gives `to`, a converted copy of `from`, the colour profile of `from` when it has none. False
// when the copy cannot be attached.
bool KeepColourProfile(FIBITMAP* from, FIBITMAP* to);

// A picture encoded for its file but not yet under its name: its bytes in memory, or, for a
// large picture, its temporary file. Putting it in place is a step of its own, so that pieces
// encoded in any order can appear in the command's order.
class EncodedPicture {
 public:
  EncodedPicture() = default;
  EncodedPicture(EncodedPicture&&) = default;
  EncodedPicture& operator=(EncodedPicture&&) = default;

  // Memory held until it is in place: what was allocated, not only what is used. A picture
  // waiting in its temporary file holds none.
  size_t HeldBytes() const;
  // The name it goes under; null when there is nothing to put in place.
  const char* FileName() const { return name_.get(); }
  // Puts it under its name: true when the file now holds it. Any existing file of that name
  // stays exactly as it was otherwise. Nothing is held afterwards.
  bool MoveIntoPlace();

 private:
  friend bool EncodePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                            const PictureSource& source, EncodedPicture& out,
                            const PieceTurn& turn);
  std::unique_ptr<char[]> name_;
  std::vector<unsigned char> bytes_;
  std::unique_ptr<platform::ReplacementFile> file_;
};

// The widest and highest pictures the JPEG and PNG writers take (libjpeg's and libpng's own
// limits). BMP has none that a picture in memory can reach.
constexpr uint64_t kMostJpegSide = 65500;
constexpr uint64_t kMostPngSide = 1000000;

// Whether a file of `format` can hold a picture of `width` x `height`.
bool FormatHolds(FREE_IMAGE_FORMAT format, uint64_t width, uint64_t height);

// Encodes `picture` into `out` for `fileName`, in the format of the name's extension, with
// `saveFlags` (for JPEG as JpegPieceFlags makes them from `source`; else unchanged, for PNG the
// compression level). A name without an accepted extension ends the process with its message
// before anything touches the file system. False, with nothing written, when there is no picture
// (a null handle), the format cannot hold its size, or the library or the file system refuses.
//
// A piece of a cut takes disk space only at its turn, once every piece before it is in place:
// so pieces take it in the cut's order, whatever order they are encoded in. `turn` tells whether
// the turn has come, and with `wait` true waits for it (false then: the cut was abandoned, and
// the encoding fails); without one, the turn has come. A piece encoded at its turn goes straight
// into its temporary file; any other is held in memory, and when it grows past 1 MiB goes on in
// its temporary file once its turn has come.
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

// A copy of the rectangle from (left, top), included, to (right, bottom), excluded. Null when
// the rectangle is empty, reversed or reaches outside the picture.
Picture CopyRectangle(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom);

// The same rectangle as a piece to save: like CopyRectangle's copy (metadata, colour profile
// and resolution included), but sharing the picture's pixels where the library can, so that it
// costs next to no memory. It must not outlive `picture`, nor be written to.
Picture PieceOf(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom);

// The same rectangle given by its top-left corner and its size.
Picture CopyArea(FIBITMAP* picture, int32_t left, int32_t top, int32_t width, int32_t height);
