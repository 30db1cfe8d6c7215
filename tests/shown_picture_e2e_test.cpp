// Photos stored sideways with an EXIF orientation, cut by build/dolvane: every piece shows what
// the same rectangle of the photo shows, in a viewer that obeys the tag.
#include <FreeImage.h>

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

TEST(ShownPictureE2ETest, PiecesShowTheirRectangleOfThePhotoAsShown) {
  // Stored 251 x 213 at 100 dpi across and 200 dpi down.
  constexpr unsigned kAcross = 3937, kDown = 7874;
  Picture stored = SmoothPicture(251, 213);
  FreeImage_SetDotsPerMeterX(stored.get(), kAcross);
  FreeImage_SetDotsPerMeterY(stored.get(), kDown);
  TempDir made;
  WritePicture(stored.get(), made / "photo.jpg", 95);
  const std::string jpeg = ReadBytes(made / "photo.jpg");

  for (unsigned orientation = 1; orientation <= 8; ++orientation) {
    const bool turned = orientation >= 5;
    const std::string photo = JpegWithExif(
        LittleEndian(1, 2) + ExifEntry(0x0112, kShort, 1, orientation) + LittleEndian(0, 4), jpeg);
    WriteBytes(made / "photo.jpg", photo);
    Picture source = ReadPicture(made / "photo.jpg");
    ASSERT_TRUE(source);
    const Picture shown = Displayed(source.get(), orientation);
    // Each job, and its pieces' rectangles of the photo as shown: w x h, at 100 dpi across and
    // 200 down as stored.
    const int64_t w = turned ? 213 : 251, h = turned ? 251 : 213, across = turned ? 200 : 100;
    auto tile = [&](int r, int c) {
      return std::pair{
          TileName("photo", r + 1, c + 1, ".jpg"),
          PictureRectangle{c * (w / 3), r * (h / 2), (c + 1) * (w / 3), (r + 1) * (h / 2)}};
    };
    using Pieces = std::vector<std::pair<std::string, PictureRectangle>>;
    const std::pair<Names, Pieces> jobs[] = {
        {{"-w", "30%", "photo.jpg", "left.jpg", "right.png"},
         {{"left.jpg", {0, 0, w * 3 / 10, h}}, {"right.png", {w * 3 / 10, 0, w, h}}}},
        {{"-h", "45%", "photo.jpg", "top.jpg", "bottom.jpg"},
         {{"top.jpg", {0, 0, w, h * 45 / 100}}, {"bottom.jpg", {0, h * 45 / 100, w, h}}}},
        {{"-g", "2", "3", "photo.jpg"},
         {tile(0, 0), tile(0, 1), tile(0, 2), tile(1, 0), tile(1, 1), tile(1, 2)}},
        {{"-w", "1in", "photo.jpg", "left.bmp"}, {{"left.bmp", {0, 0, across, h}}}},
        {{"-h", "2.54cm", "photo.jpg", "top.png"}, {{"top.png", {0, 0, w, 300 - across}}}},
    };
    for (const auto& [args, pieces] : jobs) {
      SCOPED_TRACE("orientation " + std::to_string(orientation) + " " + DescribeArgs(args));
      TempDir dir;
      WriteBytes(dir / "photo.jpg", photo);
      ExpectSaveOutcome(RunIn(dir, args), "");
      for (const auto& [name, r] : pieces) {
        SCOPED_TRACE(name);
        // A JPEG piece is its stored rectangle with the tag; others are turned upright, exactly.
        const bool jpg = name.ends_with(".jpg");
        Picture piece = ReadPicture(dir / name);
        ASSERT_TRUE(piece);
        EXPECT_EQ(OrientationOf(piece.get()), jpg ? orientation : 1);
        EXPECT_EQ(FreeImage_GetDotsPerMeterX(piece.get()), turned && !jpg ? kDown : kAcross);
        Picture piecesShown = Displayed(piece.get(), OrientationOf(piece.get()));
        ASSERT_EQ(FreeImage_GetWidth(piecesShown.get()), r.right - r.left);
        ASSERT_EQ(FreeImage_GetHeight(piecesShown.get()), r.bottom - r.top);
        EXPECT_GT(Psnr(piecesShown.get(), shown.get(), static_cast<unsigned>(r.left),
                       static_cast<unsigned>(r.top)),
                  jpg ? 30 : 140);
      }
    }
  }
}

}  // namespace
}  // namespace testing_support
