// What the size judgement reads from a picture file's header: a block reader, sizes that
// saturate, and each format's demand.
#pragma once

#include <FreeImage.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "cutter/pictures/picture_demand.h"
#include "platform/platform.h"

namespace picture_headers {

// Headers declare up to 2^31 x 2^31 pixels: products saturate instead of wrapping.
constexpr uint64_t kMost = ~uint64_t{0};

inline uint64_t Times(uint64_t a, uint64_t b) {
  return (a != 0 && b > kMost / a) ? kMost : a * b;
}

inline uint64_t Plus(uint64_t a, uint64_t b) {
  return b > kMost - a ? kMost : a + b;
}

inline uint64_t CeilDiv(uint64_t a, uint64_t b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

inline uint64_t RoundUp(uint64_t a, uint64_t multiple) {
  return Times(CeilDiv(a, multiple), multiple);
}

// A row of the library's bitmaps: whole 32-bit words.
inline uint64_t Pitch(uint64_t width, unsigned bitsPerPixel) {
  return Times(CeilDiv(Times(width, bitsPerPixel), 32), 4);
}

inline uint32_t LittleEndian(const unsigned char* bytes, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

inline uint32_t BigEndian(const unsigned char* bytes, int size) {
  uint32_t value = 0;
  for (int i = 0; i < size; ++i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

// A file read a block at a time. The checks walk whole files, a JPEG byte by byte, and stdio
// would cost a call (and a lock) for every byte.
class Reader {
 public:
  explicit Reader(const char* fileName) : file_(std::fopen(fileName, "rb")) {
    if (file_) {
      std::setvbuf(file_.get(), nullptr, _IONBF, 0);  // the block is the buffer
      block_.reset(new (std::nothrow) unsigned char[kBlockBytes]);
    }
  }

  bool IsOpen() const { return block_ != nullptr; }

  // The size of the file opened, as the system tells it.
  bool Size(unsigned long long& bytes) const { return platform::SizeOfFile(file_.get(), bytes); }

  // The next byte; EOF at the end of the file.
  int Byte() {
    if (at_ == end_ && !Refill()) {
      return EOF;
    }
    return block_[at_++];
  }

  // Passes over the bytes up to the next `value` and reads it: `value`, or EOF at the end.
  int Through(unsigned char value) {
    for (;;) {
      const void* found = std::memchr(block_.get() + at_, value, end_ - at_);
      if (found != nullptr) {
        at_ = static_cast<size_t>(static_cast<const unsigned char*>(found) - block_.get()) + 1;
        return value;
      }
      if (!Refill()) {
        return EOF;
      }
    }
  }

  bool Read(unsigned char* bytes, size_t size) {
    while (size > 0) {
      if (at_ == end_ && !Refill()) {
        return false;
      }
      const size_t take = std::min(size, end_ - at_);
      std::memcpy(bytes, block_.get() + at_, take);
      at_ += take;
      bytes += take;
      size -= take;
    }
    return true;
  }

  // Passes over `size` bytes; past the end of the file, nothing more is read.
  void Skip(uint64_t size) {
    if (size <= end_ - at_) {
      at_ += size;
      return;
    }
    size -= end_ - at_;
    at_ = end_ = 0;
    while (size > 0 && !ended_) {
      const long step = static_cast<long>(std::min<uint64_t>(size, LONG_MAX));
      ended_ = std::fseek(file_.get(), step, SEEK_CUR) != 0;
      size -= static_cast<uint64_t>(step);
    }
  }

 private:
  static constexpr size_t kBlockBytes = size_t{256} << 10;

  bool Refill() {
    at_ = 0;
    end_ = ended_ ? 0 : std::fread(block_.get(), 1, kBlockBytes, file_.get());
    return end_ > 0;
  }

  File file_;
  std::unique_ptr<unsigned char[]> block_;
  size_t at_ = 0;   // the next byte in block_
  size_t end_ = 0;  // the bytes in block_
  bool ended_ = false;
};

// Each format's demand, read from `file` opened at its start.
PictureDemand BmpDemand(Reader& file, const char* fileName);
PictureDemand PngDemand(Reader& file, const char* fileName, uint64_t fileBytes);
PictureDemand JpegDemand(Reader& file);

}  // namespace picture_headers
