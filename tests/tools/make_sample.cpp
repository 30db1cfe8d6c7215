// The demo's own picture maker and describer.
//   dolvane_sample make DIR        writes DIR/sample.jpg, .png and .bmp (640 x 480, 96 dpi)
//   dolvane_sample hostile DIR     writes the hostile picture files the tests cut into DIR
//   dolvane_sample describe FILE…  prints each file's size in pixels and bits per pixel
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "support/hostile_pictures.h"
#include "support/pictures.h"

using testing_support::Kind;
using testing_support::MakePicture;

int main(int argc, char** argv) {
  PictureLibrary pictureLibrary;
  if (argc >= 3 && std::strcmp(argv[1], "make") == 0) {
    Picture sample = MakePicture(Kind::kRgb24, 640, 480, 3780);
    if (!sample) {
      return 1;
    }
    std::string dir = argv[2];
    bool ok = FreeImage_Save(FIF_JPEG, sample.get(), (dir + "/sample.jpg").c_str(), 95) &&
              FreeImage_Save(FIF_PNG, sample.get(), (dir + "/sample.png").c_str(), 0) &&
              FreeImage_Save(FIF_BMP, sample.get(), (dir + "/sample.bmp").c_str(), 0);
    return ok ? 0 : 1;
  }
  if (argc >= 3 && std::strcmp(argv[1], "hostile") == 0) {
    for (const testing_support::HostileFile& file : testing_support::MakeHostileFiles()) {
      std::ofstream out(std::string(argv[2]) + "/" + file.name, std::ios::binary);
      out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
      if (!out.flush()) {
        return 1;
      }
    }
    return 0;
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
  std::fprintf(stderr, "usage: %s make DIR | hostile DIR | describe FILE...\n", argv[0]);
  return 2;
}
