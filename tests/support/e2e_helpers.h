// Small helpers for the tests that run the real program on files of their own.
#pragma once

#include <FreeImage.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/pictures.h"
#include "support/run_program.h"

namespace testing_support {

using Names = std::vector<std::string>;

// Command-line arguments in brackets, for the trace of a failed case.
std::string DescribeArgs(const std::vector<std::string>& args);

// The bytes of a picture of `kind` as the library writes it to a file of `extension`'s format.
std::string PictureBytes(Kind kind, unsigned width, unsigned height, const std::string& extension,
                         int flags = 0);

// A JPEG picture (`jpeg`, else a small one) with an APP1 segment holding `block` right after
// its start marker.
std::string JpegWithApp1(const std::string& block, std::string jpeg = {});

// The same with an EXIF block whose TIFF structure is little-endian and starts its first
// directory at 8, where `rest` begins.
std::string JpegWithExif(const std::string& rest, std::string jpeg = {});

// A 1024 x 768 JPEG laid out as cameras and phones write them: an EXIF block whose second
// directory holds a decodable JPEG thumbnail of `width` x `height` (progressive, as the photo,
// when asked), and a second, smaller picture after the first, as phones add a preview.
std::string CameraJpeg(unsigned width, unsigned height, bool progressive);

// Runs build/dolvane in `dir`, optionally with a limit on the bytes per file it may write.
RunResult RunIn(const TempDir& dir, const std::vector<std::string>& args,
                long long fileSizeLimit = -1);

// A run that wrote every piece it had to ends quietly with 0; one that could not write a piece
// names the first such piece (`notWritten`) in a warning box and ends with 1. Nothing goes to
// standard output.
void ExpectSaveOutcome(const RunResult& r, const std::string& notWritten);

// Writes `picture` to dir/name and returns what the file holds: the reference that pieces cut
// from that file are compared with.
Picture Place(const TempDir& dir, FIBITMAP* picture, const std::string& name);

// A piece that must be on disk: its name and its place in the source picture.
struct WrittenPiece {
  std::string name;
  unsigned left, top, width, height;
};

// Checks a piece in `dir` against its area of `source`: a JPEG one for its size only (its pixels
// are not the source's), every other one pixel by pixel.
void ExpectWritten(const TempDir& dir, FIBITMAP* source, const WrittenPiece& piece);

// What a picture file holds, as the library reads it back by its content.
struct FileShape {
  bool readable = false;
  FREE_IMAGE_FORMAT format = FIF_UNKNOWN;  // from the content, not the name
  FREE_IMAGE_TYPE type = FIT_UNKNOWN;
  FREE_IMAGE_COLOR_TYPE colorType = FIC_RGB;
  unsigned width = 0;
  unsigned height = 0;
  unsigned bpp = 0;
};
FileShape ShapeOf(const std::string& path);

// Success when the picture file at `path` is `width` x `height` and equals, pixel by pixel and
// with alpha, the rectangle of `whole` at (left, top).
::testing::AssertionResult FileHoldsArea(const std::string& path, FIBITMAP* whole, unsigned left,
                                         unsigned top, unsigned width, unsigned height);

// The permission bits of a file; 0 when it does not exist.
mode_t PermissionsOf(const std::string& path);

// The name of a grid tile: `base`, "-rr-cc" and `extension`.
std::string TileName(const std::string& base, int row, int col, const std::string& extension);

// The tile names of a rows x cols grid in the order they are written: row by row.
std::vector<std::string> TilesInOrder(const std::string& base, int rows, int cols,
                                      const std::string& extension);

// The given names, sorted, as ListDir gives them.
std::vector<std::string> SortedNames(std::vector<std::string> names);

// Fills a rectangle (counted from the top-left as displayed) of a 32-bit picture with one colour
// and alpha.
void FillRgba32(FIBITMAP* picture, unsigned left, unsigned top, unsigned width, unsigned height,
                BYTE red, BYTE green, BYTE blue, BYTE alpha);

// The same for a picture of 16 bits per channel with alpha.
void FillRgba16(FIBITMAP* picture, unsigned left, unsigned top, unsigned width, unsigned height,
                WORD red, WORD green, WORD blue, WORD alpha);

// The smallest and largest channel value (red, green and blue) over a rectangle of a 24 or
// 32-bit picture.
struct ChannelRange {
  unsigned lowest = 255;
  unsigned highest = 0;
};
ChannelRange ChannelsOver(FIBITMAP* picture, unsigned left, unsigned top, unsigned width,
                          unsigned height);

}  // namespace testing_support
