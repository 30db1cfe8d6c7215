// Encoding a picture for its file: conversions to what the format holds, kept metadata, flags.
#include "cutter/pictures/picture_encoding.h"

#include <memory>

#include "cutter/pictures/exif_rewrite.h"
#include "cutter/pictures/picture_copies.h"
#include "cutter/pictures/picture_geometry.h"
#include "cutter/pictures/picture_library.h"
#include "cutter/pictures/png_gamma.h"
#include "util/messages.h"
#include "util/strings_and_paths.h"

namespace {

// libpng refuses to write a text whose keyword holds no printable Latin-1 character (an empty
// one, or one of blanks and control characters only), and with it the whole picture. It mends
// any other keyword itself.
bool PngRefusesKeyword(const char* key) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(key); *c != '\0'; ++c) {
    if ((*c > 32 && *c < 127) || *c > 160) {
      return false;
    }
  }
  return true;
}

void DropKeywordsPngRefuses(FIBITMAP* picture) {
  for (;;) {
    FITAG* tag = nullptr;
    FIMETADATA* search = FreeImage_FindFirstMetadata(FIMD_COMMENTS, picture, &tag);
    while (search != nullptr && !PngRefusesKeyword(FreeImage_GetTagKey(tag))) {
      if (!FreeImage_FindNextMetadata(search, &tag)) {
        FreeImage_FindCloseMetadata(search);
        search = nullptr;
      }
    }
    if (search == nullptr) {
      return;
    }
    FreeImage_FindCloseMetadata(search);
    // The key is the tag's own, and goes with it: the library needs it after that.
    std::unique_ptr<char[]> key = StrDupOrNull(FreeImage_GetTagKey(tag));
    if (!key) {
      return;  // the writer will refuse the picture, which is then reported
    }
    FreeImage_SetMetadata(FIMD_COMMENTS, picture, key.get(), nullptr);
  }
}

// Whether the format's writer takes a standard bitmap of this depth. The JPEG writer says yes
// to 32 bits but takes them only as CMYK, which a loaded picture never is.
bool CanExportDepth(FREE_IMAGE_FORMAT format, unsigned bpp) {
  if (format == FIF_JPEG && bpp == 32) {
    return false;
  }
  return FreeImage_FIFSupportsExportBPP(format, static_cast<int>(bpp)) != 0;
}

// One step down to a standard 8-bit-per-channel bitmap, keeping the channels there are.
FIBITMAP* ToStandardBitmap(FIBITMAP* picture) {
  switch (FreeImage_GetImageType(picture)) {
    case FIT_RGBA16:
      return FreeImage_ConvertTo32Bits(picture);
    case FIT_RGB16:
      return FreeImage_ConvertTo24Bits(picture);
    case FIT_UINT16:
      return FreeImage_ConvertTo8Bits(picture);
    default:
      return FreeImage_ConvertToStandardType(picture, TRUE);
  }
}

// A picture drawn over white, without transparency: what a format without transparency shows.
FIBITMAP* FlattenOntoWhite(FIBITMAP* picture) {
  Picture rgba;
  if (FreeImage_GetBPP(picture) != 32) {
    rgba.reset(FreeImage_ConvertTo32Bits(picture));
    if (!rgba) {
      return nullptr;
    }
    picture = rgba.get();
  }
  RGBQUAD white = {255, 255, 255, 0};
  return FreeImage_Composite(picture, FALSE, &white, nullptr);
}

// Brings `picture` into a form the format can store. Returns the picture to save: `picture`
// itself, or a converted copy that `converted` owns; null when a conversion failed.
FIBITMAP* PrepareForFormat(FIBITMAP* picture, FREE_IMAGE_FORMAT format, Picture& converted) {
  FIBITMAP* original = picture;
  if (!FreeImage_FIFSupportsExportType(format, FreeImage_GetImageType(picture))) {
    converted.reset(ToStandardBitmap(picture));
    if (!converted) {
      return nullptr;
    }
    picture = converted.get();
  }
  bool transparent = FreeImage_IsTransparent(picture) != 0;
  // JPEG keeps no transparency at any depth; its transparent parts would show whatever colour
  // they happen to hold.
  bool dropsTransparency = transparent && format == FIF_JPEG;
  // Depths are those of standard bitmaps; a writer that takes 16 bits per channel at all stores
  // them as they are.
  bool depthFits = FreeImage_GetImageType(picture) != FIT_BITMAP ||
                   CanExportDepth(format, FreeImage_GetBPP(picture));
  if (!depthFits || dropsTransparency) {
    converted.reset(transparent ? FlattenOntoWhite(picture) : FreeImage_ConvertTo24Bits(picture));
    picture = converted.get();
  }
  if (picture != nullptr && picture != original && !KeepColourProfile(original, picture)) {
    return nullptr;
  }
  return picture;
}

}  // namespace

bool EncodePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                   const PictureSource& source, EncodedPicture& out, const PieceTurn& turn) {
  out = EncodedPicture();
  FREE_IMAGE_FORMAT format = FormatForName(fileName);
  if (format == FIF_UNKNOWN) {
    FatalMessageF("Save: file (%s) - must end in .jpg, .jpeg or .bmp", fileName);
  }
  // Nothing is converted or encoded for a piece its format cannot hold.
  if (picture == nullptr ||
      !FormatHolds(format, FreeImage_GetWidth(picture), FreeImage_GetHeight(picture))) {
    return false;
  }
  const unsigned orientation = OrientationOf(picture);
  // Only a PNG keeps a PNG's samples as stored along with their gamma.
  Picture corrected;
  if (format != FIF_PNG && NeedsGammaCorrection(picture)) {
    corrected = GammaCorrected(picture);
    picture = corrected.get();
    if (picture == nullptr) {
      return false;
    }
  }
  Picture converted;
  FIBITMAP* storable = PrepareForFormat(picture, format, converted);
  if (storable == nullptr) {
    return false;
  }
  // A JPEG keeps the orientation in its EXIF, which costs nothing, as long as the EXIF is kept.
  const bool keepsOrientation = format == FIF_JPEG && PrepareExifForPiece(storable);
  Picture upright;
  if (orientation != 1 && !keepsOrientation) {
    upright = Upright(storable, orientation);
    storable = upright.get();
    if (storable == nullptr) {
      return false;
    }
  }
  if (format == FIF_JPEG) {
    saveFlags = JpegPieceFlags(saveFlags, source);
  } else if (format == FIF_PNG) {
    DropKeywordsPngRefuses(storable);
  }
  ForgetProfileComplaint();
  EncodedPicture::Outcome outcome = out.Encode(format, storable, fileName, saveFlags, turn);
  // PNG's writer refuses a colour profile it finds malformed, as some cameras and editors write
  // them; the pixels matter more than the profile, so the piece goes without it.
  FIICCPROFILE* profile = FreeImage_GetICCProfile(storable);
  if (outcome == EncodedPicture::Outcome::kRefused && ProfileComplained() && format == FIF_PNG &&
      profile != nullptr && profile->size != 0) {
    const DWORD size = profile->size;
    profile->size = 0;  // hidden from the writer for this one try, not taken from the picture
    outcome = out.Encode(format, storable, fileName, saveFlags, turn);
    profile->size = size;
  }
  if (outcome != EncodedPicture::Outcome::kWritten) {
    return false;
  }
  return true;
}

bool SavePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                 const PictureSource& source) {
  FatalOnCrash crash("Couldn't save file: %s", fileName);
  EncodedPicture encoded;
  return EncodePicture(picture, fileName, saveFlags, source, encoded) && encoded.MoveIntoPlace();
}
