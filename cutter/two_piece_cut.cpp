// Cutting a picture in two at a size: a first piece and the rest.
#include "cutter/two_piece_cut.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "cutter/pictures/picture_formats.h"
#include "cutter/pictures/picture_geometry.h"
#include "cutter/piece_cut.h"
#include "cutter/size_measures.h"
#include "util/messages.h"

namespace {

enum class Axis { kWidth, kHeight };

constexpr char kSkip[] = "-";

bool IsSkipped(const char* name) {
  return std::strcmp(name, kSkip) == 0;
}

int CutInTwo(Axis axis, int nameCount, const char* const* names, const char* sizeText,
             int32_t saveFlags) {
  if (nameCount < 1 || nameCount > 3) {
    return kWrongNameCount;
  }
  const char* input = names[0];
  const char* firstName = (nameCount == 1) ? names[0] : names[1];
  const char* restName = (nameCount == 3) ? names[2] : kSkip;

  struct Piece {
    const char* name;
    bool rest;  // the piece after the cut, else the one before it
    PictureRectangle rectangle;
  };
  Piece pieces[2];
  int count = 0;
  bool namesAccepted = true;
  const char* const both[] = {firstName, restName};
  for (int k = 0; k < 2; ++k) {
    if (!IsSkipped(both[k])) {
      pieces[count++] = {both[k], k == 1, {}};
      namesAccepted = namesAccepted && FormatForName(both[k]) != FIF_UNKNOWN;
    }
  }
  const bool wide = axis == Axis::kWidth;
  // A refused name ends the process once the pieces before it are written, which only the
  // calling thread may do: then the pieces are written one after the other, once the picture is
  // whole.
  PieceCut cut(
      saveFlags, namesAccepted ? 2 : 1,
      [&](const PictureGeometry& picture) {
        const int64_t width = picture.width;
        const int64_t height = picture.height;
        const unsigned dotsPerMetre = wide ? picture.dotsPerMetreX : picture.dotsPerMetreY;
        const auto dimension =
            static_cast<int32_t>(std::min<int64_t>(wide ? width : height, INT32_MAX));
        const int64_t p = SizeToPixels(sizeText, dimension, DotsPerInch(dotsPerMetre));
        const PictureRectangle first =
            wide ? PictureRectangle{0, 0, p, height} : PictureRectangle{0, 0, width, p};
        const PictureRectangle rest =
            wide ? PictureRectangle{p, 0, width, height} : PictureRectangle{0, p, width, height};
        for (int i = 0; i < count; ++i) {
          pieces[i].rectangle = pieces[i].rest ? rest : first;
        }
        return int64_t{count};
      },
      [&](int64_t index) { return pieces[index].rectangle; },
      [&](unsigned /*worker*/, int64_t index) { return pieces[index].name; });
  Picture picture = cut.Load(input);
  const int64_t failed = cut.Write(picture.get());
  if (failed >= 0) {
    FatalMessageF("Couldn't save file: %s", pieces[failed].name);
  }
  return 0;
}

}  // namespace

int CutWide(int nameCount, const char* const* names, const char* sizeText, int32_t saveFlags) {
  return CutInTwo(Axis::kWidth, nameCount, names, sizeText, saveFlags);
}

int CutHigh(int nameCount, const char* const* names, const char* sizeText, int32_t saveFlags) {
  return CutInTwo(Axis::kHeight, nameCount, names, sizeText, saveFlags);
}
