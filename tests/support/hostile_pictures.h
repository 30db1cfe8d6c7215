// Picture files made to hurt a reader: cut short, mislabelled, declaring absurd sizes, carrying
// damaged EXIF, RLE runs that leave the picture, deflate streams that unpack to far more than
// the picture holds. Every call makes the same bytes.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct HostileFile {
  std::string name;   // its extension picks the reader
  std::string bytes;  // the whole file
};

// Needs the picture library started: some files are real pictures, damaged.
std::vector<HostileFile> MakeHostileFiles();

}  // namespace testing_support
