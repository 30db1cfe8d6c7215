#include "cutter/two_piece_cut.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "cutter/picture_files.h"
#include "cutter/piece_writers.h"
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

  Picture picture = LoadPicture(input);
  int64_t width = FreeImage_GetWidth(picture.get());
  int64_t height = FreeImage_GetHeight(picture.get());
  bool wide = axis == Axis::kWidth;
  unsigned dotsPerMetre =
      wide ? FreeImage_GetDotsPerMeterX(picture.get()) : FreeImage_GetDotsPerMeterY(picture.get());
  auto dimension = static_cast<int32_t>(std::min<int64_t>(wide ? width : height, INT32_MAX));
  int64_t p = SizeToPixels(sizeText, dimension, DotsPerInch(dotsPerMetre));

  struct Piece {
    const char* name;
    int64_t left, top, right, bottom;
  };
  Piece pieces[2];
  int count = 0;
  bool namesAccepted = true;
  if (!IsSkipped(firstName)) {
    pieces[count++] = wide ? Piece{firstName, 0, 0, p, height} : Piece{firstName, 0, 0, width, p};
  }
  if (!IsSkipped(restName)) {
    pieces[count++] =
        wide ? Piece{restName, p, 0, width, height} : Piece{restName, 0, p, width, height};
  }
  for (int i = 0; i < count; ++i) {
    namesAccepted = namesAccepted && FormatForName(pieces[i].name) != FIF_UNKNOWN;
  }
  // A refused name ends the process once the pieces before it are written, which only the
  // calling thread may do: then the pieces are written one after the other.
  PieceWriters writers(count, namesAccepted ? 2 : 1);
  const int64_t failed =
      writers.Run([&](unsigned /*worker*/, int64_t index, const BeforeMove& beforeMove) {
        const Piece& piece = pieces[index];
        Picture picturePiece =
            PieceOf(picture.get(), piece.left, piece.top, piece.right, piece.bottom);
        return SavePicture(picturePiece.get(), piece.name, saveFlags, beforeMove);
      });
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
