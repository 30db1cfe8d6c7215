#include "support/e2e_helpers.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "support/crafted_bytes.h"
#include "support/pictures.h"

namespace testing_support {
namespace {

// Scan lines are stored bottom-up; y counts from the top.
BYTE* LineFromTop(FIBITMAP* picture, unsigned y) {
  return FreeImage_GetScanLine(picture, static_cast<int>(FreeImage_GetHeight(picture) - 1 - y));
}

bool IsJpegName(std::string name) {
  for (char& c : name) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return name.ends_with(".jpg") || name.ends_with(".jpeg");
}

}  // namespace

std::string DescribeArgs(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) {
    text += "[" + a + "] ";
  }
  return text;
}

RunResult RunIn(const TempDir& dir, const std::vector<std::string>& args, long long fileSizeLimit) {
  return RunDolvane(args, RunOptions{dir.path(), fileSizeLimit});
}

void ExpectSaveOutcome(const RunResult& r, const std::string& notWritten) {
  EXPECT_EQ(r.out, "");
  if (notWritten.empty()) {
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, WarningBox("Couldn't save file: " + notWritten));
  }
}

Picture Place(const TempDir& dir, FIBITMAP* picture, const std::string& name) {
  WritePicture(picture, dir / name);
  Picture stored = ReadPicture(dir / name);
  EXPECT_TRUE(stored) << "cannot read back " << name;
  return stored;
}

std::string PictureBytes(Kind kind, unsigned width, unsigned height, const std::string& extension,
                         int flags) {
  TempDir dir;
  const std::string path = dir / ("whole" + extension);
  WritePicture(MakePicture(kind, width, height).get(), path, flags);
  return ReadBytes(path);
}

std::string JpegWithApp1(const std::string& block, std::string jpeg) {
  jpeg = jpeg.empty() ? PictureBytes(Kind::kRgb24, 16, 16, ".jpg") : jpeg;
  return jpeg.substr(0, 2) + Segment('\xE1', block) + jpeg.substr(2);
}

std::string JpegWithExif(const std::string& rest, std::string jpeg) {
  return JpegWithApp1(std::string("Exif\0\0II*\0", 10) + LittleEndian(8, 4) + rest,
                      std::move(jpeg));
}

std::string CameraJpeg(unsigned width, unsigned height, bool progressive) {
  // A smooth thumbnail at a camera's low quality: even 1600 x 1200 of it fits one segment.
  Picture preview(FreeImage_Rescale(MakePicture(Kind::kRgb24, 8, 6).get(), static_cast<int>(width),
                                    static_cast<int>(height), FILTER_BILINEAR));
  const int flags = progressive ? JPEG_PROGRESSIVE : 0;
  TempDir dir;
  WritePicture(preview.get(), dir / "thumbnail.jpg", flags | 30);
  const std::string thumbnail = ReadBytes(dir / "thumbnail.jpg");
  // The first directory names the camera and links to the second, which points at the thumbnail.
  const std::string make("Dolvane Camera\0", 15);
  const uint32_t second = 8 + 2 + 12 + 4;
  const uint32_t makeAt = second + 2 + 3 * 12 + 4;
  const auto thumbnailAt = static_cast<uint32_t>(makeAt + make.size());
  const std::string exif =
      std::string("Exif\0\0II*\0", 10) + LittleEndian(8, 4) + LittleEndian(1, 2) +
      ExifEntry(0x010F, kAscii, 15, makeAt) + LittleEndian(second, 4) + LittleEndian(3, 2) +
      ExifEntry(0x0103, kShort, 1, 6) + ExifEntry(0x0201, kLong, 1, thumbnailAt) +
      ExifEntry(0x0202, kLong, 1, static_cast<uint32_t>(thumbnail.size())) + LittleEndian(0, 4) +
      make + thumbnail;
  EXPECT_LE(exif.size(), 65533u) << "the thumbnail does not fit one segment";
  const std::string jpeg = PictureBytes(Kind::kRgb24, 1024, 768, ".jpg", flags | 92);
  return jpeg.substr(0, 2) + Segment('\xE1', exif) + jpeg.substr(2) +
         PictureBytes(Kind::kRgb24, 64, 48, ".jpg");
}

