// Loading a picture file: its format by name, the size judgement, and the watcher told of its rows.
#include "cutter/pictures/picture_loading.h"

#include "cutter/pictures/picture_limits.h"
#include "util/messages.h"

namespace {

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

}  // namespace

Picture LoadPicture(const char* fileName, PictureSource* source, LoadWatcher* watcher) {
  FREE_IMAGE_FORMAT format = FormatForName(fileName);
  auto refuse = [watcher] {
    if (watcher != nullptr) {
      watcher->LoadFailed();
    }
  };
  if (format == FIF_UNKNOWN) {
    refuse();
    FatalMessageF("Input file: %s - must end in .jpg or .jpeg", fileName);
  }
  // The library's readers are old code that hostile files have crashed before.
  FatalOnCrash crash("Couldn't open input file: %s", fileName);
  PictureDemand demand;
  switch (JudgePicture(format, fileName, demand)) {
    case PictureVerdict::kTooLarge:
      refuse();
      FatalMessageF("Input file: %s - picture too large (%u x %u)", fileName, demand.width,
                    demand.height);
    case PictureVerdict::kUnreadable:
      refuse();
      FatalMessageF("Couldn't open input file: %s", fileName);
    case PictureVerdict::kFits:
      break;
  }
  if (source != nullptr) {
    *source = {format, demand.mostAcross, demand.mostDown, demand.leastAcross, demand.leastDown};
  }
  if (watcher != nullptr && demand.known && format != FIF_JPEG &&
      !watcher->HeaderRead(
          {demand.width, demand.height, demand.dotsPerMetreX, demand.dotsPerMetreY})) {
    return nullptr;
  }
  // A PNG's rows may be used as they come only when no metadata follows them.
  const bool watched =
      watcher != nullptr && (format != FIF_PNG || (demand.known && !demand.textAfterPixels));
  const FILoadWatcher told = {
      watcher,
      [](void* data, FIBITMAP* picture, unsigned rows) {
        static_cast<LoadWatcher*>(data)->RowsLoaded(picture, rows);
      },
      [](void* data, FIBITMAP* /*picture*/) { static_cast<LoadWatcher*>(data)->LoadFailed(); }};
  // A PNG's samples as stored: PNG pieces keep them exactly, with the file's gamma.
  const int flags = format == FIF_JPEG ? JPEG_ACCURATE : format == FIF_PNG ? PNG_IGNOREGAMMA : 0;
  Picture picture(FreeImage_LoadWatched(format, fileName, flags, watched ? &told : nullptr));
  if (!picture) {
    refuse();
    FatalMessageF("Couldn't open input file: %s", fileName);
  }
  if (format == FIF_BMP) {
    MakeUnusedAlphaOpaque(picture.get());
  }
  return picture;
}
