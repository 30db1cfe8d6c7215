// Loads one picture the way dolvane does and ends, printing its size: bench/run measures this
// process's peak memory as the least any cut of that picture can need.
//
//   dolvane_bench_load FILE
#include <FreeImage.h>

#include <cstdio>

#include "cutter/pictures/picture_loading.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dolvane_bench_load FILE\n");
    return 2;
  }
  PictureLibrary library;
  Picture picture = LoadPicture(argv[1]);  // ends the process with its message on failure
  std::printf("%u x %u\n", FreeImage_GetWidth(picture.get()), FreeImage_GetHeight(picture.get()));
  return 0;
}
