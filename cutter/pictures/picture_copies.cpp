// Copies of a picture: its rectangles, and converted copies that keep its colour profile.
#include "cutter/pictures/picture_copies.h"

namespace {

// Whether the rectangle lies inside the picture and holds a pixel. The library swaps a reversed
// rectangle; an empty or reversed one is no piece here.
bool IsPieceOf(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return left >= 0 && top >= 0 && right <= int64_t{FreeImage_GetWidth(picture)} &&
         bottom <= int64_t{FreeImage_GetHeight(picture)} && left < right && top < bottom;
}

}  // namespace

Picture CopyRectangle(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (!IsPieceOf(picture, left, top, right, bottom)) {
    return nullptr;
  }
  return Picture(FreeImage_Copy(picture, static_cast<int>(left), static_cast<int>(top),
                                static_cast<int>(right), static_cast<int>(bottom)));
}

Picture PieceOf(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (!IsPieceOf(picture, left, top, right, bottom)) {
    return nullptr;
  }
  // A view of 1- and 4-bit pixels must start on a whole byte; those pieces are copied.
  Picture view(FreeImage_CreateView(picture, static_cast<unsigned>(left),
                                    static_cast<unsigned>(top), static_cast<unsigned>(right),
                                    static_cast<unsigned>(bottom)));
  if (!view || !FreeImage_CloneMetadata(view.get(), picture)) {
    return CopyRectangle(picture, left, top, right, bottom);
  }
  return view;
}

Picture CopyArea(FIBITMAP* picture, int32_t left, int32_t top, int32_t width, int32_t height) {
  return CopyRectangle(picture, left, top, int64_t{left} + width, int64_t{top} + height);
}

// The library's conversions return copies without the colour profile.
bool KeepColourProfile(FIBITMAP* from, FIBITMAP* to) {
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(from);
  if (profile->data == nullptr || profile->size == 0 || FreeImage_GetICCProfile(to)->data) {
    return true;
  }
  FIICCPROFILE* copy =
      FreeImage_CreateICCProfile(to, profile->data, static_cast<long>(profile->size));
  if (copy == nullptr || copy->data == nullptr) {
    return false;
  }
  copy->flags = profile->flags;
  return true;
}