void ExpectWritten(const TempDir& dir, FIBITMAP* source, const WrittenPiece& piece) {
  SCOPED_TRACE(piece.name);
  if (IsJpegName(piece.name)) {
    FileShape shape = ShapeOf(dir / piece.name);
    EXPECT_EQ(shape.format, FIF_JPEG);
    EXPECT_EQ(shape.width, piece.width);
    EXPECT_EQ(shape.height, piece.height);
  } else {
    EXPECT_TRUE(
        FileHoldsArea(dir / piece.name, source, piece.left, piece.top, piece.width, piece.height));
  }
}

FileShape ShapeOf(const std::string& path) {
  FileShape shape;
  shape.format = FreeImage_GetFileType(path.c_str(), 0);
  Picture picture = ReadPicture(path);
  if (!picture) {
    return shape;
  }
  shape.readable = true;
  shape.type = FreeImage_GetImageType(picture.get());
  shape.colorType = FreeImage_GetColorType(picture.get());
  shape.width = FreeImage_GetWidth(picture.get());
  shape.height = FreeImage_GetHeight(picture.get());
  shape.bpp = FreeImage_GetBPP(picture.get());
  return shape;
}

::testing::AssertionResult FileHoldsArea(const std::string& path, FIBITMAP* whole, unsigned left,
                                         unsigned top, unsigned width, unsigned height) {
  Picture piece = ReadPicture(path);
  if (!piece) {
    return ::testing::AssertionFailure() << path << " is not a readable picture";
  }
  unsigned w = FreeImage_GetWidth(piece.get()), h = FreeImage_GetHeight(piece.get());
  if (w != width || h != height) {
    return ::testing::AssertionFailure()
           << path << " is " << w << " x " << h << ", expected " << width << " x " << height;
  }
  std::string why;
  if (!SameAsArea(piece.get(), whole, left, top, &why)) {
    return ::testing::AssertionFailure() << path << ": " << why;
  }
  return ::testing::AssertionSuccess();
}

mode_t PermissionsOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::vector<std::string> SortedNames(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

void FillRgba32(FIBITMAP* picture, unsigned left, unsigned top, unsigned width, unsigned height,
                BYTE red, BYTE green, BYTE blue, BYTE alpha) {
  ASSERT_EQ(FreeImage_GetBPP(picture), 32u);
  for (unsigned y = top; y < top + height; ++y) {
    BYTE* line = LineFromTop(picture, y);
    for (unsigned x = left; x < left + width; ++x) {
      line[x * 4 + FI_RGBA_RED] = red;
      line[x * 4 + FI_RGBA_GREEN] = green;
      line[x * 4 + FI_RGBA_BLUE] = blue;
      line[x * 4 + FI_RGBA_ALPHA] = alpha;
    }
  }
}

void FillRgba16(FIBITMAP* picture, unsigned left, unsigned top, unsigned width, unsigned height,
                WORD red, WORD green, WORD blue, WORD alpha) {
  ASSERT_EQ(FreeImage_GetImageType(picture), FIT_RGBA16);
  for (unsigned y = top; y < top + height; ++y) {
    FIRGBA16* line = reinterpret_cast<FIRGBA16*>(LineFromTop(picture, y));
    for (unsigned x = left; x < left + width; ++x) {
      line[x] = FIRGBA16{red, green, blue, alpha};
    }
  }
}

ChannelRange ChannelsOver(FIBITMAP* picture, unsigned left, unsigned top, unsigned width,
                          unsigned height) {
  ChannelRange range;
  for (unsigned y = top; y < top + height; ++y) {
    for (unsigned x = left; x < left + width; ++x) {
      uint32_t pixel = PixelAt(picture, x, y);
      for (unsigned shift : {16u, 8u, 0u}) {
        unsigned channel = (pixel >> shift) & 0xFF;
        range.lowest = std::min(range.lowest, channel);
        range.highest = std::max(range.highest, channel);
      }
    }
  }
  return range;
}

std::string TileName(const std::string& base, int row, int col, const std::string& extension) {
  char numbers[32];
  std::snprintf(numbers, sizeof numbers, "-%02d-%02d", row, col);
  return base + numbers + extension;
}

std::vector<std::string> TilesInOrder(const std::string& base, int rows, int cols,
                                      const std::string& extension) {
  std::vector<std::string> names;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      names.push_back(TileName(base, r, c, extension));
    }
  }
  return names;
}

}  // namespace testing_support
