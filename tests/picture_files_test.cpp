#include "cutter/pictures/picture_copies.h"
#include "cutter/pictures/picture_encoding.h"
#include "cutter/pictures/picture_loading.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "support/pictures.h"
#include "support/run_program.h"

namespace {

using testing_support::Kind;
using testing_support::MakePicture;
using testing_support::TempDir;

TEST(FormatForName, ExtensionTable) {
  const struct {
    const char* name;
    FREE_IMAGE_FORMAT format;
  } cases[] = {
      {"a.jpg", FIF_JPEG},        {"A.JPG", FIF_JPEG},         {"b.Jpeg", FIF_JPEG},
      {".jpg", FIF_JPEG},         {".jpeg", FIF_JPEG},         {"c.BMP", FIF_BMP},
      {"d.PnG", FIF_PNG},         {"dir.png/x.jpg", FIF_JPEG}, {"jpg", FIF_UNKNOWN},
      {"jpeg", FIF_UNKNOWN},      {"bmp", FIF_UNKNOWN},        {"", FIF_UNKNOWN},
      {"a.jpe", FIF_UNKNOWN},     {"a.gif", FIF_UNKNOWN},      {"a.tif", FIF_UNKNOWN},
      {"a.jpg.txt", FIF_UNKNOWN}, {"a.jpg ", FIF_UNKNOWN},     {"a.\xc4jpg", FIF_UNKNOWN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatForName(c.name), c.format) << "[" << c.name << "]";
  }
}

TEST(LoadPicture, RefusalsEndTheProcess) {
  EXPECT_EXIT(LoadPicture("jpg"), testing::ExitedWithCode(1),
              "\nInput file: jpg - must end in \\.jpg or \\.jpeg\n$");
  EXPECT_EXIT(LoadPicture("a.gif"), testing::ExitedWithCode(1),
              "\nInput file: a\\.gif - must end in \\.jpg or \\.jpeg\n$");
  EXPECT_EXIT(LoadPicture("/no/such/file.png"), testing::ExitedWithCode(1),
              "\nCouldn't open input file: /no/such/file\\.png\n$");
}

TEST(SavePicture, RefusedNameEndsTheProcessBeforeTouchingAnything) {
  TempDir dir;
  Picture picture = MakePicture(Kind::kRgb24, 4, 4);
  std::string name = dir / "out.gif";
  EXPECT_EXIT(SavePicture(picture.get(), name.c_str(), 0), testing::ExitedWithCode(1),
              "\nSave: file \\(.*out\\.gif\\) - must end in \\.jpg, \\.jpeg or \\.bmp\n$");
  EXPECT_EXIT(SavePicture(nullptr, "png", 0), testing::ExitedWithCode(1), "Save: file \\(png\\)");
  EXPECT_TRUE(testing_support::ListDir(dir.path()).empty());
}

TEST(SavePicture, MissingPictureWritesNothing) {
  TempDir dir;
  EXPECT_FALSE(SavePicture(nullptr, (dir / "a.png").c_str(), 0));
  EXPECT_TRUE(testing_support::ListDir(dir.path()).empty());
}

TEST(SavePicture, ConvertsWhatTheFormatCannotHold) {
  TempDir dir;
  const struct {
    Kind kind;
    const char* name;
    unsigned bpp;  // as read back
  } cases[] = {
      {Kind::kRgba32, "a.jpg", 24}, {Kind::kRgba32, "a.png", 32}, {Kind::kRgba32, "a.bmp", 32},
      {Kind::kRgb16, "b.jpg", 24},  {Kind::kRgb16, "b.bmp", 24},  {Kind::kRgba16, "c.jpg", 24},
      {Kind::kRgba16, "c.bmp", 32}, {Kind::kRgb565, "d.png", 24}, {Kind::kRgb565, "d.jpg", 24},
      {Kind::kRgb565, "d.bmp", 16}, {Kind::kGrey8, "e.jpg", 8},   {Kind::kGrey8, "e.png", 8},
  };
  for (const auto& c : cases) {
    Picture picture = MakePicture(c.kind, 9, 7);
    std::string path = dir / c.name;
    EXPECT_TRUE(SavePicture(picture.get(), path.c_str(), 0)) << c.name;
    Picture back = testing_support::ReadPicture(path);
    ASSERT_TRUE(back) << c.name;
    EXPECT_EQ(FreeImage_GetBPP(back.get()), c.bpp) << c.name;
    EXPECT_EQ(FreeImage_GetWidth(back.get()), 9u) << c.name;
    EXPECT_EQ(FreeImage_GetHeight(back.get()), 7u) << c.name;
  }
}

// The library numbers its formats by the order it registers them; a build that left a format
// out of that order would write one format under another's number. The first bytes tell.
TEST(SavePicture, WritesTheFormatTheNameSays) {
  TempDir dir;
  Picture picture = MakePicture(Kind::kRgb24, 4, 4);
  const std::pair<const char*, std::string> cases[] = {
      {"a.jpg", "\xFF\xD8\xFF"}, {"a.bmp", "BM"}, {"a.png", "\x89PNG"}};
  for (const auto& [name, signature] : cases) {
    std::string path = dir / name;
    ASSERT_TRUE(SavePicture(picture.get(), path.c_str(), 0)) << name;
    EXPECT_EQ(testing_support::ReadBytes(path).substr(0, signature.size()), signature) << name;
  }
}

// Two pixels: a transparent black one and an opaque dark grey one.
Picture TwoPixels(unsigned bpp) {
  Picture picture(FreeImage_Allocate(2, 1, static_cast<int>(bpp)));
  BYTE* line = FreeImage_GetScanLine(picture.get(), 0);
  if (bpp == 32) {
    const BYTE pixels[] = {0, 0, 0, 0, 10, 10, 10, 255};
    std::memcpy(line, pixels, sizeof pixels);
  } else {
    RGBQUAD* palette = FreeImage_GetPalette(picture.get());
    palette[1] = {10, 10, 10, 0};
    BYTE opacity[] = {0, 255};  // index 0 (black) is transparent
    FreeImage_SetTransparencyTable(picture.get(), opacity, 2);
    line[0] = 0;
    line[1] = 1;
  }
  return picture;
}

TEST(SavePicture, FlattensTransparencyOntoWhiteForJpeg) {
  TempDir dir;
  for (unsigned bpp : {32u, 8u}) {
    Picture picture = TwoPixels(bpp);
    std::string path = dir / ("flat" + std::to_string(bpp) + ".jpg");
    ASSERT_TRUE(SavePicture(picture.get(), path.c_str(), JPEG_QUALITYSUPERB));
    Picture back = testing_support::ReadPicture(path);
    ASSERT_TRUE(back);
    uint32_t transparent = testing_support::PixelAt(back.get(), 0, 0);
    uint32_t opaque = testing_support::PixelAt(back.get(), 1, 0);
    EXPECT_GT(transparent & 0xFF, 200u) << bpp << " bits: " << std::hex << transparent;
    EXPECT_LT(opaque & 0xFF, 60u) << bpp << " bits: " << std::hex << opaque;
  }
}

TEST(CopyRectangle, EmptyReversedOrOutsideGivesNoPiece) {
  Picture picture = MakePicture(Kind::kRgb24, 10, 8);
  const struct {
    int64_t left, top, right, bottom;
    bool piece;
  } cases[] = {
      {0, 0, 10, 8, true},   {3, 2, 4, 3, true},   {0, 0, 0, 8, false},
      {10, 0, 10, 8, false}, {5, 0, 3, 8, false},  {-1, 0, 5, 8, false},
      {0, 0, 11, 8, false},  {0, 0, 10, 9, false}, {0, 0, INT64_MAX, 8, false},
  };
  for (const auto& c : cases) {
    Picture piece = CopyRectangle(picture.get(), c.left, c.top, c.right, c.bottom);
    EXPECT_EQ(static_cast<bool>(piece), c.piece) << c.left << " " << c.top << " " << c.right;
    if (piece) {
      std::string why;
      EXPECT_TRUE(testing_support::SameAsArea(piece.get(), picture.get(),
                                              static_cast<unsigned>(c.left),
                                              static_cast<unsigned>(c.top), &why))
          << why;
    }
  }
  EXPECT_FALSE(CopyArea(picture.get(), INT32_MAX, 0, INT32_MAX, 1));
  EXPECT_TRUE(CopyArea(picture.get(), 2, 2, 3, 3));
}

}  // namespace

namespace {

// A profile that PNG's writer refuses (too short to be one) still lets the piece be written:
// PNG gets the pixels alone, JPEG, which stores any profile, keeps it.
TEST(SavePicture, AProfilePngRefusesIsLeftOutOfPngOnly) {
  TempDir dir;
  const char kNotAProfile[] = "not a colour profile";
  for (const char* name : {"piece.png", "piece.jpg"}) {
    Picture picture = MakePicture(Kind::kRgb24, 6, 4);
    FreeImage_CreateICCProfile(picture.get(), const_cast<char*>(kNotAProfile), sizeof kNotAProfile);
    std::string path = dir / name;
    ASSERT_TRUE(SavePicture(picture.get(), path.c_str(), 0)) << name;
    Picture back = testing_support::ReadPicture(path);
    ASSERT_TRUE(back) << name;
    bool png = FormatForName(name) == FIF_PNG;
    EXPECT_EQ(FreeImage_GetICCProfile(back.get())->size, png ? 0 : sizeof kNotAProfile) << name;
    EXPECT_EQ(FreeImage_GetICCProfile(picture.get())->size, sizeof kNotAProfile) << name;
  }
}

}  // namespace
