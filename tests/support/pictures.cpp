#include "support/pictures.h"

#include <gtest/gtest.h>

#include <cstring>

namespace testing_support {
namespace {

uint8_t Channel(unsigned x, unsigned y, unsigned salt) {
  return static_cast<uint8_t>((x * 7 + y * 13 + salt * 101 + (x * y) % 17) & 0xFF);
}

}  // namespace

Picture MakePicture(Kind kind, unsigned width, unsigned height, unsigned dotsPerMetre) {
  Picture picture;
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  switch (kind) {
    case Kind::kRgb24:
      picture.reset(FreeImage_Allocate(w, h, 24));
      break;
    case Kind::kGrey8: {
      picture.reset(FreeImage_Allocate(w, h, 8));
      RGBQUAD* palette = FreeImage_GetPalette(picture.get());
      for (unsigned i = 0; i < 256; ++i) {
        palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
      }
      break;
    }
    case Kind::kRgba32:
      picture.reset(FreeImage_Allocate(w, h, 32));
      break;
    case Kind::kRgb565:
      picture.reset(
          FreeImage_Allocate(w, h, 16, FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK));
      break;
    case Kind::kRgb16:
      picture.reset(FreeImage_AllocateT(FIT_RGB16, w, h));
      break;
    case Kind::kRgba16:
      picture.reset(FreeImage_AllocateT(FIT_RGBA16, w, h));
      break;
  }
  EXPECT_TRUE(picture) << "cannot allocate a test picture";
  if (!picture) {
    return picture;
  }
  for (unsigned y = 0; y < height; ++y) {
    // Scan lines are stored bottom-up; y counts from the top.
    BYTE* line = FreeImage_GetScanLine(picture.get(), static_cast<int>(height - 1 - y));
    for (unsigned x = 0; x < width; ++x) {
      uint8_t r = Channel(x, y, 1), g = Channel(x, y, 2), b = Channel(x, y, 3);
      uint8_t a = Channel(x, y, 4);
      switch (kind) {
        case Kind::kRgb24:
          line[x * 3 + FI_RGBA_RED] = r;
          line[x * 3 + FI_RGBA_GREEN] = g;
          line[x * 3 + FI_RGBA_BLUE] = b;
          break;
        case Kind::kGrey8:
          line[x] = r;
          break;
        case Kind::kRgba32:
          line[x * 4 + FI_RGBA_RED] = r;
          line[x * 4 + FI_RGBA_GREEN] = g;
          line[x * 4 + FI_RGBA_BLUE] = b;
          line[x * 4 + FI_RGBA_ALPHA] = a;
          break;
        case Kind::kRgb565:
          reinterpret_cast<WORD*>(line)[x] = static_cast<WORD>(((r >> 3) << FI16_565_RED_SHIFT) |
                                                               ((g >> 2) << FI16_565_GREEN_SHIFT) |
                                                               ((b >> 3) << FI16_565_BLUE_SHIFT));
          break;
        case Kind::kRgb16: {
          FIRGB16& p = reinterpret_cast<FIRGB16*>(line)[x];
          p.red = static_cast<WORD>(r * 257);
          p.green = static_cast<WORD>(g * 257);
          p.blue = static_cast<WORD>(b * 257);
          break;
        }
        case Kind::kRgba16: {
          FIRGBA16& p = reinterpret_cast<FIRGBA16*>(line)[x];
          p.red = static_cast<WORD>(r * 257);
          p.green = static_cast<WORD>(g * 257);
          p.blue = static_cast<WORD>(b * 257);
          p.alpha = static_cast<WORD>(a * 257);
          break;
        }
      }
    }
  }
  FreeImage_SetDotsPerMeterX(picture.get(), dotsPerMetre);
  FreeImage_SetDotsPerMeterY(picture.get(), dotsPerMetre);
  return picture;
}

void WritePicture(FIBITMAP* picture, const std::string& path, int flags) {
  FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(path.c_str());
  ASSERT_NE(format, FIF_UNKNOWN) << path;
  ASSERT_TRUE(FreeImage_Save(format, picture, path.c_str(), flags)) << "cannot write " << path;
}

Picture ReadPicture(const std::string& path) {
  FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str(), 0);
  if (format == FIF_UNKNOWN) {
    return nullptr;
  }
  // As the program reads it.
  return Picture(FreeImage_Load(format, path.c_str(), format == FIF_JPEG ? JPEG_ACCURATE : 0));
}

