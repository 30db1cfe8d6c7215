// The samples of a PNG with a gamma, corrected for showing as libpng corrects them.
#include "cutter/pictures/png_gamma.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// libpng's fixed point (1.0 is 100000), the display gamma it corrects for, and the nearness to
// 1.0 within which a correction is not worth doing.
constexpr double kUnit = 100000;
constexpr double kDisplayGamma = 220000;
constexpr double kThreshold = 5000;
constexpr unsigned kColourMask = 2, kPaletteType = 3;  // PNG colour types

bool Significant(double gamma) {
  return gamma < kUnit - kThreshold || gamma > kUnit + kThreshold;
}

// The tag the PNG loader recorded for the file, if it has the expected form.
FITAG* PngTag(FIBITMAP* picture, const char* key, FREE_IMAGE_MDTYPE type, DWORD count) {
  FITAG* tag = nullptr;
  if (!FreeImage_GetMetadata(FIMD_CUSTOM, picture, key, &tag) ||
      FreeImage_GetTagType(tag) != type || FreeImage_GetTagCount(tag) != count) {
    return nullptr;
  }
  return tag;
}

// The exponent that turns stored samples into shown ones, in fixed point; 0 when the loader
// would correct nothing.
int32_t CorrectionExponent(FIBITMAP* picture) {
  FITAG* gamma = PngTag(picture, "gAMA", FIDT_SLONG, 1);
  if (gamma == nullptr || PngTag(picture, "IHDR colour type", FIDT_BYTE, 1) == nullptr) {
    return 0;
  }
  const double file = *static_cast<const int32_t*>(FreeImage_GetTagValue(gamma));
  if (file <= 0) {
    return 0;
  }
  // Whether to correct at all goes by the product of the two gammas; how, by its reciprocal.
  const double product = std::floor(file * kDisplayGamma / kUnit + .5);
  if (product <= 2147483647. && !Significant(product)) {
    return 0;
  }
  const double reciprocal = std::floor(1E15 / file / kDisplayGamma + .5);
  return reciprocal <= 2147483647. ? static_cast<int32_t>(reciprocal) : 0;
}

std::vector<BYTE> EightBitTable(int32_t exponent) {
  std::vector<BYTE> table(256);
  for (unsigned v = 0; v < 256; ++v) {
    table[v] = static_cast<BYTE>(v);
    if (Significant(exponent) && v > 0 && v < 255) {
      table[v] = static_cast<BYTE>(
          std::floor(255 * std::pow(static_cast<int>(v) / 255., exponent * .00001) + .5));
    }
  }
  return table;
}

// The table of 16-bit samples by their top 16 - `shift` bits, those the file's sBIT says hold
// anything.
std::vector<WORD> SixteenBitTable(int32_t exponent, unsigned shift) {
  const unsigned most = (1U << (16 - shift)) - 1;
  const double step = 1.0 / static_cast<double>(most);
  std::vector<WORD> table(most + 1);
  for (unsigned in = 0; in <= most; ++in) {
    table[in] = static_cast<WORD>(
        Significant(exponent) ? std::floor(65535. * std::pow(in * step, exponent * .00001) + .5)
                              : (shift != 0 ? (in * 65535U + (1U << (15 - shift))) / most : in));
  }
  return table;
}

// How many low bits of a 16-bit sample the correction leaves out, by the file's sBIT.
unsigned SixteenBitShift(FIBITMAP* picture, unsigned colourType) {
  FITAG* tag = PngTag(picture, "sBIT", FIDT_BYTE, 5);
  if (tag == nullptr) {
    return 0;
  }
  const BYTE* bits = static_cast<const BYTE*>(FreeImage_GetTagValue(tag));  // r, g, b, grey, a
  const unsigned significant =
      (colourType & kColourMask) != 0 ? std::max({bits[0], bits[1], bits[2]}) : bits[3];
  const unsigned shift = significant > 0 && significant < 16 ? 16 - significant : 0;
  return std::min(shift, 8U);
}

