#include "cutter/two_piece_cut.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "cutter/picture_files.h"
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

  const char* notWritten = nullptr;
  if (!IsSkipped(firstName)) {
    Picture piece = wide ? CopyRectangle(picture.get(), 0, 0, p, height)
                         : CopyRectangle(picture.get(), 0, 0, width, p);
    if (!SavePicture(piece.get(), firstName, saveFlags)) {
      notWritten = firstName;
    }
  }
  if (!IsSkipped(restName)) {
    Picture piece = wide ? CopyRectangle(picture.get(), p, 0, width, height)
                         : CopyRectangle(picture.get(), 0, p, width, height);
    if (!SavePicture(piece.get(), restName, saveFlags) && notWritten == nullptr) {
      notWritten = restName;
    }
  }
  if (notWritten != nullptr) {
    FatalMessageF("Couldn't save file: %s", notWritten);
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
