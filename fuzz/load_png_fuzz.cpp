// Arbitrary bytes read as a PNG file.
#include "fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LoadPictureBytes(FIF_PNG, data, size);
  return 0;
}