// Applies `apply` to each of the first `channels` samples of every pixel of `step` samples.
template <typename Sample, typename Apply>
void EachColourSample(FIBITMAP* picture, unsigned step, unsigned channels, Apply apply) {
  const unsigned width = FreeImage_GetWidth(picture), height = FreeImage_GetHeight(picture);
  for (unsigned y = 0; y < height; ++y) {
    Sample* line = reinterpret_cast<Sample*>(FreeImage_GetScanLine(picture, static_cast<int>(y)));
    for (unsigned x = 0; x < width; ++x, line += step) {
      for (unsigned c = 0; c < channels; ++c) {
        line[c] = apply(line[c]);
      }
    }
  }
}

void CorrectSixteenBits(FIBITMAP* picture, int32_t exponent, unsigned colourType) {
  const unsigned shift = SixteenBitShift(picture, colourType);
  const std::vector<WORD> table = SixteenBitTable(exponent, shift);
  auto apply = [&](WORD v) { return table[v >> shift]; };
  switch (FreeImage_GetImageType(picture)) {
    case FIT_UINT16:
      EachColourSample<WORD>(picture, 1, 1, apply);
      break;
    case FIT_RGB16:
      EachColourSample<WORD>(picture, 3, 3, apply);
      break;
    case FIT_RGBA16:
      EachColourSample<WORD>(picture, 4, 3, apply);
      break;
    default:
      break;
  }
}

void CorrectEightBits(FIBITMAP* picture, int32_t exponent, unsigned colourType) {
  const std::vector<BYTE> table = EightBitTable(exponent);
  const unsigned bpp = FreeImage_GetBPP(picture);
  if (colourType == kPaletteType) {
    // libpng corrects some palettes and not others: the loader kept its result.
    FITAG* shown = nullptr;
    FreeImage_GetMetadata(FIMD_CUSTOM, picture, "PLTE as shown", &shown);
    if (shown == nullptr || FreeImage_GetTagType(shown) != FIDT_BYTE) {
      return;
    }
    const auto* rgb = static_cast<const BYTE*>(FreeImage_GetTagValue(shown));
    RGBQUAD* palette = FreeImage_GetPalette(picture);
    const unsigned entries =
        std::min(FreeImage_GetTagCount(shown) / 3, FreeImage_GetColorsUsed(picture));
    for (unsigned i = 0; i < entries; ++i, rgb += 3) {
      palette[i] = {rgb[2], rgb[1], rgb[0], palette[i].rgbReserved};
    }
    return;
  }
  if (bpp == 1) {  // grey of 1 bit has nothing between black and white
    return;
  }
  if (bpp == 4) {
    // Grey of 4 bits: each nibble corrected as its value spread over 8 bits.
    const unsigned bytes = (FreeImage_GetWidth(picture) + 1) / 2;
    for (unsigned y = 0; y < FreeImage_GetHeight(picture); ++y) {
      BYTE* line = FreeImage_GetScanLine(picture, static_cast<int>(y));
      for (unsigned x = 0; x < bytes; ++x) {
        const unsigned high = line[x] & 0xF0U, low = line[x] & 0x0FU;
        line[x] =
            static_cast<BYTE>((table[high | (high >> 4)] & 0xF0U) | (table[(low << 4) | low] >> 4));
      }
    }
    return;
  }
  EachColourSample<BYTE>(picture, bpp / 8, std::min(bpp / 8, 3U), [&](BYTE v) { return table[v]; });
}

}  // namespace

bool NeedsGammaCorrection(FIBITMAP* picture) {
  return CorrectionExponent(picture) != 0;
}

Picture GammaCorrected(FIBITMAP* picture) {
  const int32_t exponent = CorrectionExponent(picture);
  Picture copy(FreeImage_Copy(picture, 0, 0, static_cast<int>(FreeImage_GetWidth(picture)),
                              static_cast<int>(FreeImage_GetHeight(picture))));
  if (!copy || exponent == 0) {
    return copy;
  }
  const unsigned colourType = *static_cast<const BYTE*>(
      FreeImage_GetTagValue(PngTag(picture, "IHDR colour type", FIDT_BYTE, 1)));
  if (FreeImage_GetImageType(copy.get()) == FIT_BITMAP) {
    CorrectEightBits(copy.get(), exponent, colourType);
  } else {
    CorrectSixteenBits(copy.get(), exponent, colourType);
  }
  // The copy shows as it is now; its gamma would correct it twice.
  FreeImage_SetMetadata(FIMD_CUSTOM, copy.get(), "gAMA", nullptr);
  return copy;
}
