// Decoding arbitrary bytes as a picture of one format through the picture library, as the
// program would: only after the header check that refuses pictures too large to decode, and
// with the EXIF of a loaded JPEG rebuilt as a piece's would be.
#pragma once

#include <FreeImage.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cutter/pictures/exif_rewrite.h"
#include "cutter/pictures/picture_library.h"
#include "cutter/pictures/picture_limits.h"
#include "fuzz/fuzz_check.h"

namespace fuzz {

// Far below what the machine has: a fuzzer's memory limit and speed want small pictures, and
// the faults that large ones could show, small ones show too.
constexpr uint64_t kMostDecodeBytes = uint64_t{64} << 20;

// The header check reads a file by its name: the input goes into one unnamed temporary file,
// reached through its descriptor, that vanishes with the process.
class InputFile {
 public:
  InputFile() {
    char pattern[] = "/tmp/dolvane-fuzz-XXXXXX";
    descriptor_ = mkstemp(pattern);
    if (descriptor_ < 0) {
      std::perror("mkstemp");
      std::abort();
    }
    unlink(pattern);
    name_ = "/proc/self/fd/" + std::to_string(descriptor_);
  }
  ~InputFile() { close(descriptor_); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const char* Hold(const uint8_t* data, size_t size) {
    FUZZ_CHECK(ftruncate(descriptor_, 0) == 0);
    size_t done = 0;
    while (done < size) {
      const ssize_t written =
          pwrite(descriptor_, data + done, size - done, static_cast<off_t>(done));
      FUZZ_CHECK(written > 0);
      done += static_cast<size_t>(written);
    }
    return name_.c_str();
  }

 private:
  int descriptor_ = -1;
  std::string name_;
};

inline void LoadPictureBytes(FREE_IMAGE_FORMAT format, const uint8_t* data, size_t size) {
  static PictureLibrary library;
  static InputFile file;

  const PictureDemand demand = DemandOf(format, file.Hold(data, size));
  if (JudgeDemand(demand, kMostDecodeBytes) != PictureVerdict::kFits) {
    return;
  }
  // The library reads from the bytes themselves, which it is promised not to change.
  FIMEMORY* memory = FreeImage_OpenMemory(const_cast<uint8_t*>(data), static_cast<DWORD>(size));
  FUZZ_CHECK(memory != nullptr);
  Picture picture(FreeImage_LoadFromMemory(format, memory, 0));
  FreeImage_CloseMemory(memory);
  if (!picture) {
    return;
  }
  // Whatever the library decodes, the size check read first, and read as the library did.
  FUZZ_CHECK(demand.known);
  FUZZ_CHECK(FreeImage_GetWidth(picture.get()) == demand.width);
  FUZZ_CHECK(FreeImage_GetHeight(picture.get()) == demand.height);
  PrepareExifForPiece(picture.get());
}

}  // namespace fuzz
