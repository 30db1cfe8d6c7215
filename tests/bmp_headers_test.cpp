// BMP files with every info-header size the loader takes, in colour layouts of their own: each
// must load with its exact pixels, alpha included, and its resolution.
#include <FreeImage.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "cutter/pictures/picture_loading.h"
#include "support/crafted_bytes.h"
#include "support/e2e_helpers.h"

namespace testing_support {
namespace {

constexpr unsigned kWidth = 3, kHeight = 2;  // 3 pixels leave padding at the end of 24-bit rows

struct HeaderCase {
  uint32_t headerSize;  // 64 is OS/2's
  uint16_t bitCount;
  uint32_t compression;
  // Red, green, blue and alpha, written after the first 40 bytes (inside a longer header) even
  // where they do not count: without bit fields, and alpha below 56 bytes without kAlphaBitFields.
  uint32_t masks[4];
  bool topDown;
};

// Alpha, red, green and blue from the top byte down, as PixelAt gives them. Every value is a
// multiple of 17, so that 4-bit channels hold it exactly; alpha is never 0 or 255.
uint32_t SourcePixel(unsigned x, unsigned y) {
  unsigned i = y * kWidth + x;
  auto c = [](unsigned k) { return (k % 16) * 17; };
  return (17 * (1 + (i * 5 + 3) % 14) << 24) | (c(i * 3 + 1) << 16) | (c(i * 5 + 2) << 8) |
         c(i * 7 + 9);
}

// A channel of 0..255 placed under `mask`.
uint32_t UnderMask(uint32_t value, uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  int shift = std::countr_zero(mask);
  return (value * (mask >> shift) / 255) << shift;
}

std::string BmpFile(const HeaderCase& c) {
  const uint32_t standard[4] = {0xFF0000, 0xFF00, 0xFF, c.bitCount == 32 ? 0xFF000000 : 0};
  const uint32_t* layout = c.compression == kBmpRgb ? standard : c.masks;
  const int shifts[4] = {16, 8, 0, 24};  // of red, green, blue and alpha in SourcePixel
  std::string pixels;
  for (unsigned row = 0; row < kHeight; ++row) {
    unsigned y = c.topDown ? row : kHeight - 1 - row;
    for (unsigned x = 0; x < kWidth; ++x) {
      uint32_t value = 0;
      for (int k = 0; k < 4; ++k) {
        value |= UnderMask((SourcePixel(x, y) >> shifts[k]) & 0xFF, layout[k]);
      }
      pixels += LittleEndian(value, c.bitCount / 8u);
    }
    pixels.resize((pixels.size() + 3) / 4 * 4, '\0');
  }
  const auto height = static_cast<uint32_t>(c.topDown ? -int32_t{kHeight} : int32_t{kHeight});
  std::string header = LittleEndian(c.headerSize, 4) + LittleEndian(kWidth, 4) +
                       LittleEndian(height, 4) + LittleEndian(1, 2) + LittleEndian(c.bitCount, 2) +
                       LittleEndian(c.compression, 4) + LittleEndian(0, 4) + LittleEndian(3780, 4) +
                       LittleEndian(2000, 4) + std::string(8, '\0');
  for (uint32_t mask : c.masks) {
    header += LittleEndian(mask, 4);
  }
  header.resize(std::max<size_t>(header.size(), c.headerSize), '\0');
  return BmpWithPixelsAfter(header, pixels);
}

const HeaderCase kHeaders[] = {
    {40, 24, kBmpRgb, {}, false},
    {40, 32, kBitFields, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, false},
    {40, 32, kAlphaBitFields, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}, true},
    {52, 24, kBmpRgb, {0xFF, 0xFF00, 0xFF0000, 0}, false},
    {52, 32, kBitFields, {0xFF00, 0xFF0000, 0xFF000000, 0xFF}, false},
    {56, 32, kBitFields, {0xFF, 0xFF000000, 0xFF0000, 0xFF00}, false},
    {108, 24, kBmpRgb, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, true},
    {108, 32, kBitFields, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, false},
    {124, 24, kBmpRgb, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, false},
    {124, 32, kBitFields, {0xFF00, 0xFF, 0xFF000000, 0xFF0000}, true},
    {124, 16, kBitFields, {0xF00, 0xF0, 0xF, 0xF000}, false},
    {64, 24, kBmpRgb, {}, false},
};

TEST(BmpHeadersTest, EverySizeLoadsItsPixelsAlphaAndResolution) {
  TempDir dir;
  for (const HeaderCase& c : kHeaders) {
    // A name of its own, so that a refusal, which ends the process, names the case.
    std::string name = std::to_string(c.headerSize) + "-" + std::to_string(c.bitCount) + "-" +
                       std::to_string(c.compression) + ".bmp";
    SCOPED_TRACE(name);
    std::string path = dir / name;
    WriteBytes(path, BmpFile(c));
    Picture picture = LoadPicture(path.c_str());
    ASSERT_EQ(FreeImage_GetWidth(picture.get()), kWidth);
    ASSERT_EQ(FreeImage_GetHeight(picture.get()), kHeight);
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(picture.get()), 3780u);
    EXPECT_EQ(FreeImage_GetDotsPerMeterY(picture.get()), 2000u);
    bool hasAlpha = c.compression != kBmpRgb && c.masks[3] != 0 &&
                    (c.headerSize >= 56 || c.compression == kAlphaBitFields);
    for (unsigned y = 0; y < kHeight; ++y) {
      for (unsigned x = 0; x < kWidth; ++x) {
        uint32_t want = SourcePixel(x, y) | (hasAlpha ? 0 : 0xFF000000);
        EXPECT_EQ(PixelAt(picture.get(), x, y), want) << "pixel " << x << ", " << y;
      }
    }
  }
}

