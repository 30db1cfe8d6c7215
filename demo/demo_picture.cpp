// The demo's own picture maker and describer; it needs nothing but the picture library.
//   dolvane_demo_picture make DIR        writes DIR/sample.jpg, .png and .bmp (640 x 480, 96 dpi)
//   dolvane_demo_picture describe FILE…  prints each file's size in pixels and bits per pixel
#include <FreeImage.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cutter/pictures/picture_library.h"

namespace {

// Colour bands across, brightness down, and a grid every 64 pixels: where a cut fell shows.
Picture MakeSample(unsigned width, unsigned height) {
  Picture picture(FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), 24));
  if (!picture) {
    return picture;
  }
  for (unsigned y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(picture.get(), static_cast<int>(height - 1 - y));
    for (unsigned x = 0; x < width; ++x) {
      const bool grid = x % 64 == 0 || y % 64 == 0;
      const unsigned light = 64 + 191 * (height - y) / height;
      line[x * 3 + FI_RGBA_RED] = static_cast<BYTE>(grid ? 0 : light * x / width);
      line[x * 3 + FI_RGBA_GREEN] = static_cast<BYTE>(grid ? 0 : light * (width - x) / width);
      line[x * 3 + FI_RGBA_BLUE] = static_cast<BYTE>(grid ? 0 : light / 2 + (x ^ y) % 32);
    }
  }
  FreeImage_SetDotsPerMeterX(picture.get(), 3780);  // 96 dpi
  FreeImage_SetDotsPerMeterY(picture.get(), 3780);
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  PictureLibrary pictureLibrary;
  if (argc >= 3 && std::strcmp(argv[1], "make") == 0) {
    Picture sample = MakeSample(640, 480);
    const std::string dir = argv[2];
    const bool ok = sample &&
                    FreeImage_Save(FIF_JPEG, sample.get(), (dir + "/sample.jpg").c_str(), 95) &&
                    FreeImage_Save(FIF_PNG, sample.get(), (dir + "/sample.png").c_str(), 0) &&
                    FreeImage_Save(FIF_BMP, sample.get(), (dir + "/sample.bmp").c_str(), 0);
    return ok ? 0 : 1;
  }
  if (argc >= 3 && std::strcmp(argv[1], "describe") == 0) {
    for (int i = 2; i < argc; ++i) {
      FREE_IMAGE_FORMAT format = FreeImage_GetFileType(argv[i], 0);
      Picture p(format == FIF_UNKNOWN ? nullptr : FreeImage_Load(format, argv[i], 0));
      if (!p) {
        std::printf("  %-28s (not a picture)\n", argv[i]);
        continue;
      }
      std::printf("  %-28s %4u x %-4u %2u bits per pixel\n", argv[i], FreeImage_GetWidth(p.get()),
                  FreeImage_GetHeight(p.get()), FreeImage_GetBPP(p.get()));
    }
    return 0;
  }
  std::fprintf(stderr, "usage: %s make DIR | describe FILE...\n", argv[0]);
  return 2;
}
