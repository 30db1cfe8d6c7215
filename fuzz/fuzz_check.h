// What the fuzz targets share: the entry every target defines, a check that stops the run with
// a message when a property does not hold, so the fuzzer keeps the input, and a reader of the
// numbers some targets take before their input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
  std::abort();
}

// The little-endian 32-bit number at `data`.
inline uint32_t Read32(const uint8_t* data) {
  return static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
         static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
}

// A zero-terminated copy of bytes up to the first zero byte, in storage of exactly its size, so
// that a sanitizer sees any access past the terminator.
class Text {
 public:
  Text(const uint8_t* data, size_t size) {
    const void* zero = std::memchr(data, 0, size);
    length_ = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
    bytes_.reset(new char[length_ + 1]);
    if (length_ > 0) {
      std::memcpy(bytes_.get(), data, length_);
    }
    bytes_[length_] = '\0';
  }
  char* get() const { return bytes_.get(); }
  size_t length() const { return length_; }

 private:
  std::unique_ptr<char[]> bytes_;
  size_t length_ = 0;
};

}  // namespace fuzz

#define FUZZ_CHECK(condition)                       \
  do {                                              \
    if (!(condition)) {                             \
      ::fuzz::Fail(__FILE__, __LINE__, #condition); \
    }                                               \
  } while (false)
