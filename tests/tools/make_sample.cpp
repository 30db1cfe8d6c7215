// Writes the hostile picture files the tests cut, for the checks run outside the test program.
//   dolvane_sample hostile DIR     writes them into DIR
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "cutter/pictures/picture_library.h"
#include "support/hostile_pictures.h"

int main(int argc, char** argv) {
  PictureLibrary pictureLibrary;
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
  std::fprintf(stderr, "usage: %s hostile DIR\n", argv[0]);
  return 2;
}