uint32_t PixelAt(FIBITMAP* picture, unsigned x, unsigned y) {
  unsigned height = FreeImage_GetHeight(picture);
  const BYTE* line = FreeImage_GetScanLine(picture, static_cast<int>(height - 1 - y));
  auto pack = [](unsigned r, unsigned g, unsigned b, unsigned a) {
    return (a << 24) | (r << 16) | (g << 8) | b;
  };
  switch (FreeImage_GetBPP(picture)) {
    case 8: {
      const RGBQUAD& c = FreeImage_GetPalette(picture)[line[x]];
      return pack(c.rgbRed, c.rgbGreen, c.rgbBlue, 255);
    }
    case 16: {
      WORD v = reinterpret_cast<const WORD*>(line)[x];
      return pack((v >> FI16_565_RED_SHIFT) & 0x1F, (v >> FI16_565_GREEN_SHIFT) & 0x3F,
                  (v >> FI16_565_BLUE_SHIFT) & 0x1F, 255);
    }
    case 24:
      return pack(line[x * 3 + FI_RGBA_RED], line[x * 3 + FI_RGBA_GREEN],
                  line[x * 3 + FI_RGBA_BLUE], 255);
    case 32:
      return pack(line[x * 4 + FI_RGBA_RED], line[x * 4 + FI_RGBA_GREEN],
                  line[x * 4 + FI_RGBA_BLUE], line[x * 4 + FI_RGBA_ALPHA]);
    default:
      ADD_FAILURE() << "unexpected depth " << FreeImage_GetBPP(picture);
      return 0;
  }
}

bool SameAsArea(FIBITMAP* piece, FIBITMAP* whole, unsigned left, unsigned top, std::string* why) {
  unsigned w = FreeImage_GetWidth(piece), h = FreeImage_GetHeight(piece);
  if (left + w > FreeImage_GetWidth(whole) || top + h > FreeImage_GetHeight(whole)) {
    *why = "piece reaches outside the picture";
    return false;
  }
  FREE_IMAGE_TYPE type = FreeImage_GetImageType(piece);
  if (type != FIT_BITMAP || FreeImage_GetImageType(whole) != FIT_BITMAP) {
    // Pictures of more than 8 bits per channel have no palette or masks: compare their samples.
    unsigned bytes = FreeImage_GetBPP(piece) / 8;
    if (FreeImage_GetImageType(whole) != type || FreeImage_GetBPP(whole) != bytes * 8) {
      *why = "the pictures differ in type";
      return false;
    }
    for (unsigned y = 0; y < h; ++y) {
      const BYTE* got = FreeImage_GetScanLine(piece, static_cast<int>(h - 1 - y));
      const BYTE* want = FreeImage_GetScanLine(
          whole, static_cast<int>(FreeImage_GetHeight(whole) - 1 - (top + y)));
      if (std::memcmp(got, want + left * bytes, w * bytes) != 0) {
        *why = "samples differ in row " + std::to_string(y);
        return false;
      }
    }
    return true;
  }
  for (unsigned y = 0; y < h; ++y) {
    for (unsigned x = 0; x < w; ++x) {
      uint32_t got = PixelAt(piece, x, y), want = PixelAt(whole, left + x, top + y);
      if (got != want) {
        char text[128];
        std::snprintf(text, sizeof text, "pixel (%u, %u): %08x, expected %08x", x, y, got, want);
        *why = text;
        return false;
      }
    }
  }
  return true;
}

}  // namespace testing_support
