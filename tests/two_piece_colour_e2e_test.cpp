// Cuts run for real on depths and colour: conversions only where the output format needs them,
// colour profiles, alpha, gamma, the quality and colour of JPEG pieces, and photos stored sideways.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cutter/pictures/picture_copies.h"
#include "cutter/pictures/picture_encoding.h"
#include "cutter/pictures/picture_geometry.h"
#include "support/crafted_bytes.h"
#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

// Depths and types the output format cannot hold are converted; those it can hold are kept.

// The pictures of the depth table: the support's kinds, and two made from them.
enum class Source {
  kGrey8,
  kRgb24,
  kRgba32,
  kRgb565,
  kRgb16,
  kRgba16,
  kOpaqueRgba16,  // 16 bits per channel, every alpha full
  kGrey16,        // 16-bit grey, each value the 8-bit grey picture's value times 257
};

constexpr unsigned kDepthWidth = 24, kDepthHeight = 10, kDepthCut = 9;

Picture MakeSource(Source source) {
  constexpr unsigned w = kDepthWidth, h = kDepthHeight;
  switch (source) {
    case Source::kGrey8:
      return MakePicture(Kind::kGrey8, w, h);
    case Source::kRgb24:
      return MakePicture(Kind::kRgb24, w, h);
    case Source::kRgba32:
      return MakePicture(Kind::kRgba32, w, h);
    case Source::kRgb565:
      return MakePicture(Kind::kRgb565, w, h);
    case Source::kRgb16:
      return MakePicture(Kind::kRgb16, w, h);
    case Source::kRgba16:
      return MakePicture(Kind::kRgba16, w, h);
    case Source::kOpaqueRgba16: {
      Picture rgb = MakePicture(Kind::kRgb16, w, h);
      return Picture(FreeImage_ConvertToType(rgb.get(), FIT_RGBA16, TRUE));
    }
    case Source::kGrey16: {
      Picture grey = MakePicture(Kind::kGrey8, w, h);
      Picture wide(FreeImage_AllocateT(FIT_UINT16, static_cast<int>(w), static_cast<int>(h)));
      for (unsigned y = 0; y < h; ++y) {
        const BYTE* from = FreeImage_GetScanLine(grey.get(), static_cast<int>(y));
        WORD* to = reinterpret_cast<WORD*>(FreeImage_GetScanLine(wide.get(), static_cast<int>(y)));
        for (unsigned x = 0; x < w; ++x) {
          to[x] = static_cast<WORD>(from[x] * 257);
        }
      }
      return wide;
    }
  }
  return nullptr;
}

enum class Reference {
  kSource,    // pixel-exact against the source as stored
  kAs24Bits,  // pixel-exact against the library's 24-bit conversion of the source
  kAsGrey8,   // pixel-exact against the 8-bit grey picture the 16-bit one was made from
  kSizeOnly,  // JPEG: its size and depth only
};

struct OutputCheck {
  std::string name;
  FREE_IMAGE_FORMAT format;
  std::vector<unsigned> bpp;  // the depths allowed
  Reference reference;
};

struct DepthCase {
  Source source;
  std::string input;
  OutputCheck first, rest;
};

