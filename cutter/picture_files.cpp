#include "cutter/picture_files.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "cutter/exif_rewrite.h"
#include "cutter/picture_limits.h"
#include "platform/platform.h"
#include "util/ascii_case.h"
#include "util/messages.h"

namespace {

// Tested in this order; the first row whose suffix ends the name decides.
constexpr struct {
  const char* suffix;
  FREE_IMAGE_FORMAT format;
} kExtensions[] = {
    {".jpg", FIF_JPEG},
    {".jpeg", FIF_JPEG},
    {".bmp", FIF_BMP},
    {".png", FIF_PNG},
};

unsigned DLL_CALLCONV ReadStream(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return static_cast<unsigned>(std::fread(buffer, size, count, static_cast<std::FILE*>(handle)));
}

unsigned DLL_CALLCONV WriteStream(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return static_cast<unsigned>(std::fwrite(buffer, size, count, static_cast<std::FILE*>(handle)));
}

int DLL_CALLCONV SeekStream(fi_handle handle, long offset, int origin) {
  return std::fseek(static_cast<std::FILE*>(handle), offset, origin);
}

long DLL_CALLCONV TellStream(fi_handle handle) {
  return std::ftell(static_cast<std::FILE*>(handle));
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

// The library's conversions return copies without the colour profile; a converted piece keeps
// the profile of the picture it came from. False when the copy cannot be attached.
bool KeepColourProfile(FIBITMAP* from, FIBITMAP* to) {
  const FIICCPROFILE* profile = FreeImage_GetICCProfile(from);
  if (profile->data == nullptr || profile->size == 0 || FreeImage_GetICCProfile(to)->data) {
    return true;
  }
  FIICCPROFILE* copy =
      FreeImage_CreateICCProfile(to, profile->data, static_cast<long>(profile->size));
  if (copy == nullptr || copy->data == nullptr) {
    return false;
  }
  copy->flags = profile->flags;
  return true;
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

// Most writers of 32-bit BMP files leave the fourth byte unused, as zero. Read as alpha, that
// would make the whole picture transparent, and a JPEG piece of it plain white; so a BMP whose
// fourth byte is zero everywhere is taken as opaque.
void MakeUnusedAlphaOpaque(FIBITMAP* picture) {
  if (FreeImage_GetImageType(picture) != FIT_BITMAP || FreeImage_GetBPP(picture) != 32) {
    return;
  }
  unsigned width = FreeImage_GetWidth(picture);
  unsigned height = FreeImage_GetHeight(picture);
  for (unsigned y = 0; y < height; ++y) {
    const BYTE* line = FreeImage_GetScanLine(picture, static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      if (line[x * 4 + FI_RGBA_ALPHA] != 0) {
        return;
      }
    }
  }
  for (unsigned y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(picture, static_cast<int>(y));
    for (unsigned x = 0; x < width; ++x) {
      line[x * 4 + FI_RGBA_ALPHA] = 0xFF;
    }
  }
}

// One attempt at the file: it holds the whole picture afterwards, or is as it was before.
bool WriteWholeFile(FREE_IMAGE_FORMAT format, FIBITMAP* picture, const char* fileName,
                    int32_t saveFlags, const std::function<void()>& beforeMove) {
  platform::ReplacementFile file;
  if (!file.Open(fileName)) {
    return false;
  }
  FreeImageIO io = {ReadStream, WriteStream, SeekStream, TellStream};
  {
    FatalOnCrash crash("Couldn't save file: %s", fileName);
    if (!FreeImage_SaveToHandle(format, picture, &io, file.Stream(), saveFlags)) {
      return false;  // the temporary file goes with `file`
    }
  }
  if (beforeMove) {
    beforeMove();
  }
  return file.Commit();
}

}  // namespace

FREE_IMAGE_FORMAT FormatForName(const char* fileName) {
  if (std::strlen(fileName) <= 3) {
    return FIF_UNKNOWN;
  }
  for (const auto& row : kExtensions) {
    if (EndsWithIgnoringCase(fileName, row.suffix)) {
      return row.format;
    }
  }
  return FIF_UNKNOWN;
}

Picture LoadPicture(const char* fileName) {
  FREE_IMAGE_FORMAT format = FormatForName(fileName);
  if (format == FIF_UNKNOWN) {
    FatalMessageF("Input file: %s - must end in .jpg or .jpeg", fileName);
  }
  // The library's readers are old code that hostile files have crashed before.
  FatalOnCrash crash("Couldn't open input file: %s", fileName);
  unsigned width = 0;
  unsigned height = 0;
  switch (JudgePicture(format, fileName, width, height)) {
    case PictureVerdict::kTooLarge:
      FatalMessageF("Input file: %s - picture too large (%u x %u)", fileName, width, height);
    case PictureVerdict::kTooManyScans:
      FatalMessageF("Couldn't open input file: %s", fileName);
    case PictureVerdict::kFits:
      break;
  }
  Picture picture(FreeImage_Load(format, fileName, 0));
  if (!picture) {
    FatalMessageF("Couldn't open input file: %s", fileName);
  }
  if (format == FIF_BMP) {
    MakeUnusedAlphaOpaque(picture.get());
  }
  return picture;
}

bool SavePicture(FIBITMAP* picture, const char* fileName, int32_t saveFlags,
                 const std::function<void()>& beforeMove) {
  FREE_IMAGE_FORMAT format = FormatForName(fileName);
  if (format == FIF_UNKNOWN) {
    FatalMessageF("Save: file (%s) - must end in .jpg, .jpeg or .bmp", fileName);
  }
  if (picture == nullptr) {
    return false;
  }
  Picture converted;
  FIBITMAP* storable = PrepareForFormat(picture, format, converted);
  if (storable == nullptr) {
    return false;
  }
  if (format == FIF_JPEG) {
    PrepareExifForPiece(storable);
  }
  if (WriteWholeFile(format, storable, fileName, saveFlags, beforeMove)) {
    return true;
  }
  // PNG's writer refuses a colour profile it finds malformed, as some cameras and editors write
  // them; the pixels matter more than the profile, so the piece goes without it.
  FIICCPROFILE* profile = FreeImage_GetICCProfile(storable);
  if (format != FIF_PNG || profile == nullptr || profile->size == 0) {
    return false;
  }
  DWORD size = profile->size;
  profile->size = 0;  // hidden from the writer for this one try, not taken from the picture
  bool written = WriteWholeFile(format, storable, fileName, saveFlags, beforeMove);
  profile->size = size;
  return written;
}

Picture CopyRectangle(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  int64_t width = FreeImage_GetWidth(picture);
  int64_t height = FreeImage_GetHeight(picture);
  // The library swaps a reversed rectangle; an empty or reversed one is no piece here.
  if (left < 0 || top < 0 || right > width || bottom > height || left >= right || top >= bottom) {
    return nullptr;
  }
  return Picture(FreeImage_Copy(picture, static_cast<int>(left), static_cast<int>(top),
                                static_cast<int>(right), static_cast<int>(bottom)));
}

Picture PieceOf(FIBITMAP* picture, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  int64_t width = FreeImage_GetWidth(picture);
  int64_t height = FreeImage_GetHeight(picture);
  if (left < 0 || top < 0 || right > width || bottom > height || left >= right || top >= bottom) {
    return nullptr;
  }
  // A view of 1- and 4-bit pixels must start on a whole byte; those pieces are copied.
  Picture view(FreeImage_CreateView(picture, static_cast<unsigned>(left),
                                    static_cast<unsigned>(top), static_cast<unsigned>(right),
                                    static_cast<unsigned>(bottom)));
  if (!view || !FreeImage_CloneMetadata(view.get(), picture)) {
    return CopyRectangle(picture, left, top, right, bottom);
  }
  return view;
}

Picture CopyArea(FIBITMAP* picture, int32_t left, int32_t top, int32_t width, int32_t height) {
  return CopyRectangle(picture, left, top, int64_t{left} + width, int64_t{top} + height);
}
