// The tests' entry: the picture library is started once for every test, as the program does.
#include <gtest/gtest.h>

#include "cutter/picture_files.h"

int main(int argc, char** argv) {
  PictureLibrary pictureLibrary;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