TEST(TwoPieceCutE2ETest, PiecesAreConvertedOnlyWhenTheFormatCannotHoldThem) {
  // clang-format off
  const DepthCase cases[] = {
      // 8-bit grey stays 8-bit grey.
      {Source::kGrey8, "a.png", {"l.bmp", FIF_BMP, {8}, Reference::kSource}, {"r.png", FIF_PNG, {8}, Reference::kSource}},
      {Source::kGrey8, "a.bmp", {"l.png", FIF_PNG, {8}, Reference::kSource}, {"r.jpg", FIF_JPEG, {8}, Reference::kSizeOnly}},
      {Source::kRgb24, "a.bmp", {"l.png", FIF_PNG, {24}, Reference::kSource}, {"r.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      // Alpha is kept where the format holds it.
      {Source::kRgba32, "a.png", {"l.png", FIF_PNG, {32}, Reference::kSource}, {"r.png", FIF_PNG, {32}, Reference::kSource}},
      {Source::kRgba32, "a.png", {"l.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}, {"r.jpeg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      // PNG keeps 16 bits per channel as they are.
      {Source::kRgb16, "a.png", {"l.png", FIF_PNG, {48}, Reference::kSource}, {"r.png", FIF_PNG, {48}, Reference::kSource}},
      {Source::kRgba16, "a.png", {"l.png", FIF_PNG, {64}, Reference::kSource}, {"r.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      {Source::kGrey16, "a.png", {"l.png", FIF_PNG, {16}, Reference::kSource}, {"r.png", FIF_PNG, {16}, Reference::kSource}},
      // Elsewhere 16 bits per channel become 8. The opaque 16-bit alpha picture gives the colours of the
      // 24-bit conversion whether its alpha is flattened or dropped.
      {Source::kRgb16, "a.png", {"l.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}, {"r.bmp", FIF_BMP, {24}, Reference::kAs24Bits}},
      {Source::kRgb16, "a.png", {"l.bmp", FIF_BMP, {24}, Reference::kAs24Bits}, {"r.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      {Source::kOpaqueRgba16, "a.png", {"l.bmp", FIF_BMP, {24, 32}, Reference::kAs24Bits}, {"r.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}},
      {Source::kGrey16, "a.png", {"l.bmp", FIF_BMP, {8}, Reference::kAsGrey8}, {"r.jpg", FIF_JPEG, {8}, Reference::kSizeOnly}},
      // 5-6-5 colour is widened the library's way where the format has no 16-bit colour.
      {Source::kRgb565, "a.bmp", {"l.png", FIF_PNG, {24}, Reference::kAs24Bits}, {"r.bmp", FIF_BMP, {16}, Reference::kSource}},
      {Source::kRgb565, "a.bmp", {"l.jpg", FIF_JPEG, {24}, Reference::kSizeOnly}, {"r.png", FIF_PNG, {24}, Reference::kAs24Bits}},
  };
  // clang-format on
  const Picture grey8 = MakeSource(Source::kGrey8);
  for (const DepthCase& c : cases) {
    SCOPED_TRACE(c.input + " (source " + std::to_string(static_cast<int>(c.source)) + ") -> " +
                 c.first.name + ", " + c.rest.name);
    TempDir dir;
    Picture made = MakeSource(c.source);
    ASSERT_TRUE(made);
    Picture source = Place(dir, made.get(), c.input);
    ASSERT_TRUE(source);
    ASSERT_EQ(FreeImage_GetImageType(source.get()), FreeImage_GetImageType(made.get()));
    ASSERT_EQ(FreeImage_GetBPP(source.get()), FreeImage_GetBPP(made.get()));
    if (c.source == Source::kRgb565) {
      ASSERT_EQ(FreeImage_GetGreenMask(source.get()), unsigned{FI16_565_GREEN_MASK});
    }
    Picture as24(FreeImage_ConvertTo24Bits(source.get()));

    ExpectSaveOutcome(
        RunIn(dir, {"-w", std::to_string(kDepthCut), c.input, c.first.name, c.rest.name}), "");
    EXPECT_EQ(ListDir(dir.path()), SortedNames({c.input, c.first.name, c.rest.name}));

    auto check = [&](const OutputCheck& out, unsigned left, unsigned width) {
      SCOPED_TRACE(out.name);
      FileShape shape = ShapeOf(dir / out.name);
      ASSERT_TRUE(shape.readable);
      EXPECT_EQ(shape.format, out.format);
      bool kept = out.reference == Reference::kSource;
      EXPECT_EQ(shape.type, kept ? FreeImage_GetImageType(source.get()) : FIT_BITMAP);
      EXPECT_EQ(shape.width, width);
      EXPECT_EQ(shape.height, kDepthHeight);
      EXPECT_NE(std::find(out.bpp.begin(), out.bpp.end(), shape.bpp), out.bpp.end())
          << "depth " << shape.bpp;
      if (c.source == Source::kGrey8 || c.source == Source::kGrey16) {
        EXPECT_EQ(shape.colorType, FIC_MINISBLACK);
      }
      FIBITMAP* reference = nullptr;
      switch (out.reference) {
        case Reference::kSource:
          reference = source.get();
          break;
        case Reference::kAs24Bits:
          reference = as24.get();
          ASSERT_TRUE(reference);
          break;
        case Reference::kAsGrey8:
          reference = grey8.get();
          break;
        case Reference::kSizeOnly:
          return;
      }
      EXPECT_TRUE(FileHoldsArea(dir / out.name, reference, left, 0, width, kDepthHeight));
    };
    check(c.first, 0, kDepthCut);
    check(c.rest, kDepthCut, kDepthWidth - kDepthCut);
  }
}

// A small but well-formed RGB display profile with one text tag, so that its bytes are our own.
std::string RgbProfile() {
  std::string p(128, '\0');
  auto put = [&p](size_t at, const char* text) { p.replace(at, 4, text, 4); };
  auto putNumber = [&p](size_t at, uint32_t v) { p.replace(at, 4, BigEndian(v, 4)); };
  const std::string text = "text" + std::string(4, '\0') + "Cut by Dolvane tests";
  putNumber(8, 0x02100000);  // version 2.1
  put(12, "mntr");
  put(16, "RGB ");
  put(20, "XYZ ");
  put(36, "acsp");
  putNumber(68, 0xF6D6);  // the D50 illuminant
  putNumber(72, 0x10000);
  putNumber(76, 0xD32D);
  p += std::string(4 + 12, '\0');
  putNumber(128, 1);
  put(132, "cprt");
  putNumber(136, 144);
  putNumber(140, static_cast<uint32_t>(text.size()));
  p += text;
  putNumber(0, static_cast<uint32_t>(p.size()));
  return p;
}

std::string ProfileOf(FIBITMAP* picture) {
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(picture);
  return profile->data ? std::string(static_cast<const char*>(profile->data), profile->size) : "";
}

TEST(TwoPieceCutE2ETest, PiecesKeepTheColourProfileThroughConversions) {
  const std::string profile = RgbProfile();
  for (Kind kind : {Kind::kRgb24, Kind::kRgba32, Kind::kRgb16, Kind::kRgba16}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TempDir dir;
    Picture made = MakePicture(kind, 20, 6);
    FreeImage_CreateICCProfile(made.get(), const_cast<char*>(profile.data()),
                               static_cast<long>(profile.size()));
    Picture source = Place(dir, made.get(), "a.png");
    ASSERT_TRUE(source);
    ASSERT_EQ(ProfileOf(source.get()), profile) << "the PNG's own profile is not read";

    ExpectSaveOutcome(RunIn(dir, {"-w", "50%", "a.png", "l.png", "r.jpg"}), "");
    for (const char* piece : {"l.png", "r.jpg"}) {
      Picture back = ReadPicture(dir / piece);
      ASSERT_TRUE(back) << piece;
      EXPECT_EQ(ProfileOf(back.get()), profile) << piece;
    }
    // A piece the file system refuses is reported, not written again without its profile.
    const auto tooSmall = static_cast<long long>(ReadBytes(dir / "l.png").size()) - 1;
    ASSERT_EQ(std::remove((dir / "l.png").c_str()), 0);
    ExpectSaveOutcome(RunIn(dir, {"-w", "50%", "a.png", "l.png"}, tooSmall), "l.png");
    EXPECT_FALSE(ShapeOf(dir / "l.png").readable);
  }
}

// A PNG whose gamma is not the usual 1/2.2: PNG pieces keep its samples and colour chunks as
// stored; JPEG pieces get the corrected samples, and so the bytes, they always had.
TEST(TwoPieceCutE2ETest, PngGammaIsKeptInPngPiecesAndAppliedInOthers) {
  const std::string adobeRgb =  // white, red, green and blue
      BigEndian(31270, 4) + BigEndian(32900, 4) + BigEndian(64000, 4) + BigEndian(33000, 4) +
      BigEndian(21000, 4) + BigEndian(71000, 4) + BigEndian(15000, 4) + BigEndian(6000, 4);
  for (const auto& [gamma, kind] : {std::pair{100000U, Kind::kRgb24}, {55556U, Kind::kRgba16}}) {
    SCOPED_TRACE(gamma);
    TempDir dir;
    const std::string bytes = PictureBytes(kind, 24, 10, ".png");
    const std::string chunks = PngChunk("gAMA", BigEndian(gamma, 4)) + PngChunk("cHRM", adobeRgb);
    WriteBytes(dir / "a.png", bytes.substr(0, 33) + chunks + bytes.substr(33));
    ExpectSaveOutcome(RunIn(dir, {"-w", "9", "a.png", "l.png", "r.jpg"}), "");
    Picture stored(FreeImage_Load(FIF_PNG, (dir / "a.png").c_str(), PNG_IGNOREGAMMA));
    Picture piece(FreeImage_Load(FIF_PNG, (dir / "l.png").c_str(), PNG_IGNOREGAMMA));
    std::string why;
    EXPECT_TRUE(SameAsArea(piece.get(), stored.get(), 0, 0, &why)) << why;
    EXPECT_NE(ReadBytes(dir / "l.png").find(chunks), std::string::npos);
    // What the library's corrected load gave the JPEG piece before.
    Picture corrected(FreeImage_Load(FIF_PNG, (dir / "a.png").c_str(), 0));
    Picture right = CopyRectangle(corrected.get(), 9, 0, 24, 10);
    ASSERT_TRUE(SavePicture(right.get(), (dir / "before.jpg").c_str(), 100, {FIF_PNG}));
    EXPECT_EQ(ReadBytes(dir / "r.jpg"), ReadBytes(dir / "before.jpg"));
  }
}

// A 32-bit BMP commonly leaves its fourth byte at 0: unused, not transparent. Cut to a format
// without alpha, it must keep its colours rather than turn white.
TEST(TwoPieceCutE2ETest, UnusedFourthByteOfBmpIsNotTransparency) {
  constexpr unsigned kW = 32, kH = 16, kCut = 16;
  TempDir dir;
  Picture made(FreeImage_Allocate(kW, kH, 32));
  ASSERT_TRUE(made);
  FillRgba32(made.get(), 0, 0, kW, kH, 200, 30, 60, 0);
  Place(dir, made.get(), "a.bmp");

  ExpectSaveOutcome(RunIn(dir, {"-w", std::to_string(kCut), "a.bmp", "l.jpg", "r.jpg"}), "");
  EXPECT_EQ(ListDir(dir.path()), SortedNames({"a.bmp", "l.jpg", "r.jpg"}));
  for (const char* name : {"l.jpg", "r.jpg"}) {
    SCOPED_TRACE(name);
    Picture piece = ReadPicture(dir / name);
    ASSERT_TRUE(piece);
    EXPECT_EQ(FreeImage_GetWidth(piece.get()), kCut);
    uint32_t pixel = PixelAt(piece.get(), kCut / 2, kH / 2);
    EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), 200, 8);
    EXPECT_NEAR(static_cast<int>((pixel >> 8) & 0xFF), 30, 8);
    EXPECT_NEAR(static_cast<int>(pixel & 0xFF), 60, 8);
  }
}

// A format without transparency shows transparent parts as white, not as whatever colour they
// happen to hold; opaque parts keep their colour.
TEST(TwoPieceCutE2ETest, TransparencyIsFlattenedOntoWhiteForJpeg) {
  constexpr unsigned kW = 64, kH = 32, kCut = 32;
  for (Kind kind : {Kind::kRgba32, Kind::kRgba16}) {
    SCOPED_TRACE(kind == Kind::kRgba32 ? "8 bits per channel" : "16 bits per channel");
    TempDir dir;
    Picture made = MakePicture(kind, kW, kH);
    ASSERT_TRUE(made);
    // In each half: a transparent black block at x 4..19 and an opaque black one at x 20..27.
    for (unsigned half : {0u, kCut}) {
      if (kind == Kind::kRgba32) {
        FillRgba32(made.get(), half + 4, 4, 16, 24, 0, 0, 0, 0);
        FillRgba32(made.get(), half + 20, 4, 8, 24, 0, 0, 0, 255);
      } else {
        FillRgba16(made.get(), half + 4, 4, 16, 24, 0, 0, 0, 0);
        FillRgba16(made.get(), half + 20, 4, 8, 24, 0, 0, 0, 65535);
      }
    }
    Place(dir, made.get(), "a.png");

    ExpectSaveOutcome(RunIn(dir, {"-w", std::to_string(kCut), "a.png", "l.jpg", "r.jpg"}), "");
    EXPECT_EQ(ListDir(dir.path()), SortedNames({"a.png", "l.jpg", "r.jpg"}));
    for (const char* name : {"l.jpg", "r.jpg"}) {
      SCOPED_TRACE(name);
      FileShape shape = ShapeOf(dir / name);
      EXPECT_EQ(shape.format, FIF_JPEG);
      EXPECT_EQ(shape.bpp, 24u);
      EXPECT_EQ(shape.width, kCut);
      EXPECT_EQ(shape.height, kH);
      Picture piece = ReadPicture(dir / name);
      ASSERT_TRUE(piece);
      // Inside the blocks, away from their edges where the JPEG blurs.
      ChannelRange clear = ChannelsOver(piece.get(), 7, 7, 10, 18);
      ChannelRange opaque = ChannelsOver(piece.get(), 22, 7, 4, 18);
      EXPECT_GE(clear.lowest, 235u);
      EXPECT_LE(opaque.highest, 20u);
    }
  }
}

TEST(TwoPieceCutE2ETest, LowerJpegQualityGivesSmallerFiles) {
  TempDir dir;
  Picture made = MakePicture(Kind::kRgb24, 64, 48);
  Place(dir, made.get(), "a.png");
  RunResult r = RunIn(dir, {"-w", "50%", "a.png", "l100.jpg", "r100.jpg"});
  EXPECT_EQ(r.exitCode, 0);
  r = RunIn(dir, {"-oq", "10", "-w", "50%", "a.png", "l10.jpg", "r10.jpg"});
  ExpectSaveOutcome(r, "");
  for (const char* piece : {"l", "r"}) {
    std::string best = ReadBytes(dir / (std::string(piece) + "100.jpg"));
    std::string low = ReadBytes(dir / (std::string(piece) + "10.jpg"));
    ASSERT_FALSE(low.empty());
    EXPECT_LT(low.size(), best.size() / 2) << piece;
    EXPECT_EQ(ShapeOf(dir / (std::string(piece) + "10.jpg")).width, 32u);
  }
}

// Each component's sampling factors in a JPEG file's frame header, as "2x1 1x1 1x1" (4:2:2).
std::string SamplingOf(const std::string& jpeg) {
  for (size_t at = 2; at + 10 < jpeg.size();
       at += 2 + (uint8_t(jpeg[at + 2]) << 8 | uint8_t(jpeg[at + 3]))) {
    const auto marker = static_cast<uint8_t>(jpeg[at + 1]);
    if (marker >= 0xC0 && marker <= 0xC2) {
      std::string factors;
      for (unsigned i = 0; i < uint8_t(jpeg[at + 9]) && at + 11 + 3 * i < jpeg.size(); ++i) {
        const auto f = static_cast<uint8_t>(jpeg[at + 11 + 3 * i]);
        factors += (i > 0 ? " " : "") + std::to_string(f >> 4) + "x" + std::to_string(f & 15);
      }
      return factors;
    }
  }
  return "no frame";
}

// The peak signal-to-noise ratio of `piece` against the area of `whole` at (left, top), in dB
// over the red, green and blue of every pixel; above 140 when they are equal.
double Psnr(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top) {
  double squares = 0;
  const unsigned width = FreeImage_GetWidth(piece), height = FreeImage_GetHeight(piece);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width; ++x) {
      const uint32_t a = PixelAt(piece, x, y), b = PixelAt(whole, left + x, top + y);
      for (int shift : {0, 8, 16}) {
        const double d = double((a >> shift) & 0xFF) - double((b >> shift) & 0xFF);
        squares += d * d;
      }
    }
  }
  return 10 * std::log10(255.0 * 255.0 * 3 * width * height / std::max(squares, 1e-9));
}

// Colour that changes over a few pixels, as in a photo, unlike MakePicture's pixel noise.
Picture SmoothPicture(unsigned width, unsigned height) {
  Picture picture(FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24));
  for (unsigned y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(picture.get(), static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      line[3 * x + FI_RGBA_RED] = static_cast<BYTE>(128 + 100 * std::sin(x / 5.0 + y / 9.0));
      line[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(128 + 60 * std::cos(y / 4.0));
      line[3 * x + FI_RGBA_BLUE] = static_cast<BYTE>(128 + 100 * std::sin(x / 3.0 - y / 7.0));
    }
  }
  return picture;
}

// JPEG pieces keep the colour their source had: its own sampling, 4:4:4 from another format at
// quality 90 or more; explicit writer bits in -oq are the user's.
TEST(TwoPieceCutE2ETest, JpegPiecesKeepTheSourcesColour) {
  const struct {
    const char* source;
    int sourceFlags;
    const char* quality;
    const char* sampling;
    double leastPsnr;  // against the source as read; about 36 dB with colour halved again
  } cases[] = {
      {"in.jpg", JPEG_SUBSAMPLING_444 | 95, "100", "1x1 1x1 1x1", 50},
      {"in.jpg", JPEG_SUBSAMPLING_422 | 95, "100", "2x1 1x1 1x1", 38},
      {"in.jpg", JPEG_SUBSAMPLING_420 | 95, "100", "2x2 1x1 1x1", 37},
      {"in.jpg", JPEG_SUBSAMPLING_411 | 95, "100", "4x1 1x1 1x1", 50},
      {"in.png", 0, "100", "1x1 1x1 1x1", 47},
      {"in.png", 0, "89", "2x2 1x1 1x1", 0},
      {"in.jpg", JPEG_SUBSAMPLING_444 | 95, "16474", "2x2 1x1 1x1", 0},  // 4:2:0 | 90
      {"grey.jpg", 95, "100", "1x1", 55},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.sourceFlags) + " -oq " + c.quality);
    TempDir dir;
    Picture made = c.source[0] == 'g' ? MakePicture(Kind::kGrey8, 96, 64) : SmoothPicture(96, 64);
    WritePicture(made.get(), dir / c.source, c.sourceFlags);
    ExpectSaveOutcome(RunIn(dir, {"-oq", c.quality, "-w", "50%", c.source, "l.jpg", "r.jpg"}), "");
    Picture source = ReadPicture(dir / c.source);
    for (const char* name : {"l.jpg", "r.jpg"}) {
      EXPECT_EQ(SamplingOf(ReadBytes(dir / name)), c.sampling) << name;
      Picture piece = ReadPicture(dir / name);
      ASSERT_TRUE(piece) << name;
      EXPECT_GE(Psnr(piece.get(), source.get(), name[0] == 'l' ? 0 : 48, 0), c.leastPsnr) << name;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Photos stored sideways with an EXIF orientation: every piece shows what the same rectangle of
// the photo shows, in a viewer that obeys the tag.

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
    // Each job, and its pieces' rectangles of the photo as shown (w x h, dpi as stored swapped).
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
