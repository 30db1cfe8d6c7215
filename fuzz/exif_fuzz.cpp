// Rebuilding arbitrary EXIF blocks for a piece. The block and the output each sit in storage of
// exactly their size, so any access past them is seen. An accepted block must come out with no
// second directory and the piece's size, and must go through a second rebuild unchanged in
// substance: accepted, no longer, and a fixed point from then on.
#include <algorithm>
#include <cstring>
#include <memory>

#include "cutter/pictures/exif_rewrite.h"
#include "fuzz/fuzz_check.h"

namespace {

// The maker note, and the entries that point at picture data or a preview.
constexpr uint16_t kDroppedTags[] = {0x927C, 0x0111, 0x0117, 0x0144,
                                     0x0145, 0x014A, 0x0201, 0x0202};

// A reader of a rebuilt block's TIFF structure, which the rewriter promises is well formed.
class Tiff {
 public:
  Tiff(const uint8_t* block, size_t size) : tiff_(block + 6), size_(size - 6) {
    FUZZ_CHECK(size >= 6 + 8);
    FUZZ_CHECK(std::memcmp(block, "Exif\0\0", 6) == 0);
    FUZZ_CHECK((tiff_[0] == 'I' && tiff_[1] == 'I') || (tiff_[0] == 'M' && tiff_[1] == 'M'));
    bigEndian_ = tiff_[0] == 'M';
    FUZZ_CHECK(Get16(2) == 42);
  }

  uint16_t Get16(size_t at) const {
    FUZZ_CHECK(at <= size_ && size_ - at >= 2);
    return bigEndian_ ? static_cast<uint16_t>(tiff_[at] << 8 | tiff_[at + 1])
                      : static_cast<uint16_t>(tiff_[at + 1] << 8 | tiff_[at]);
  }

  uint32_t Get32(size_t at) const {
    const uint32_t first = Get16(at);
    const uint32_t second = Get16(at + 2);
    return bigEndian_ ? first << 16 | second : second << 16 | first;
  }

  // The value of a size entry: SHORT or LONG, one of it.
  uint32_t SizeValue(size_t entry) const {
    const uint16_t type = Get16(entry + 2);
    FUZZ_CHECK(type == 3 || type == 4);
    FUZZ_CHECK(Get32(entry + 4) == 1);
    return type == 3 ? Get16(entry + 8) : Get32(entry + 8);
  }

  // Checks the directory at `at`: no link to a next one, the size entries right, and the Exif
  // directory, when linked, checked too.
  void CheckDirectory(uint32_t at, bool first, uint32_t width, uint32_t height) const {
    const uint16_t count = Get16(at);
    const size_t end = at + 2 + size_t{count} * 12;
    FUZZ_CHECK(Get32(end) == 0);
    for (uint16_t i = 0; i < count; ++i) {
      const size_t entry = at + 2 + size_t{i} * 12;
      const uint16_t tag = Get16(entry);
      // No maker note, picture data or preview pointer survives.
      for (uint16_t dropped : kDroppedTags) {
        FUZZ_CHECK(tag != dropped);
      }
      if ((first && tag == 0x0100) || (!first && tag == 0xA002)) {
        FUZZ_CHECK(SizeValue(entry) == width);
      }
      if ((first && tag == 0x0101) || (!first && tag == 0xA003)) {
        FUZZ_CHECK(SizeValue(entry) == height);
      }
      if (first && tag == 0x8769) {
        CheckDirectory(Get32(entry + 8), false, width, height);
      }
    }
  }

  uint32_t FirstDirectory() const { return Get32(4); }

 private:
  const uint8_t* tiff_;
  size_t size_;
  bool bigEndian_ = false;
};

// Rebuilds `block` into storage of exactly `capacity` bytes; the result, trimmed to its length.
std::unique_ptr<uint8_t[]> Rewrite(const uint8_t* block, size_t size, uint32_t width,
                                   uint32_t height, size_t capacity, size_t* length) {
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);
  *length = RewriteExifForPiece(block, size, width, height, out.get(), capacity);
  FUZZ_CHECK(*length <= capacity);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Width, height and the room for the result, then the block.
  if (size < 10) {
    return 0;
  }
  const uint32_t width = fuzz::Read32(data);
  const uint32_t height = fuzz::Read32(data + 4);
  const size_t room = data[8] == 0xFF ? kMaxExifBlockSize : size_t{data[9]} + data[8] * 256u;
  const size_t blockSize = size - 10;
  std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
  std::copy(data + 10, data + size, block.get());

  size_t length = 0;
  const auto once = Rewrite(block.get(), blockSize, width, height, room, &length);
  if (length == 0) {
    return 0;
  }
  const Tiff tiff(once.get(), length);
  tiff.CheckDirectory(tiff.FirstDirectory(), true, width, height);

  // Rebuilt again, it fits in the room the first result took, and from then on nothing changes.
  size_t twiceLength = 0;
  const auto twice = Rewrite(once.get(), length, width, height, length, &twiceLength);
  FUZZ_CHECK(twiceLength != 0);
  size_t thriceLength = 0;
  const auto thrice = Rewrite(twice.get(), twiceLength, width, height, twiceLength, &thriceLength);
  FUZZ_CHECK(thriceLength == twiceLength);
  FUZZ_CHECK(std::memcmp(twice.get(), thrice.get(), twiceLength) == 0);
  return 0;
}
