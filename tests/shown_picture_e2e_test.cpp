// Photos stored sideways with an EXIF orientation, cut by build/dolvane: every piece shows what
// the same rectangle of the photo shows, in a viewer that obeys the tag.
#include <FreeImage.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cutter/picture_orientation.h"
#include "support/crafted_bytes.h"
#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/temp_files.h"

namespace testing_support {
namespace {

// `picture` as a viewer shows it, turned by the library's own rotations and flips (of a 32-bit
// copy: its 24-bit rotation reads misaligned words).
Picture Displayed(FIBITMAP* picture, unsigned orientation) {
  const double quarters[] = {0, 0, 180, 0, 270, 270, 270, 90};
  const Picture wide(FreeImage_ConvertTo32Bits(picture));
  Picture shown(FreeImage_Rotate(wide.get(), quarters[orientation - 1]));
  if (orientation == 2 || orientation == 5) {
    FreeImage_FlipHorizontal(shown.get());
  }
  if (orientation == 4 || orientation == 7) {
    FreeImage_FlipVertical(shown.get());
  }
  return shown;
}

// The mean difference of a channel between `piece` and the rectangle of `whole` at (left, top).
double MeanDifference(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top) {
  double sum = 0;
  const unsigned width = FreeImage_GetWidth(piece);
  const unsigned height = FreeImage_GetHeight(piece);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      const uint32_t a = PixelAt(piece, x, y);
      const uint32_t b = PixelAt(whole, left + x, top + y);
      for (unsigned shift = 0; shift < 24; shift += 8) {
        sum +=
            std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
      }
    }
  }
  return sum / (3.0 * width * height);
}

TEST(ShownPictureE2ETest, PiecesShowTheirRectangleOfThePhotoAsShown) {
  // Stored 251 x 213 at 100 dpi across and 200 dpi down; smooth, so JPEG keeps it close.
  constexpr unsigned kWidth = 251, kHeight = 213, kAcross = 3937, kDown = 7874;
  Picture stored(FreeImage_Allocate(kWidth, kHeight, 24));
  for (unsigned y = 0; y < kHeight; ++y) {
    BYTE* line = FreeImage_GetScanLine(stored.get(), static_cast<int>(kHeight - 1 - y));
    for (unsigned x = 0; x < kWidth; ++x, line += 3) {
      line[FI_RGBA_RED] = static_cast<BYTE>(x * 255 / kWidth);
      line[FI_RGBA_GREEN] = static_cast<BYTE>(y * 255 / kHeight);
      line[FI_RGBA_BLUE] = static_cast<BYTE>((x + y) * 255 / (kWidth + kHeight));
    }
  }
  FreeImage_SetDotsPerMeterX(stored.get(), kAcross);
  FreeImage_SetDotsPerMeterY(stored.get(), kDown);
  TempDir made;
  WritePicture(stored.get(), made / "photo.jpg", 95);
  const std::string jpeg = ReadBytes(made / "photo.jpg");

  // Each job: its arguments, and its pieces' names and rectangles of the photo as shown,
  // w x h pixels at `dpi` across and down.
  using Pieces = std::vector<std::pair<std::string, PictureRectangle>>;
  const struct {
    Names args;
    std::function<Pieces(int64_t w, int64_t h, std::pair<int64_t, int64_t> dpi)> pieces;
  } kJobs[] = {
      {{"-w", "30%", "photo.jpg", "left.jpg", "right.png"},
       [](int64_t w, int64_t h, auto) {
         return Pieces{{"left.jpg", {0, 0, w * 3 / 10, h}}, {"right.png", {w * 3 / 10, 0, w, h}}};
       }},
      {{"-h", "45%", "photo.jpg", "top.jpg", "bottom.jpg"},
       [](int64_t w, int64_t h, auto) {
         return Pieces{{"top.jpg", {0, 0, w, h * 45 / 100}},
                       {"bottom.jpg", {0, h * 45 / 100, w, h}}};
       }},
      {{"-g", "2", "3", "photo.jpg"},
       [](int64_t w, int64_t h, auto) {
         Pieces tiles;
         for (int64_t r = 0; r < 2; ++r) {
           for (int64_t c = 0; c < 3; ++c) {
             tiles.push_back(
                 {TileName("photo", static_cast<int>(r + 1), static_cast<int>(c + 1), ".jpg"),
                  {c * (w / 3), r * (h / 2), (c + 1) * (w / 3), (r + 1) * (h / 2)}});
           }
         }
         return tiles;
       }},
      {{"-w", "1in", "photo.jpg", "left.bmp"},
       [](int64_t, int64_t h, auto dpi) {
         return Pieces{{"left.bmp", {0, 0, dpi.first, h}}};
       }},
      {{"-h", "2.54cm", "photo.jpg", "top.png"},
       [](int64_t w, int64_t, auto dpi) {
         return Pieces{{"top.png", {0, 0, w, dpi.second}}};
       }},
  };
  for (unsigned orientation = 1; orientation <= 8; ++orientation) {
    const bool turned = orientation >= 5;
    const std::string photo = JpegWithExif(
        LittleEndian(1, 2) + ExifEntry(0x0112, kShort, 1, orientation) + LittleEndian(0, 4), jpeg);
    for (const auto& job : kJobs) {
      SCOPED_TRACE("orientation " + std::to_string(orientation) + " " + DescribeArgs(job.args));
      TempDir dir;
      WriteBytes(dir / "photo.jpg", photo);
      Picture source = ReadPicture(dir / "photo.jpg");
      ASSERT_TRUE(source);
      const Picture shown = Displayed(source.get(), orientation);
      ExpectSaveOutcome(RunIn(dir, job.args), "");
      const auto dpi =
          turned ? std::pair<int64_t, int64_t>{200, 100} : std::pair<int64_t, int64_t>{100, 200};
      for (const auto& [name, r] :
           job.pieces(FreeImage_GetWidth(shown.get()), FreeImage_GetHeight(shown.get()), dpi)) {
        SCOPED_TRACE(name);
        const auto left = static_cast<unsigned>(r.left), top = static_cast<unsigned>(r.top);
        if (name.ends_with(".jpg")) {
          // The stored rectangle, with the tag: shown, it is the rectangle asked for.
          Picture piece = ReadPicture(dir / name);
          ASSERT_TRUE(piece);
          EXPECT_EQ(OrientationOf(piece.get()), orientation);
          Picture piecesShown = Displayed(piece.get(), orientation);
          ASSERT_EQ(FreeImage_GetWidth(piecesShown.get()), r.right - r.left);
          ASSERT_EQ(FreeImage_GetHeight(piecesShown.get()), r.bottom - r.top);
          EXPECT_LT(MeanDifference(piecesShown.get(), shown.get(), left, top), 1.5);
        } else {
          EXPECT_TRUE(FileHoldsArea(dir / name, shown.get(), left, top,
                                    static_cast<unsigned>(r.right - r.left),
                                    static_cast<unsigned>(r.bottom - r.top)));
          Picture piece = ReadPicture(dir / name);
          EXPECT_EQ(FreeImage_GetDotsPerMeterX(piece.get()), turned ? kDown : kAcross);
        }
      }
    }
  }
}

}  // namespace
}  // namespace testing_support
