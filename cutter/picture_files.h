// The only door between the cutting commands and picture files. The format of every file,
// input or output, follows its name's extension alone: .jpg and .jpeg are JPEG, .bmp is BMP,
// .png is PNG, in any letter case.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <memory>

struct PictureRelease {
  void operator()(FIBITMAP* picture) const { FreeImage_Unload(picture); }
};
// A picture owned by the program; released when it goes out of scope.
using Picture = std::unique_ptr<FIBITMAP, PictureRelease>;

// The picture library is linked in and has to be started and ended by the program: it is ready
// while one of these lives. A program makes one at start-up and keeps it until it ends.
class PictureLibrary {
 public:
  PictureLibrary() { FreeImage_Initialise(FALSE); }
  ~PictureLibrary() { FreeImage_DeInitialise(); }
  PictureLibrary(const PictureLibrary&) = delete;
  PictureLibrary& operator=(const PictureLibrary&) = delete;
};

// The format the name's extension selects, or FIF_UNKNOWN. Names of 3 bytes or fewer never
// select one.
FREE_IMAGE_FORMAT FormatForName(const char* fileName);

// Loads a picture. Never returns without one: a name without an accepted extension or a file the
// library cannot read ends the process with its message.
Picture LoadPicture(const char* fileName);

// Saves `picture` under `fileName` in the format of the name's extension, with `saveFlags`
// handed to the library unchanged (for JPEG, the quality). A name without an accepted extension
// ends the process with its message before anything touches the file system.
//
// Returns true when the file now holds the picture. It returns false, leaving any existing file
// of that name exactly as it was, when there is no picture (a null handle), or when the library
// or the file system refuses. A picture whose depth the format cannot hold is converted first,
// keeping its colour profile: transparency is flattened onto white, other 32-bit pictures lose
// their fourth channel and 16 bits per channel become 8 (PNG keeps them). `beforeMove`, when
// given, is called once the file is completely written, right before it is moved over its name.
// Pictures may be saved from several threads at once.
bool SavePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                 const std::function<void()>& beforeMove = nullptr);

// A copy of the rectangle from (left, top), included, to (right, bottom), excluded. Null when
// the rectangle is empty, reversed or reaches outside the picture.
Picture CopyRectangle(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom);

// The same rectangle as a piece to save: like CopyRectangle's copy (metadata, colour profile
// and resolution included), but sharing the picture's pixels where the library can, so that it
// costs next to no memory. It must not outlive `picture`, nor be written to.
Picture PieceOf(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom);

// The same rectangle given by its top-left corner and its size.
Picture CopyArea(FIBITMAP* picture, int32_t left, int32_t top, int32_t width, int32_t height);
