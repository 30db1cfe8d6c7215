// A picture's geometry, as stored and as shown, and the turn from one to the other.
#include "cutter/pictures/picture_geometry.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "cutter/pictures/picture_copies.h"

namespace {

// How a shown pixel (x, y) is found among the stored ones: across and down first trade places
// when `turned`, then each stored axis may run backwards.
struct Turn {
  bool turned, backAcross, backDown;
};

Turn TurnOf(unsigned orientation) {
  constexpr Turn kTurns[] = {
      {false, false, false},  // 1: as stored
      {false, true, false},   // 2: mirrored left to right
      {false, true, true},    // 3: turned half round
      {false, false, true},   // 4: mirrored top to bottom
      {true, false, false},   // 5: mirrored along the top-left diagonal
      {true, false, true},    // 6: turned a quarter clockwise
      {true, true, true},     // 7: mirrored along the other diagonal
      {true, true, false},    // 8: turned a quarter anticlockwise
  };
  return orientation >= 1 && orientation <= 8 ? kTurns[orientation - 1] : kTurns[0];
}

// [from, to) along an axis of `size` pixels, run backwards when `back`.
std::pair<int64_t, int64_t> Span(int64_t from, int64_t to, int64_t size, bool back) {
  return back ? std::pair{size - to, size - from} : std::pair{from, to};
}

// Copies `count` pixels of `bytes` each (`kBytes` when known at compile time, which is much
// faster) from `step` bytes apart into a row.
template <size_t kBytes>
void CopyRun(const BYTE* from, std::ptrdiff_t step, BYTE* to, unsigned count, size_t bytes) {
  for (unsigned x = 0; x < count; ++x, from += step, to += bytes) {
    std::memcpy(to, from, kBytes != 0 ? kBytes : bytes);
  }
}

}  // namespace

PictureGeometry GeometryOf(FIBITMAP* picture) {
  return {FreeImage_GetWidth(picture), FreeImage_GetHeight(picture),
          FreeImage_GetDotsPerMeterX(picture), FreeImage_GetDotsPerMeterY(picture),
          OrientationOf(picture)};
}

unsigned OrientationOf(FIBITMAP* picture) {
  FITAG* tag = nullptr;
  if (!FreeImage_GetMetadata(FIMD_EXIF_MAIN, picture, "Orientation", &tag) || tag == nullptr ||
      FreeImage_GetTagType(tag) != FIDT_SHORT || FreeImage_GetTagCount(tag) < 1 ||
      FreeImage_GetTagValue(tag) == nullptr) {
    return 1;
  }
  const unsigned value = *static_cast<const WORD*>(FreeImage_GetTagValue(tag));
  return value >= 1 && value <= 8 ? value : 1;
}

PictureGeometry AsShown(const PictureGeometry& stored) {
  PictureGeometry shown = stored;
  if (TurnOf(stored.orientation).turned) {
    std::swap(shown.width, shown.height);
    std::swap(shown.dotsPerMetreX, shown.dotsPerMetreY);
  }
  return shown;
}

PictureRectangle StoredRectangle(const PictureGeometry& stored, const PictureRectangle& shown) {
  const Turn turn = TurnOf(stored.orientation);
  const auto [left, right] =
      Span(turn.turned ? shown.top : shown.left, turn.turned ? shown.bottom : shown.right,
           stored.width, turn.backAcross);
  const auto [top, bottom] =
      Span(turn.turned ? shown.left : shown.top, turn.turned ? shown.right : shown.bottom,
           stored.height, turn.backDown);
  return {left, top, right, bottom};
}

Picture Upright(FIBITMAP* picture, unsigned orientation) {
  const Turn turn = TurnOf(orientation);
  const unsigned width = FreeImage_GetWidth(picture);
  const unsigned height = FreeImage_GetHeight(picture);
  const unsigned bpp = FreeImage_GetBPP(picture);
  const unsigned shownWidth = turn.turned ? height : width;
  const unsigned shownHeight = turn.turned ? width : height;
  Picture shown(FreeImage_AllocateT(FreeImage_GetImageType(picture), static_cast<int>(shownWidth),
                                    static_cast<int>(shownHeight), static_cast<int>(bpp),
                                    FreeImage_GetRedMask(picture), FreeImage_GetGreenMask(picture),
                                    FreeImage_GetBlueMask(picture)));
  if (!shown || !FreeImage_CloneMetadata(shown.get(), picture) ||
      !KeepColourProfile(picture, shown.get())) {
    return nullptr;
  }
  if (const unsigned colours = FreeImage_GetColorsUsed(picture); colours > 0) {
    std::memcpy(FreeImage_GetPalette(shown.get()), FreeImage_GetPalette(picture),
                colours * sizeof(RGBQUAD));
  }
  FreeImage_SetTransparencyTable(shown.get(), FreeImage_GetTransparencyTable(picture),
                                 static_cast<int>(FreeImage_GetTransparencyCount(picture)));
  FreeImage_SetTransparent(shown.get(), FreeImage_IsTransparent(picture));
  if (RGBQUAD background; FreeImage_GetBackgroundColor(picture, &background)) {
    FreeImage_SetBackgroundColor(shown.get(), &background);
  }
  const PictureGeometry upright = AsShown(GeometryOf(picture));
  FreeImage_SetDotsPerMeterX(shown.get(), upright.dotsPerMetreX);
  FreeImage_SetDotsPerMeterY(shown.get(), upright.dotsPerMetreY);
  FreeImage_SetMetadata(FIMD_EXIF_MAIN, shown.get(), "Orientation", nullptr);
  FreeImage_SetMetadata(FIMD_EXIF_RAW, shown.get(), nullptr, nullptr);

  // The stored column and scan line (counted from the bottom) of shown pixel (x, y).
  const auto storedAt = [&](unsigned x, unsigned y) {
    const unsigned u = turn.turned ? y : x;
    const unsigned v = turn.turned ? x : y;
    return std::pair{turn.backAcross ? width - 1 - u : u, turn.backDown ? v : height - 1 - v};
  };
  if (bpp % 8 != 0) {
    // Pixels smaller than a byte: one by one, by their palette index.
    for (unsigned y = 0; y < shownHeight; ++y) {
      for (unsigned x = 0; x < shownWidth; ++x) {
        const auto [across, line] = storedAt(x, y);
        BYTE index = 0;
        FreeImage_GetPixelIndex(picture, across, line, &index);
        FreeImage_SetPixelIndex(shown.get(), x, shownHeight - 1 - y, &index);
      }
    }
    return shown;
  }
  // Along a shown row the stored pixels lie on a line: a fixed step in bytes apart.
  const size_t bytes = bpp / 8;
  const auto at = [&](std::pair<unsigned, unsigned> pixel) {
    return FreeImage_GetScanLine(picture, static_cast<int>(pixel.second)) + pixel.first * bytes;
  };
  const std::ptrdiff_t step = shownWidth > 1 ? at(storedAt(1, 0)) - at(storedAt(0, 0)) : 0;
  for (unsigned y = 0; y < shownHeight; ++y) {
    const BYTE* from = at(storedAt(0, y));
    BYTE* to = FreeImage_GetScanLine(shown.get(), static_cast<int>(shownHeight - 1 - y));
    switch (bytes) {
      case 1:
        CopyRun<1>(from, step, to, shownWidth, bytes);
        break;
      case 3:
        CopyRun<3>(from, step, to, shownWidth, bytes);
        break;
      case 4:
        CopyRun<4>(from, step, to, shownWidth, bytes);
        break;
      default:
        CopyRun<0>(from, step, to, shownWidth, bytes);
    }
  }
  return shown;
}
