// Arbitrary bytes read as a PNG file, with every chunk's CRC set right: libpng refuses a chunk
// whose CRC is wrong, which would end nearly every mutation at the first chunk it touched.
#include <zlib.h>

#include <vector>

#include "fuzz/picture_fuzz.h"

namespace {

uint32_t BigEndian(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> png(data, data + size);
  // After the signature: chunks of length, type, data and CRC over type and data.
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = BigEndian(&png[at]);
    if (length > png.size() - at - 12) {
      break;
    }
    const uLong crc = crc32(0, &png[at + 4], length + 4);
    for (int i = 0; i < 4; ++i) {
      png[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    }
    at += 12 + length;
  }
  fuzz::LoadPictureBytes(FIF_PNG, png.data(), png.size());
  return 0;
}
