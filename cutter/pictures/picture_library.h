// The picture library's start and end, and the owner of every picture it makes.
#pragma once

#include <FreeImage.h>

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
  PictureLibrary();
  ~PictureLibrary() { FreeImage_DeInitialise(); }
  PictureLibrary(const PictureLibrary&) = delete;
  PictureLibrary& operator=(const PictureLibrary&) = delete;
};

// Whether the library, on this thread, has complained of a colour profile since
// ForgetProfileComplaint: libpng names the profile (or its chunk) in every such complaint, and
// then refuses to write the picture.
bool ProfileComplained();
void ForgetProfileComplaint();
