// The tests' entry: the picture library is started once for every test, as the program does.
#include <gtest/gtest.h>

#include "cutter/pictures/picture_library.h"

int main(int argc, char** argv) {
  PictureLibrary pictureLibrary;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
