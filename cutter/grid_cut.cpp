#include "cutter/grid_cut.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "cutter/picture_files.h"
#include "util/messages.h"
#include "util/strings_and_paths.h"

namespace {

// Base, row, column, extension: photo-01-02.jpg.
constexpr char kTileName[] = "%s-%02d-%02d%s";

// The names of a grid's tiles, formed one at a time in one buffer sized for the longest name,
// so that no name is ever cut.
class TileNames {
 public:
  TileNames(const char* base, const char* extension, int32_t rows, int32_t cols)
      : base_(base), extension_(extension) {
    // The last tile has the most digits, so its name is the longest.
    int longest = std::snprintf(nullptr, 0, kTileName, base, rows, cols, extension);
    if (longest >= 0) {
      size_ = static_cast<size_t>(longest) + 1;
      buffer_.reset(new (std::nothrow) char[size_]);
    }
    if (!buffer_) {
      FatalMessageF("out of memory");
    }
  }

  const char* For(int64_t row, int64_t col) {
    std::snprintf(buffer_.get(), size_, kTileName, base_, static_cast<int>(row),
                  static_cast<int>(col), extension_);
    return buffer_.get();
  }

 private:
  const char* base_;
  const char* extension_;
  size_t size_ = 0;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace

int CutGrid(const char* fileName, int32_t rows, int32_t cols, int32_t saveFlags) {
  Picture picture = LoadPicture(fileName);
  if (rows <= 0 || cols <= 0) {
    return 0;
  }
  int64_t tileWidth = FreeImage_GetWidth(picture.get()) / static_cast<unsigned>(cols);
  int64_t tileHeight = FreeImage_GetHeight(picture.get()) / static_cast<unsigned>(rows);

  // The load accepted the name, so its extension is one of ours, in the case it was typed.
  const char* extension = PathExtension(fileName);
  std::unique_ptr<char[]> base(StrDup(fileName));
  base[std::strlen(fileName) - std::strlen(extension)] = '\0';
  TileNames names(base.get(), extension, rows, cols);

  if (tileWidth == 0 || tileHeight == 0) {
    // Every tile would be empty; trying them one by one could take millions of steps.
    FatalMessageF("Couldn't save file: %s", names.For(1, 1));
  }
  int64_t failedRow = 0;
  int64_t failedCol = 0;
  for (int64_t r = 1; r <= rows; ++r) {
    for (int64_t c = 1; c <= cols; ++c) {
      const char* name = names.For(r, c);
      Picture tile = CopyRectangle(picture.get(), (c - 1) * tileWidth, (r - 1) * tileHeight,
                                   c * tileWidth, r * tileHeight);
      if (!SavePicture(tile.get(), name, saveFlags) && failedRow == 0) {
        failedRow = r;
        failedCol = c;
      }
    }
  }
  if (failedRow != 0) {
    FatalMessageF("Couldn't save file: %s", names.For(failedRow, failedCol));
  }
  return 0;
}
