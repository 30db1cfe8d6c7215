// Cutting a picture into a grid of equal tiles, named by row and column.
#include "cutter/grid_cut.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "cutter/pictures/picture_geometry.h"
#include "cutter/piece_cut.h"
#include "cutter/piece_writers.h"
#include "platform/platform.h"
#include "util/messages.h"
#include "util/strings_and_paths.h"

namespace {

// Base, row, column, extension: photo-01-02.jpg.
constexpr char kTileName[] = "%s-%02d-%02d%s";

// The names of a grid's tiles, formed one at a time in a buffer of each worker's, sized for the
// longest name so that no name is ever cut.
class TileNames {
 public:
  TileNames(const char* base, const char* extension, int32_t rows, int32_t cols, unsigned workers)
      : base_(base), extension_(extension), buffers_(workers) {
    // The last tile has the most digits, so its name is the longest.
    const int longest = std::snprintf(nullptr, 0, kTileName, base, rows, cols, extension);
    size_ = longest >= 0 ? static_cast<size_t>(longest) + 1 : 0;
    for (std::unique_ptr<char[]>& buffer : buffers_) {
      if (size_ > 0) {
        buffer.reset(new (std::nothrow) char[size_]);
      }
      if (!buffer) {
        FatalMessageF("out of memory");
      }
    }
  }

  const char* For(unsigned worker, int64_t row, int64_t col) {
    char* buffer = buffers_[worker].get();
    std::snprintf(buffer, size_, kTileName, base_, static_cast<int>(row), static_cast<int>(col),
                  extension_);
    return buffer;
  }

 private:
  const char* base_;
  const char* extension_;
  size_t size_ = 0;
  std::vector<std::unique_ptr<char[]>> buffers_;
};

}  // namespace

int CutGrid(const char* fileName, int32_t rows, int32_t cols, int32_t saveFlags) {
  // The load accepts the name only with one of our extensions, in the case it was typed; no tile
  // is named before that.
  const char* extension = PathExtension(fileName);
  std::unique_ptr<char[]> base(StrDup(fileName));
  base[std::strlen(fileName) - std::strlen(extension)] = '\0';
  const int64_t tiles = rows > 0 && cols > 0 ? int64_t{rows} * cols : 0;
  TileNames names(base.get(), extension, rows, cols,
                  PieceWriters::WorkersFor(tiles, platform::kMostWritingThreads));

  // Tiles go row by row, each row from the left: tile i is in row i / cols, column i % cols.
  int64_t tileWidth = 0;
  int64_t tileHeight = 0;
  PieceCut cut(
      saveFlags, platform::kMostWritingThreads,
      [&](const PictureGeometry& picture) {
        tileWidth = tiles > 0 ? picture.width / static_cast<unsigned>(cols) : 0;
        tileHeight = tiles > 0 ? picture.height / static_cast<unsigned>(rows) : 0;
        return tileWidth > 0 && tileHeight > 0 ? tiles : 0;
      },
      [&](int64_t index) {
        const int64_t r = index / cols;
        const int64_t c = index % cols;
        return PictureRectangle{c * tileWidth, r * tileHeight, (c + 1) * tileWidth,
                                (r + 1) * tileHeight};
      },
      [&](unsigned worker, int64_t index) {
        return names.For(worker, index / cols + 1, index % cols + 1);
      });
  Picture picture = cut.Load(fileName);
  if (tiles == 0) {
    return 0;
  }
  const PictureGeometry shown = picture ? AsShown(GeometryOf(picture.get())) : PictureGeometry{};
  if (picture &&
      (shown.width < static_cast<unsigned>(cols) || shown.height < static_cast<unsigned>(rows))) {
    // Every tile would be empty; trying them one by one could take millions of steps.
    FatalMessageF("Couldn't save file: %s", names.For(0, 1, 1));
  }
  const int64_t failed = cut.Write(picture.get());
  if (failed >= 0) {
    FatalMessageF("Couldn't save file: %s", names.For(0, failed / cols + 1, failed % cols + 1));
  }
  return 0;
}