// The library's RLE writer ends the last line with an end-of-line code before the end of the
// bitmap, as most writers do.
TEST(BmpHeadersTest, RleFileOfTheLibrarysOwnLoadsBack) {
  TempDir dir;
  Picture made = MakePicture(Kind::kGrey8, 13, 7);
  std::string path = dir / "rle8.bmp";
  WritePicture(made.get(), path, BMP_SAVE_RLE);
  ASSERT_EQ(ReadBytes(path).substr(30, 4), LittleEndian(1, 4)) << "not written as RLE8";
  Picture back = LoadPicture(path.c_str());
  std::string why;
  EXPECT_TRUE(SameAsArea(back.get(), made.get(), 0, 0, &why)) << why;
}

// Other readers rely on a piece's header sizes: a run-length encoded one's (an odd -oq, 8 bits)
// cannot be worked out otherwise. ImageMagick must read the pieces' pixels.
TEST(BmpHeadersE2ETest, ImageMagickReadsThePiecesTheProgramWrites) {
  for (const auto& [quality, compression] : {std::pair{"85", kRle8}, {"100", kBmpRgb}}) {
    TempDir dir;
    Picture grey = MakePicture(Kind::kGrey8, 37, 9);
    std::memset(FreeImage_GetBits(grey.get()), 200, FreeImage_GetPitch(grey.get()) * 3);  // runs
    Picture source(FreeImage_ConvertTo24Bits(Place(dir, grey.get(), "in.bmp").get()));
    ExpectSaveOutcome(RunIn(dir, {"-oq", quality, "-w", "19", "in.bmp", "l.bmp", "r.bmp"}), "");
    for (const WrittenPiece& p : {WrittenPiece{"l.bmp", 0, 0, 19, 9}, {"r.bmp", 19, 0, 18, 9}}) {
      SCOPED_TRACE(p.name + " of -oq " + quality);
      const std::string bytes = ReadBytes(dir / p.name), png = dir / (p.name + ".png");
      ASSERT_GE(bytes.size(), 54u);
      auto field = [&bytes](size_t at) { return NumberAt(bytes, at, 4, false); };
      EXPECT_EQ(field(30), compression);
      EXPECT_EQ(field(2), bytes.size());  // the file's size
      EXPECT_EQ(field(34), compression == kRle8 ? bytes.size() - field(10) : 0u);  // the pixels'
      // A literal run of odd length is padded with 0, not with whatever memory held there.
      for (size_t at = field(10); compression == kRle8 && at + 1 < bytes.size(); at += 2) {
        const unsigned count = uint8_t(bytes[at]), code = uint8_t(bytes[at + 1]);
        at += count == 0 && code >= 3 ? code + code % 2 : count == 0 && code == 2 ? 2 : 0;
        EXPECT_TRUE(count != 0 || code < 3 || code % 2 == 0 || bytes[at + 1] == '\0') << at;
      }
      EXPECT_EQ(std::system(("/usr/bin/convert " + (dir / p.name) + " PNG24:" + png).c_str()), 0)
          << "ImageMagick's /usr/bin/convert (scripts/install-deps) must read the piece";
      EXPECT_TRUE(FileHoldsArea(png, source.get(), p.left, p.top, p.width, p.height));
    }
  }
}

}  // namespace
}  // namespace testing_support
